#include "PropertyList.h"

#include "AtomicFile.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tovan {
namespace {

using nlohmann::json;

std::string fixture(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(AtomicFile::read(test::testData("plist/" + name).string(), bytes)) << name;
    return bytes;
}

// A binary list from its object bytes and offsets (1-byte offsets and refs).
std::string binary(const std::string& objects, const std::vector<uint8_t>& offsets, uint8_t top = 0) {
    std::string b = "bplist00" + objects;
    const size_t table = b.size();
    for (auto o : offsets)
        b += static_cast<char>(o);
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = static_cast<char>(offsets.size());
    trailer[23] = static_cast<char>(top);
    trailer[31] = static_cast<char>(table);
    return b + trailer;
}

TEST(PropertyList, ReadsWhatPythonWroteInBothForms) {
    for (const char* form : {"bplist", "xml"}) {
        SCOPED_TRACE(form);
        auto v = PropertyList::read(fixture(std::string("record.") + form));
        ASSERT_TRUE(v);
        const json& r = *v;
        EXPECT_EQ(r["app"], "x.y.Chat");
        EXPECT_EQ(r["req"]["titl"], "Hi  there\n");
        EXPECT_EQ(r["req"]["subt"], "Team");
        EXPECT_EQ(r["req"]["body"], "ok \u2713 \U0001F600");  // UTF-16 with a surrogate pair
        EXPECT_EQ(r["req"]["cate"], "msg");
        EXPECT_EQ(r["n"], 12345678901);
        EXPECT_EQ(r["neg"], -7);
        EXPECT_EQ(r["f"], true);
        EXPECT_EQ(r["g"], false);
        EXPECT_EQ(r["pi"], 3.25);
        EXPECT_EQ(r["d"].get_binary(), (std::vector<uint8_t>{0x00, 0x01, 0xff}));
        EXPECT_EQ(r["arr"], json::parse(R"([1, 2.5, "été", [], {}])"));
        EXPECT_TRUE(r.contains("date"));
    }
    for (const char* form : {"bplist", "xml"}) {
        auto v = PropertyList::read(fixture(std::string("many.") + form));
        ASSERT_TRUE(v) << form;
        ASSERT_EQ((*v)["items"].size(), 300u);  // two-byte references
        EXPECT_EQ((*v)["items"][299], "s299");
    }
}

TEST(PropertyList, RefusesMalformedBinaryLists) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"header only", "bplist00"},
        {"array holding itself", binary("\xA1\x00", {8})},
        {"reference past the objects", binary("\xA1\x05", {8})},
        {"offset into the trailer", binary("\x09", {200})},
        {"offset before the objects", binary("\x09", {2})},
        {"top object out of range", binary("\x09", {8}, 3)},
        {"string longer than the file", binary("\x5F\x10\xF0" "abc", {8})},
        {"dictionary key that is not a string", binary("\xD1\x01\x01\x09", {8, 11})},
        {"unknown marker", binary("\x7A", {8})},
        {"infinite real", binary(std::string("\x23\x7F\xF0\0\0\0\0\0\0", 9), {8})},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(PropertyList::readBinary(c.bytes)) << c.what;
    EXPECT_TRUE(PropertyList::readBinary(binary("\xA1\x01\x09", {8, 10})));  // [true]
}

TEST(PropertyList, EveryCutAndByteFlipIsSafe) {
    const std::string good = fixture("record.bplist");
    ASSERT_TRUE(PropertyList::read(good));
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(PropertyList::read(good.substr(0, n))) << n;  // the trailer moves: never valid
    for (size_t i = 0; i < good.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ (1 << bit));
            (void)PropertyList::read(bad);  // any answer, but no crash or overrun
        }
}

TEST(PropertyList, DeepNestingIsRefused) {
    std::string xml = "<plist>";
    for (int i = 0; i < PropertyList::MAX_DEPTH + 5; ++i)
        xml += "<array>";
    for (int i = 0; i < PropertyList::MAX_DEPTH + 5; ++i)
        xml += "</array>";
    EXPECT_FALSE(PropertyList::readXml(xml + "</plist>"));
    EXPECT_TRUE(PropertyList::readXml("<plist><array><array/></array></plist>"));
}

TEST(PropertyList, RefusesMalformedXml) {
    const char* bad[] = {
        "<plist><dict><string>no key</string></dict></plist>",
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><integer>12x</integer></plist>",
        "<plist><dict><key>a</key><string>x</string></plist>",
        "<plist><unknown/></plist>",
        "not xml at all",
        "<plist><string>a</string><string>b</string></plist>",
    };
    for (const char* b : bad)
        EXPECT_FALSE(PropertyList::readXml(b)) << b;
}

}  // namespace
}  // namespace tovan
