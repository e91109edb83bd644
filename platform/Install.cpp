#include "Install.h"

#include <system_error>

namespace tovan::Install {

namespace fs = std::filesystem;

namespace {

fs::path resolvedFolder(const fs::path& program) {
    std::error_code ec;
    fs::path real = fs::canonical(program, ec);
    if (ec) real = fs::absolute(program, ec).lexically_normal();
    return real.parent_path();
}

}  // namespace

fs::path self() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec);
}

fs::path beside(const fs::path& program, const std::string& name) { return resolvedFolder(program) / name; }

fs::path shared(const fs::path& program, const fs::path& rest) {
    return (resolvedFolder(program).parent_path() / "share" / rest).lexically_normal();
}

}  // namespace tovan::Install
