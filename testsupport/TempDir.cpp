#include "TempDir.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tovan::test {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "tovan-test-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("cannot make a temporary folder from " + templ);
    path = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path p = path / name;
    std::filesystem::create_directories(p.parent_path());
    spit(p, bytes);
    return p.string();
}

std::set<std::string> TempDir::names() const {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(path)) out.insert(e.path().filename().string());
    return out;
}

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void spit(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace tovan::test
