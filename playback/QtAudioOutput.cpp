#include "QtAudioOutput.h"

#include "tovantts.h"

#include <QAudioSink>
#include <QMediaDevices>
#include <QIODevice>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace tovan {

namespace {

// The samples in the sink's format: linear resampling when its rate differs,
// the one channel copied into each of its channels.
QByteArray convert(const std::vector<float>& in, int inRate, const QAudioFormat& f) {
    const int rate = f.sampleRate();
    std::vector<float> s;
    if (rate == inRate || in.empty()) {
        s = in;
    } else {
        const size_t n = size_t(double(in.size()) * rate / inRate);
        s.resize(n);
        for (size_t i = 0; i < n; i++) {
            const double x = double(i) * inRate / rate;
            const size_t k = std::min(size_t(x), in.size() - 1);
            const double t = x - double(k);
            const float b = k + 1 < in.size() ? in[k + 1] : in[k];
            s[i] = float(in[k] * (1 - t) + b * t);
        }
    }
    const int ch = std::max(1, f.channelCount());
    const int bps = f.bytesPerSample();
    QByteArray out(qsizetype(s.size()) * ch * bps, 0);
    char* p = out.data();
    for (float v : s) {
        const float c = std::clamp(v, -1.0f, 1.0f);
        for (int k = 0; k < ch; k++, p += bps) {
            switch (f.sampleFormat()) {
            case QAudioFormat::UInt8: *reinterpret_cast<uint8_t*>(p) = uint8_t(128 + int(c * 127)); break;
            case QAudioFormat::Int16: {
                int16_t x = int16_t(c * 32767);
                std::memcpy(p, &x, 2);
                break;
            }
            case QAudioFormat::Int32: {
                int32_t x = int32_t(double(c) * 2147483647.0);
                std::memcpy(p, &x, 4);
                break;
            }
            case QAudioFormat::Float: std::memcpy(p, &c, 4); break;
            default: break;
            }
        }
    }
    return out;
}

// 24 kHz mono 16-bit when the device takes it, else what it prefers.
QAudioFormat formatFor(const QAudioDevice& device) {
    QAudioFormat f;
    f.setSampleRate(24000);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    return device.isNull() || device.isFormatSupported(f) ? f : device.preferredFormat();
}

}  // namespace

QtAudioOutput::QtAudioOutput(const QAudioDevice& device) : device_(device), context_(std::make_unique<QObject>()) {
    format_ = formatFor(device_);
    poll_ = new QTimer(context_.get());
    poll_->setInterval(15);
    QObject::connect(poll_, &QTimer::timeout, context_.get(), [this] { tick(); });
    devices_ = new QMediaDevices(context_.get());
    QObject::connect(devices_, &QMediaDevices::audioOutputsChanged, context_.get(), [this] { devicesChanged(); });
    // Not every backend reports a device going away (PulseAudio's does not
    // here): while a device is chosen, the list is also looked at each second.
    watch_ = new QTimer(context_.get());
    watch_->setInterval(1000);
    QObject::connect(watch_, &QTimer::timeout, context_.get(), [this] { devicesChanged(); });
    restartSink();
}

QAudioDevice QtAudioOutput::find(const std::string& id) {
    for (const QAudioDevice& d : QMediaDevices::audioOutputs())
        if (d.id().toStdString() == id) return d;
    return {};
}

bool QtAudioOutput::moveTo(const std::string& id) {
    const QAudioDevice target = id.empty() ? QMediaDevices::defaultAudioOutput() : find(id);
    if (target.isNull()) return false;
    chosen_ = id;
    if (chosen_.empty())
        watch_->stop();
    else
        watch_->start();
    // A sentence being heard ends where it began; the next one starts there.
    const bool sounding = rate_ && !lost_ && current_ != 0 && !items_.empty() && items_.front().start >= 0;
    if (sounding) {
        pending_ = target;
    } else {
        pending_.reset();
        switchTo(target);
    }
    return true;
}

void QtAudioOutput::switchTo(const QAudioDevice& device) {
    device_ = device;
    const QAudioFormat f = formatFor(device_);
    if (f != format_) {
        format_ = f;
        for (Item& it : items_)
            if (!it.failed) it.pcm = convert(it.samples, it.rate, format_);
    }
    for (Item& it : items_) it.start = -1;
    feedItem_ = 0;
    feedOffset_ = 0;
    lost_ = false;
    restartSink();
    if (!rate_ && sink_ && !lost_) sink_->suspend();
    if (!items_.empty() && !poll_->isActive()) poll_->start();
    schedule();
}

void QtAudioOutput::devicesChanged() {
    if (chosen_.empty() || !find(chosen_).isNull()) return;
    // The chosen device is gone: the default takes over at once (there is
    // no sentence end to wait for on a device that is not there).
    const std::string gone = device_.description().toStdString();
    chosen_.clear();
    watch_->stop();
    pending_.reset();
    switchTo(QMediaDevices::defaultAudioOutput());
    if (listener_) listener_->deviceGone(gone);
}

QtAudioOutput::~QtAudioOutput() {
    if (sink_) sink_->stop();
    // Sinks (this one and those of earlier devices waiting for deleteLater)
    // may run the event loop while they close: they go first, while the
    // timers and the rest they could reach still stand.
    QObject::disconnect(devices_, nullptr, context_.get(), nullptr);
    poll_->stop();
    watch_->stop();
    for (QAudioSink* s : context_->findChildren<QAudioSink*>(Qt::FindDirectChildrenOnly)) delete s;
    sink_ = nullptr;
}

std::string QtAudioOutput::name() const { return device_.description().toStdString(); }

