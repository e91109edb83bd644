#include "TestPaths.h"

#include <stdlib.h>
#include <unistd.h>

namespace tovan::test {

std::filesystem::path testDataDir(const char* fallback) {
    const char* dir = std::getenv("TOVANTTS_TEST_DATA");
    return dir && *dir ? dir : fallback;
}

std::filesystem::path programDir() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    return std::filesystem::path(std::string(buf, size_t(n))).parent_path();
}

std::filesystem::path buildDir() { return programDir().parent_path(); }

std::filesystem::path modelDir(const std::string& name) { return buildDir() / "engine" / "models" / name; }

std::filesystem::path directorFile(const std::string& name) {
    return buildDir() / "playback" / "director" / (name + ".bin");
}

}  // namespace tovan::test
