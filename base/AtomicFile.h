#pragma once
// Writing user files so that a crash or a full disk never leaves half a file:
// the bytes go to a temporary file in the same folder, are flushed to disk and
// then renamed over the target in one step.

#include <filesystem>
#include <string>
#include <string_view>

namespace tovan {
namespace AtomicFile {

// True when the file now holds exactly `bytes`. On failure the previous file
// (if any) is untouched, no temporary file is left behind, and `error` (when
// given) says what went wrong.
bool write(const std::filesystem::path& path, std::string_view bytes, std::string* error = nullptr);

// The whole file, or false when it cannot be read.
bool read(const std::filesystem::path& path, std::string& bytes);

} // namespace AtomicFile
} // namespace tovan
