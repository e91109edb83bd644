// A fresh temporary directory per test, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

struct TmpDir {
  std::filesystem::path path;
  TmpDir() {
    const char *base = getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/tovantts-XXXXXX";
    if (mkdtemp(templ.data())) path = templ;
  }
  ~TmpDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string &name) const { return (path / name).string(); }
  std::string write(const std::string &name, const std::string &bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
    return file(name);
  }
};
