#include "AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <functional>
#include <vector>

namespace tovan {
namespace AtomicFile {

namespace {

bool fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

constexpr const char* tmpSuffix = ".tmp-";

std::atomic<StepHook> stepHook{nullptr};

void step(Step s, const std::filesystem::path& path) {
    if (StepHook hook = stepHook.load(std::memory_order_relaxed)) hook(s, path);
}

// Every byte of the buffer to fd; false with errno set on failure.
bool writeAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Fills a temporary beside path, then renames it over path. `fill` writes
// the content to the descriptor; on failure it leaves errno and says what
// failed in `what`.
bool replaceWith(const std::filesystem::path& path, const std::function<bool(int, std::string&)>& fill,
                 std::string* error) {
    step(Step::begin, path);
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    // A dot name keeps the temporary out of listings that skip hidden files.
    // The name is cut so that a long target name still leaves room for the suffix.
    std::string tmpl = (dir / ("." + path.filename().string().substr(0, 200) + tmpSuffix + "XXXXXX")).string();
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return fail(error, "cannot create a file in " + dir.string());

    // Keep the permissions of the file being replaced; new files are 0644.
    struct stat st;
    mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    std::string what = "cannot write " + path.string();
    if (!fill(fd, what)) {
        int saved = errno;
        ::close(fd);
        ::unlink(name.data());
        errno = saved;
        return fail(error, what);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        int saved = errno;
        ::unlink(name.data());
        errno = saved;
        return fail(error, "cannot write " + path.string());
    }
    step(Step::written, path);
    if (::rename(name.data(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(name.data());
        errno = saved;
        return fail(error, "cannot replace " + path.string());
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    step(Step::replaced, path);
    return true;
}

} // namespace

bool write(const std::filesystem::path& path, std::string_view bytes, std::string* error) {
    return replaceWith(path, [&](int fd, std::string&) { return writeAll(fd, bytes.data(), bytes.size()); }, error);
}

bool copy(const std::filesystem::path& source, const std::filesystem::path& path, std::string* error) {
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail(error, "cannot read " + source.string());
    const bool ok = replaceWith(
        path,
        [&](int fd, std::string& what) {
            std::vector<char> buf(1 << 16);
            for (;;) {
                ssize_t n = ::read(in, buf.data(), buf.size());
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    what = "cannot read " + source.string();
                    return false;
                }
                if (n == 0) return true;
                if (!writeAll(fd, buf.data(), size_t(n))) return false;
            }
        },
        error);
    int saved = errno;
    ::close(in);
    errno = saved;
    return ok;
}

void setStepHook(StepHook hook) { stepHook.store(hook, std::memory_order_relaxed); }

void removeStale(const std::filesystem::path& dir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        const size_t at = name.rfind(tmpSuffix);
        // mkostemp's six characters end the name.
        if (name.size() < 2 || name[0] != '.' || at == std::string::npos || at == 0 ||
            name.size() != at + std::strlen(tmpSuffix) + 6)
            continue;
        std::error_code kind;
        if (entry.is_regular_file(kind)) ::unlink(entry.path().c_str());
    }
}

bool read(const std::filesystem::path& path, std::string& bytes) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace AtomicFile
} // namespace tovan
