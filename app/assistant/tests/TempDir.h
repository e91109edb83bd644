#pragma once
// A folder of its own for one test, removed afterwards, with small helpers to
// write files into it.

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

namespace tovan::test {

class TempDir {
public:
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "tovan-intake-XXXXXX").string();
        if (!mkdtemp(t.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = t;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string operator/(const std::string& rel) const { return (path_ / rel).string(); }

    // Writes the file (making its folders) and returns its path.
    std::string write(const std::string& rel, const std::string& bytes) const {
        const auto p = path_ / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace tovan::test
