#include "SentencePlayer.h"

#include "WavData.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>

#include <fcntl.h>
#include <unistd.h>

namespace tovan {

namespace fs = std::filesystem;

namespace {

// The folder is shared by every player of every process: emptying it on each
// player's creation would delete files a live player still has queued, so it
// is emptied once per process, the first time a player uses it.
void prepareDir(const fs::path& dir) {
    static std::mutex m;
    static std::set<fs::path> emptied;
    std::lock_guard g(m);
    std::error_code ec;
    if (emptied.insert(dir).second) fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
}

// A random UUID in upper-case hexadecimal, 8-4-4-4-12.
std::string uuid() {
    static std::mutex m;
    static std::mt19937_64 rng{[] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }()};
    uint64_t hi, lo;
    {
        std::lock_guard g(m);
        hi = rng();
        lo = rng();
    }
    hi = (hi & ~0xf000ull) | 0x4000ull;                    // version 4
    lo = (lo & 0x3fffffffffffffffull) | 0x8000000000000000ull;  // variant 1
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 32; i++) {
        const uint64_t word = i < 16 ? hi : lo;
        out += HEX[(word >> (60 - 4 * (i % 16))) & 0xf];
        if (i == 7 || i == 11 || i == 15 || i == 19) out += '-';
    }
    return out;
}

bool writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t k = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (k < 0) {
            if (errno == EINTR) continue;
            break;
        }
        done += size_t(k);
    }
    const bool wrote = done == bytes.size();
    const bool closed = ::close(fd) == 0;
    const bool ok = wrote && closed;
    if (!ok) ::unlink(p.c_str());
    return ok;
}

void removeFile(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

}  // namespace

// What enqueue() on another thread and tasks on their way to the main thread
// may touch. token and pending under lock; alive and player on the main
// thread only.
struct SentencePlayer::Shared {
    std::mutex lock;
    int64_t token = 0;
    // Counted in samples, so that adding and taking away leaves no drift.
    int64_t pending = 0;
    fs::path dir;
    bool alive = true;
    SentencePlayer* player = nullptr;
};

class SentencePlayer::Events final : public AudioOutput::Listener {
public:
    explicit Events(SentencePlayer& p) : p_(p) {}
    void itemStarted(AudioOutput::ItemId id) override { p_.started(id); }
    void itemEnded(AudioOutput::ItemId id, bool) override { p_.ended(id); }
    void deviceGone(const std::string& description) override {
        if (p_.onDeviceGone) p_.onDeviceGone(description);
    }

private:
    SentencePlayer& p_;
};

fs::path SentencePlayer::defaultDir() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/') return fs::path(xdg) / "TovanTTS" / "audio";
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return fs::path(home) / ".cache" / "TovanTTS" / "audio";
    std::error_code ec;
    fs::path tmp = fs::temp_directory_path(ec);
    if (ec) tmp = "/tmp";
    return tmp / ("TovanTTS-" + std::to_string(::getuid())) / "audio";
}

SentencePlayer::SentencePlayer(std::unique_ptr<AudioOutput> output, MainQueue& main, fs::path dir)
    : output_(std::move(output)), main_(main), shared_(std::make_shared<Shared>()),
      events_(std::make_unique<Events>(*this)) {
    shared_->dir = std::move(dir);
    shared_->player = this;
    prepareDir(shared_->dir);
    output_->setListener(events_.get());
}

SentencePlayer::~SentencePlayer() {
    output_->setListener(nullptr);
    shared_->alive = false;
    shared_->player = nullptr;
}

const fs::path& SentencePlayer::dir() const { return shared_->dir; }

bool SentencePlayer::enqueue(std::span<const float> samples, int64_t mark, int64_t token) {
    {
        std::lock_guard g(shared_->lock);
        if (shared_->token != token) return false;
    }
    if (samples.empty()) return false;
    const fs::path url = shared_->dir / (uuid() + ".wav");
    if (!writeFile(url, wavData(samples, 24000))) return false;
    const int64_t count = int64_t(samples.size());
    {
        std::lock_guard g(shared_->lock);
        if (shared_->token != token) {
            removeFile(url);
            return false;
        }
        shared_->pending += count;
    }
    main_.post([shared = shared_, token, url, mark, count] {
        if (!shared->alive) {
            removeFile(url);
            return;
        }
        shared->player->queue(token, url, mark, count);
    });
    return true;
}

void SentencePlayer::queue(int64_t token, const fs::path& url, int64_t mark, int64_t samples) {
    {
        std::lock_guard g(shared_->lock);
        if (shared_->token != token) {
            // The flush that changed the token already set pending to 0.
            removeFile(url);
            return;
        }
    }
    const AudioOutput::ItemId item = output_->append(url);
    queued_.push_back({item, mark, url, samples});
    // A queue that ran dry stopped the output: start it again.
    if (wantsPlay_ && !output_->isRunning()) output_->play();
}

void SentencePlayer::started(AudioOutput::ItemId id) {
    auto it = std::find_if(queued_.begin(), queued_.end(), [&](const Queued& q) { return q.item == id; });
    if (it == queued_.end()) return;
    if (onMark) onMark(it->mark);
}

void SentencePlayer::ended(AudioOutput::ItemId id) {
    auto it = std::find_if(queued_.begin(), queued_.end(), [&](const Queued& q) { return q.item == id; });
    if (it == queued_.end()) return;
    const Queued done = *it;
    queued_.erase(it);
    removeFile(done.url);
    {
        std::lock_guard g(shared_->lock);
        shared_->pending = std::max<int64_t>(0, shared_->pending - done.samples);
    }
    if (queued_.empty() && onDrained) onDrained();
}

int64_t SentencePlayer::flush() {
    int64_t token;
    {
        std::lock_guard g(shared_->lock);
        token = ++shared_->token;
        shared_->pending = 0;
    }
    output_->removeAll();
    for (const Queued& q : queued_) removeFile(q.url);
    queued_.clear();
    return token;
}

void SentencePlayer::play() {
    wantsPlay_ = true;
    output_->play();
}

void SentencePlayer::pause() {
    wantsPlay_ = false;
    output_->pause();
}

float SentencePlayer::volume() const { return output_->volume(); }

void SentencePlayer::setVolume(float volume) { output_->setVolume(volume); }

int64_t SentencePlayer::currentToken() const {
    std::lock_guard g(shared_->lock);
    return shared_->token;
}

double SentencePlayer::pendingSeconds() const {
    std::lock_guard g(shared_->lock);
    return double(shared_->pending) / 24000.0;
}

}  // namespace tovan
