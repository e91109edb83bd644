// A fresh temporary folder per test, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

struct TestDir {
    TestDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tovan-platform-XXXXXX").string();
        if (::mkdtemp(tmpl.data())) path = tmpl;
    }
    ~TestDir() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};
