#pragma once
// Where the parts of one copy of the program sit relative to each other. The
// programs share one bin/ folder, installed (<prefix>/bin) and in the build
// tree (build/bin); an installed copy keeps its data in <prefix>/share. A copy
// can be moved or unpacked elsewhere as a whole: every path is found from the
// running program, never from where it was built or meant to be installed.
#include <filesystem>
#include <string>

namespace tovan::Install {

// The installed names of the application and of the command-line tool.
inline constexpr const char* kProgram = "tovantts";
inline constexpr const char* kTool = "tovan";

// The running executable, symbolic links resolved.
std::filesystem::path self();

// `name` in the folder of `program` once its symbolic links are resolved (a
// program that cannot be resolved is taken as given, made absolute).
std::filesystem::path beside(const std::filesystem::path& program, const std::string& name);

// <folder of the resolved program>/../share/<rest>, normalised.
std::filesystem::path shared(const std::filesystem::path& program, const std::filesystem::path& rest);

}  // namespace tovan::Install