void QtAudioOutput::restartSink() {
    fed_ = 0;
    if (lost_) {
        lostBase_ = 0;
        lostSince_.restart();
        return;
    }
    if (sink_) {
        sink_->stop();
        sink_->deleteLater();
    }
    sink_ = new QAudioSink(device_, format_, context_.get());
    sink_->setVolume(volume_);
    sink_->setBufferSize(qsizetype(format_.bytesForDuration(200000)));
    io_ = sink_->start();
    if (!io_) deviceLost();
}

void QtAudioOutput::deviceLost() {
    if (lost_) return;
    static std::once_flag said;
    std::call_once(said, [&] {
        std::fprintf(stderr, "audio: the output device failed (%s); reading goes on without sound\n",
                     device_.description().toLocal8Bit().constData());
    });
    const int64_t played = sink_ && io_ ? playedBytes() : 0;
    lost_ = true;
    lostBase_ = played;
    lostSince_.restart();
    io_ = nullptr;
}

void QtAudioOutput::setVolume(float volume) {
    volume_ = volume;
    if (sink_) sink_->setVolume(volume);
}

AudioOutput::ItemId QtAudioOutput::append(const std::filesystem::path& wav) {
    float* samples = nullptr;
    int64_t n = 0;
    int32_t rate = 0;
    char err[256] = {0};
    const bool ok = tovantts_load_wav(wav.c_str(), &samples, &n, &rate, err, sizeof err) == 0 && rate > 0;
    std::vector<float> source;
    QByteArray pcm;
    if (ok) {
        source.assign(samples, samples + n);
        pcm = convert(source, rate, format_);
    }
    tovantts_free(samples);
    const ItemId id = ++nextId_;
    items_.push_back({id, std::move(source), rate, pcm, !ok});
    if (!poll_->isActive()) poll_->start();
    schedule();
    return id;
}

void QtAudioOutput::removeAll() {
    items_.clear();
    if (pending_) {
        // Nothing left to finish: the move happens now.
        device_ = *pending_;
        format_ = formatFor(device_);
        pending_.reset();
        lost_ = false;
    }
    current_ = 0;
    feedItem_ = 0;
    feedOffset_ = 0;
    restartSink();
    if (!rate_ && sink_ && !lost_) sink_->suspend();
}

void QtAudioOutput::play() {
    if (rate_) return;
    rate_ = true;
    if (lost_) lostSince_.restart();
    else if (sink_->state() == QAudio::SuspendedState) sink_->resume();
    if (!poll_->isActive()) poll_->start();
    schedule();
}

void QtAudioOutput::pause() {
    if (!rate_) return;
    if (lost_) lostBase_ = playedBytes();
    rate_ = false;
    if (!lost_ && sink_) sink_->suspend();
    schedule();
}

void QtAudioOutput::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, context_.get(), [this] { tick(); });
}

int64_t QtAudioOutput::playedBytes() {
    if (lost_) {
        const int64_t run = rate_ ? format_.bytesForDuration(lostSince_.nsecsElapsed() / 1000) : 0;
        return std::min(lostBase_ + run, fed_);
    }
    // Every byte fed and the sink idle for want of more: all of it was heard.
    if (sink_->state() == QAudio::IdleState && feedItem_ >= items_.size()) return fed_;
    return std::min<int64_t>(format_.bytesForDuration(sink_->processedUSecs()), fed_);
}

void QtAudioOutput::feed() {
    if (lost_) {
        // Nothing goes to a sink: every queued item is laid on the timeline.
        for (; feedItem_ < items_.size(); feedItem_++) {
            Item& it = items_[feedItem_];
            if (feedOffset_ == 0) it.start = fed_;
            fed_ += it.pcm.size() - feedOffset_;
            feedOffset_ = 0;
        }
        return;
    }
    const int64_t frame = std::max(1, format_.bytesPerFrame());
    int64_t room = sink_->bytesFree();
    while (feedItem_ < items_.size()) {
        Item& it = items_[feedItem_];
        if (feedOffset_ == 0) it.start = fed_;
        const int64_t left = it.pcm.size() - feedOffset_;
        if (left > 0) {
            const int64_t n = std::min(left, room - room % frame);
            if (n <= 0) break;
            const qint64 w = io_->write(it.pcm.constData() + feedOffset_, n);
            if (w <= 0) break;
            feedOffset_ += w;
            fed_ += w;
            room -= w;
        }
        if (feedOffset_ >= it.pcm.size()) {
            feedItem_++;
            feedOffset_ = 0;
        }
    }
}

void QtAudioOutput::tick() {
    scheduled_ = false;
    if (!lost_ && (!sink_ || sink_->error() == QAudio::OpenError || sink_->error() == QAudio::FatalError))
        deviceLost();
    if (rate_) feed();
    // A listener may change the queue from inside its callback: look again
    // after each event.
    for (;;) {
        if (items_.empty()) break;
        const Item& head = items_.front();
        const ItemId id = head.id;
        const bool done = head.failed || (head.start >= 0 && head.start + head.pcm.size() <= playedBytes() &&
                                          (feedItem_ > 0 || lost_));
        if (!head.failed && id != current_) {
            current_ = id;
            if (listener_) listener_->itemStarted(id);
            continue;
        }
        if (!done) break;
        const bool failed = head.failed;
        items_.pop_front();
        if (feedItem_ > 0) feedItem_--;
        else feedOffset_ = 0;
        current_ = 0;
        if (items_.empty()) rate_ = false;
        if (pending_) {
            // Between two sentences: the rest of the queue goes to the new device.
            const QAudioDevice next = *pending_;
            pending_.reset();
            switchTo(next);
        }
        if (listener_) listener_->itemEnded(id, failed);
    }
    if (items_.empty()) poll_->stop();
}

}  // namespace tovan
