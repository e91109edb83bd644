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

// Copies the file at `source` over `path` the same way: a failed copy leaves
// the previous file and no temporary.
bool copy(const std::filesystem::path& source, const std::filesystem::path& path, std::string* error = nullptr);

// Removes the temporaries that write and copy leave in `dir` when the process
// dies before their rename (".<name>.tmp-XXXXXX"). Call it at start-up, when
// no write of this program is under way in that folder.
void removeStale(const std::filesystem::path& dir);

// The whole file, or false when it cannot be read.
bool read(const std::filesystem::path& path, std::string& bytes);

// The points of a write or copy at which a test may stop the process, to see
// what a crash there leaves behind: before the temporary is made, once it is
// complete but not yet renamed, and once it has replaced the file.
enum class Step { begin, written, replaced };
using StepHook = void (*)(Step step, const std::filesystem::path& path);
// Called at every step of every later write and copy in the process; null
// removes it. For tests only.
void setStepHook(StepHook hook);

} // namespace AtomicFile
} // namespace tovan
