#include "VirtualAudioOutput.h"

#include "tovantts.h"

namespace tovan {

VirtualAudioOutput::VirtualAudioOutput(Clock& clock) : clock_(clock) {}

VirtualAudioOutput::~VirtualAudioOutput() {
    clock_.cancel(endTimer_);
    clock_.cancel(settleTimer_);
}

AudioOutput::ItemId VirtualAudioOutput::append(const std::filesystem::path& wav) {
    float* samples = nullptr;
    int64_t n = 0;
    int32_t rate = 0;
    char err[256] = {0};
    const bool ok = tovantts_load_wav(wav.c_str(), &samples, &n, &rate, err, sizeof err) == 0 && rate > 0;
    tovantts_free(samples);
    const ItemId id = ++nextId_;
    items_.push_back({id, ok ? double(n) / double(rate) : 0.0, !ok});
    schedule();
    return id;
}

void VirtualAudioOutput::removeAll() {
    items_.clear();
    clock_.cancel(endTimer_);
    endTimer_ = 0;
    current_ = 0;
    played_ = 0;
}

void VirtualAudioOutput::play() {
    if (rate_) return;
    rate_ = true;
    since_ = clock_.now();
    schedule();
}

void VirtualAudioOutput::pause() {
    if (!rate_) return;
    if (current_) played_ += clock_.now() - since_;
    rate_ = false;
    clock_.cancel(endTimer_);
    endTimer_ = 0;
    schedule();
}

double VirtualAudioOutput::position() const {
    if (!current_) return 0;
    return played_ + (rate_ ? clock_.now() - since_ : 0);
}

// Events wait for the clock's next turn, so none fires inside a call.
void VirtualAudioOutput::schedule() {
    if (settleTimer_) return;
    settleTimer_ = clock_.callAt(clock_.now(), [this] {
        settleTimer_ = 0;
        settle();
    });
}

void VirtualAudioOutput::settle() {
    // A listener may change the queue from inside its callback: look again
    // after each event.
    for (;;) {
        if (items_.empty()) return;
        const Item head = items_.front();
        if (head.failed) {
            items_.pop_front();
            current_ = 0;
            if (items_.empty()) rate_ = false;
            if (listener_) listener_->itemEnded(head.id, true);
            continue;
        }
        if (head.id != current_) {
            current_ = head.id;
            played_ = 0;
            since_ = clock_.now();
            clock_.cancel(endTimer_);
            endTimer_ = 0;
            if (listener_) listener_->itemStarted(head.id);
            continue;
        }
        if (rate_ && !endTimer_) {
            const double left = head.seconds - played_;
            endTimer_ = clock_.callAt(since_ + left, [this] {
                endTimer_ = 0;
                ended();
            });
        }
        return;
    }
}

void VirtualAudioOutput::ended() {
    if (items_.empty()) return;
    const ItemId id = items_.front().id;
    items_.pop_front();
    current_ = 0;
    played_ = 0;
    if (items_.empty()) rate_ = false;
    if (listener_) listener_->itemEnded(id, false);
    settle();
}

}  // namespace tovan
