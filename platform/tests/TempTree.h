#pragma once
// A temporary folder tree for one test, removed afterwards.

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

namespace tovan::test {
namespace fs = std::filesystem;

struct Tree {
    fs::path root;
    Tree() {
        std::string t = (fs::temp_directory_path() / "tovan-power-XXXXXX").string();
        root = mkdtemp(t.data());
    }
    ~Tree() { fs::remove_all(root); }
    void set(const std::string& supply, const std::string& attr, const std::string& value) {
        fs::create_directories(root / supply);
        std::ofstream(root / supply / attr) << value << "\n";
    }
};

}  // namespace tovan::test
