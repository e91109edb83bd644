#include "MountinfoVolumes.h"

#include "Regex.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <sstream>

namespace tovan {

namespace {

// The table writes blanks, tabs, newlines and backslashes in paths as \ooo.
std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool startsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

std::string readAll(int fd) {
    std::string out;
    if (lseek(fd, 0, SEEK_SET) < 0)
        return out;
    char buf[8192];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<size_t>(n));
    return out;
}

}  // namespace

MountinfoVolumes::MountinfoVolumes(std::string table, QObject* parent) : QObject(parent), table_(std::move(table)) {}

MountinfoVolumes::~MountinfoVolumes() {
    if (fd_ >= 0)
        close(fd_);
}

std::map<std::string, Volumes::Volume> MountinfoVolumes::parse(const std::string& text) {
    std::map<std::string, Volume> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::vector<std::string> fields;
        for (std::string w; f >> w;)
            fields.push_back(w);
        size_t dash = 0;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (dash < 6 || dash + 2 >= fields.size())
            continue;
        const std::string root = unescape(fields[3]), point = unescape(fields[4]), source = unescape(fields[dash + 2]);
        // Block devices only, and each once: a bind mount shows a part of a drive already listed.
        if (!startsWith(source, "/dev/") || root != "/")
            continue;
        Volume v;
        v.path = point;
        v.internal = !(startsWith(point, "/media/") || startsWith(point, "/run/media/") || startsWith(point, "/mnt/"));
        v.diskImage = startsWith(source, "/dev/loop");
        const auto slash = point.find_last_of('/');
        v.name = u16(slash == std::string::npos ? point : point.substr(slash + 1));
        if (v.name.empty())
            v.name = u16(point);
        out[point] = v;
    }
    return out;
}

bool MountinfoVolumes::watch(std::function<void(const Volume&)> mounted, std::function<void(const Volume&)> unmounted) {
    mounted_ = std::move(mounted);
    unmounted_ = std::move(unmounted);
    if (fd_ < 0)
        fd_ = open(table_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    known_ = parse(readAll(fd_));
    if (!notifier_) {
        // The kernel marks the table as changed with an exceptional condition.
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Exception, this);
        connect(notifier_, &QSocketNotifier::activated, this, &MountinfoVolumes::rescan);
    }
    return true;
}

void MountinfoVolumes::rescan() {
    if (fd_ < 0)
        return;
    auto now = parse(readAll(fd_));
    for (const auto& [point, v] : known_)
        if (!now.count(point) && unmounted_)
            unmounted_(v);
    for (const auto& [point, v] : now)
        if (!known_.count(point) && mounted_)
            mounted_(v);
    known_ = std::move(now);
}

}  // namespace tovan
