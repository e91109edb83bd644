// The temporary folders and fixture paths every test program relies on.
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace tovan::test {
namespace {

TEST(TempDir, HoldsWhatATestWritesAndIsGoneAfterwards) {
    std::filesystem::path kept;
    {
        TempDir d;
        kept = d.path;
        EXPECT_TRUE(d.names().empty());
        const std::string file = d.write("a/b/c.txt", std::string("x\0y", 3));
        EXPECT_EQ(file, d.file("a/b/c.txt"));
        EXPECT_EQ(slurp(d / "a" / "b" / "c.txt"), std::string("x\0y", 3));
        spit(d / "top", "t");
        EXPECT_EQ(d.names(), (std::set<std::string>{"a", "top"}));
        ASSERT_TRUE(std::filesystem::is_directory(kept));
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST(TempDir, EveryFolderIsNew) {
    TempDir a, b;
    EXPECT_NE(a.path, b.path);
    EXPECT_EQ(slurp(a / "missing"), "");
}

TEST(TestPaths, DataFolderComesFromTheEnvironmentElseTheOneBuiltIn) {
    const char* before = std::getenv("TOVANTTS_TEST_DATA");
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    struct Case {
        const char* env;  // nullptr: unset
        const char* name;
        std::filesystem::path expected;
    };
    const Case cases[] = {
        {"/fixtures", "plist/a.bplist", "/fixtures/plist/a.bplist"},
        {"/fixtures", "", "/fixtures"},
        {"", "x", std::filesystem::path(TOVANTTS_TEST_DATA_DIR) / "x"},
        {nullptr, "x", std::filesystem::path(TOVANTTS_TEST_DATA_DIR) / "x"},
    };
    for (const Case& c : cases) {
        if (c.env)
            ::setenv("TOVANTTS_TEST_DATA", c.env, 1);
        else
            ::unsetenv("TOVANTTS_TEST_DATA");
        EXPECT_EQ(testData(c.name), c.expected) << (c.env ? c.env : "(unset)") << " " << c.name;
    }
    if (saved)
        ::setenv("TOVANTTS_TEST_DATA", saved->c_str(), 1);
    else
        ::unsetenv("TOVANTTS_TEST_DATA");
}

}  // namespace
}  // namespace tovan::test
