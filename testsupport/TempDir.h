// A fresh temporary folder per test, removed with everything in it, and the
// two file helpers tests use on it.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "NonCopyable.h"

namespace tovan::test {

class TempDir : NonCopyable {
public:
    // Under $TMPDIR (else /tmp); throws std::runtime_error when no folder can
    // be made.
    TempDir();
    ~TempDir();

    std::filesystem::path operator/(const std::string& name) const { return path / name; }
    // The path of a file in the folder, as text.
    std::string file(const std::string& name) const { return (path / name).string(); }
    // Writes the file (making the folders on its way) and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;
    // The names directly in the folder.
    std::set<std::string> names() const;

    std::filesystem::path path;
};

// The whole file as bytes ("" when it cannot be read).
std::string slurp(const std::filesystem::path& file);
// Replaces the file's bytes.
void spit(const std::filesystem::path& file, const std::string& bytes);

}  // namespace tovan::test
