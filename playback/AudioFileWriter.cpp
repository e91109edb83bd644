#include "AudioFileWriter.h"

#include "Regex.h"
#include "WavData.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace tovan {

namespace fs = std::filesystem;

AudioFileWriter::Failure::Failure(std::u16string message) : message_(std::move(message)), utf8_(u8(message_)) {}

namespace {

[[noreturn]] void fail(const std::string& what) { throw AudioFileWriter::Failure(u16(what)); }

std::string errnoText(int err) { return std::strerror(err); }

std::string avText(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// Silence is written in pieces of this many samples, never as one list.
constexpr int64_t SILENCE_CHUNK = 24000;

// The temporary file beside the target: created exclusively under a random
// hidden name, with the permissions the target has (or the umask's).
struct TempFile {
    fs::path target, path;
    int fd = -1;

    explicit TempFile(const fs::path& url) : target(url) {
        const fs::path dir = url.has_parent_path() ? url.parent_path() : fs::path(".");
        std::random_device rd;
        static const char ALNUM[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        int err = 0;
        for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
            std::string suffix;
            for (int i = 0; i < 8; i++) suffix += ALNUM[rd() % 36];
            path = dir / ("." + url.filename().string().substr(0, 200) + ".tmp-" + suffix);
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            err = errno;
            if (fd < 0 && err != EEXIST) break;
        }
        if (fd < 0) fail("Could not create the audio file in " + dir.string() + ": " + errnoText(err));
        struct stat st;
        if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
    }

    ~TempFile() { abandon(); }

    void abandon() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
            ::unlink(path.c_str());
        }
    }

    void writeAll(const uint8_t* p, size_t n) {
        while (n > 0) {
            ssize_t k = ::write(fd, p, n);
            if (k < 0) {
                if (errno == EINTR) continue;
                fail("Could not write the audio file: " + errnoText(errno));
            }
            p += k;
            n -= size_t(k);
        }
    }

    // Flushed to the disk, closed, renamed over the target, folder flushed.
    void commit() {
        if (::fsync(fd) != 0) fail("Could not write the audio file: " + errnoText(errno));
        int rc = ::close(fd);
        fd = -1;
        if (rc != 0) {
            int err = errno;
            ::unlink(path.c_str());
            fail("Could not write the audio file: " + errnoText(err));
        }
        if (::rename(path.c_str(), target.c_str()) != 0) {
            int err = errno;
            ::unlink(path.c_str());
            fail("Could not save the audio file " + target.string() + ": " + errnoText(err));
        }
        const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
        int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }
};

class Encoder {
public:
    virtual ~Encoder() = default;
    // Throws when n more samples cannot go into this file at all.
    virtual void admit(int64_t) const {}
    virtual void write(std::span<const float> samples) = 0;
    virtual void zeros(int64_t n) = 0;
    virtual void finish() = 0;
};

// 16-bit PCM: the header is written with zero sizes and filled in at the end.
class WavEncoder final : public Encoder {
public:
    explicit WavEncoder(TempFile& f) : file_(f) {
        uint8_t header[44];
        wavHeader(header, 0, AudioFileWriter::sampleRate);
        file_.writeAll(header, 44);
        buf_.reserve(BUF);
    }

    // The size fields are 32-bit: a call that would not fit is refused
    // before anything of it is written.
    void admit(int64_t n) const override {
        if (n > WAV_MAX_SAMPLES - count_)
            fail("This audio is too long for a WAV file (a WAV file holds at most 24 hours and 51 minutes "
                 "at 24 kHz); save it as .m4a instead.");
    }

    void write(std::span<const float> samples) override {
        for (float s : samples) put(pcm16(s));
        count_ += int64_t(samples.size());
    }

    void zeros(int64_t n) override {
        for (int64_t i = 0; i < n; i++) put(0);
        count_ += n;
    }

    void finish() override {
        drain();
        uint8_t header[44];
        wavHeader(header, count_, AudioFileWriter::sampleRate);
        if (::pwrite(file_.fd, header, 44, 0) != 44)
            fail("Could not write the audio file: " + errnoText(errno ? errno : EIO));
    }

private:
    static constexpr size_t BUF = 1 << 16;

    void put(int16_t v) {
        buf_.push_back(uint8_t(uint16_t(v)));
        buf_.push_back(uint8_t(uint16_t(v) >> 8));
        if (buf_.size() >= BUF) drain();
    }

    void drain() {
        // On failure the bytes are dropped too: the writer is failed anyway.
        std::vector<uint8_t> pending;
        pending.swap(buf_);
        buf_.reserve(BUF);
        file_.writeAll(pending.data(), pending.size());
    }

    TempFile& file_;
    std::vector<uint8_t> buf_;
    int64_t count_ = 0;
};

// AAC in an MP4 family container, written through our own I/O callbacks so
// that every byte goes to the temporary file and every error is seen.
class AacEncoder final : public Encoder {
public:
    AacEncoder(TempFile& f, const fs::path& target) : file_(f) {
        try {
            setup(target);
        } catch (...) {
            release();
            throw;
        }
    }

    ~AacEncoder() override { release(); }

    void release() {
        av_packet_free(&pkt_);
        av_frame_free(&frame_);
        avcodec_free_context(&cc_);
        if (io_) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
        if (oc_) avformat_free_context(oc_);
        oc_ = nullptr;
    }

    void write(std::span<const float> samples) override {
        size_t i = 0;
        while (i < samples.size()) {
            size_t take = std::min(samples.size() - i, size_t(frameSize_) - fifo_.size());
            fifo_.insert(fifo_.end(), samples.begin() + i, samples.begin() + i + take);
            i += take;
            if (fifo_.size() == size_t(frameSize_)) encodeFifo();
        }
    }

    void zeros(int64_t n) override {
        std::vector<float> z(size_t(std::min<int64_t>(n, SILENCE_CHUNK)), 0.0f);
        while (n > 0) {
            int64_t k = std::min<int64_t>(n, int64_t(z.size()));
            write(std::span<const float>(z.data(), size_t(k)));
            n -= k;
        }
    }

    void finish() override {
        if (!fifo_.empty()) {
            if (!smallLast_) fifo_.resize(size_t(frameSize_), 0.0f);
            encodeFifo();
        }
        check(avcodec_send_frame(cc_, nullptr));
        receive();
        check(av_write_trailer(oc_));
        avio_flush(io_);
        check(io_->error);
        if (ioErr_) fail("Could not write the audio file: " + errnoText(ioErr_));
    }

private:
    static constexpr int IOBUF = 1 << 16;

    void setup(const fs::path& target) {
        // The container the extension names when it is one of the AAC
        // family; anything else (and no extension) gets .m4a's.
        static const std::pair<const char*, const char*> CONTAINERS[] = {
            {".m4a", "ipod"}, {".m4b", "ipod"}, {".mp4", "mp4"}, {".mov", "mov"}, {".aac", "adts"}};
        std::string ext = target.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        const char* name = "ipod";
        for (const auto& [e, muxer] : CONTAINERS)
            if (ext == e) name = muxer;
        const AVOutputFormat* fmt = av_guess_format(name, nullptr, nullptr);
        if (!fmt) fmt = av_guess_format("ipod", nullptr, nullptr);
        if (!fmt) fail("Could not write the audio file: no MP4 muxer in this ffmpeg");

        const AVCodec* codec = avcodec_find_encoder_by_name("aac");
        if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) fail("Could not write the audio file: no AAC encoder in this ffmpeg");

        int rc = avformat_alloc_output_context2(&oc_, fmt, nullptr, nullptr);
        if (rc < 0 || !oc_) fail("Could not write the audio file: " + avText(rc));
        uint8_t* iobuf = static_cast<uint8_t*>(av_malloc(IOBUF));
        if (!iobuf) fail("Could not write the audio file: out of memory");
        io_ = avio_alloc_context(iobuf, IOBUF, 1, this, nullptr, &AacEncoder::ioWrite, &AacEncoder::ioSeek);
        if (!io_) {
            av_free(iobuf);
            fail("Could not write the audio file: out of memory");
        }
        oc_->pb = io_;
        oc_->flags |= AVFMT_FLAG_CUSTOM_IO;

        st_ = avformat_new_stream(oc_, nullptr);
        cc_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        pkt_ = av_packet_alloc();
        if (!st_ || !cc_ || !frame_ || !pkt_) fail("Could not write the audio file: out of memory");
        cc_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        cc_->sample_rate = AudioFileWriter::sampleRate;
        cc_->bit_rate = 64000;
        av_channel_layout_default(&cc_->ch_layout, 1);
        cc_->time_base = AVRational{1, AudioFileWriter::sampleRate};
        if (oc_->oformat->flags & AVFMT_GLOBALHEADER) cc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((rc = avcodec_open2(cc_, codec, nullptr)) < 0) fail("Could not start the AAC encoder: " + avText(rc));
        if ((rc = avcodec_parameters_from_context(st_->codecpar, cc_)) < 0)
            fail("Could not start the AAC encoder: " + avText(rc));
        st_->time_base = cc_->time_base;
        frameSize_ = cc_->frame_size > 0 ? cc_->frame_size : 1024;
        smallLast_ = (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
        check(avformat_write_header(oc_, nullptr));
        fifo_.reserve(size_t(frameSize_));
    }

    void check(int rc) {
        if (ioErr_) fail("Could not write the audio file: " + errnoText(ioErr_));
        if (rc < 0) fail("Could not write the audio file: " + avText(rc));
    }

    void encodeFifo() {
        av_frame_unref(frame_);
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = AudioFileWriter::sampleRate;
        frame_->nb_samples = int(fifo_.size());
        av_channel_layout_default(&frame_->ch_layout, 1);
        check(av_frame_get_buffer(frame_, 0));
        std::memcpy(frame_->data[0], fifo_.data(), fifo_.size() * sizeof(float));
        frame_->pts = pts_;
        pts_ += int64_t(fifo_.size());
        fifo_.clear();
        check(avcodec_send_frame(cc_, frame_));
        receive();
    }

    void receive() {
        for (;;) {
            int rc = avcodec_receive_packet(cc_, pkt_);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
            check(rc);
            av_packet_rescale_ts(pkt_, cc_->time_base, st_->time_base);
            pkt_->stream_index = st_->index;
            rc = av_interleaved_write_frame(oc_, pkt_);  // takes the packet's data
            check(rc);
        }
    }

    static int ioWrite(void* opaque, uint8_t* buf, int size) {
        auto* self = static_cast<AacEncoder*>(opaque);
        while (size > 0) {
            ssize_t k = ::write(self->file_.fd, buf, size_t(size));
            if (k < 0) {
                if (errno == EINTR) continue;
                self->ioErr_ = errno;
                return AVERROR(errno);
            }
            buf += k;
            size -= int(k);
        }
        return 0;
    }

    static int64_t ioSeek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<AacEncoder*>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat st;
            return ::fstat(self->file_.fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
        }
        off_t r = ::lseek(self->file_.fd, off_t(offset), whence & ~AVSEEK_FORCE);
        return r < 0 ? AVERROR(errno) : int64_t(r);
    }

    TempFile& file_;
    AVFormatContext* oc_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVStream* st_ = nullptr;
    AVCodecContext* cc_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* pkt_ = nullptr;
    std::vector<float> fifo_;
    int frameSize_ = 1024;
    bool smallLast_ = false;
    int64_t pts_ = 0;
    int ioErr_ = 0;
};

}  // namespace

struct AudioFileWriter::Impl {
    TempFile file;
    std::unique_ptr<Encoder> enc;
    double seconds = 0;
    bool failed = false, closed = false;
    int unwinding = std::uncaught_exceptions();

    explicit Impl(const fs::path& url) : file(url) {
        // ffmpeg's own chatter (encoder statistics) is not for our users; its
        // errors reach them through our messages.
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
        if (isWav(url)) enc = std::make_unique<WavEncoder>(file);
        else enc = std::make_unique<AacEncoder>(file, url);
    }

    void usable() const {
        if (closed) fail("The audio file is already finished.");
        if (failed) fail("The audio file could not be written; it was not saved.");
    }

    // Runs one step; a failure marks the writer failed for good and removes
    // the half-written temporary file at once.
    template <class F> void guarded(F&& f) {
        try {
            f();
        } catch (...) {
            failed = true;
            enc.reset();
            file.abandon();
            throw;
        }
    }
};

bool AudioFileWriter::isWav(const fs::path& url) {
    std::string ext = url.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".wav";
}

AudioFileWriter::AudioFileWriter(const fs::path& url) : impl_(std::make_unique<Impl>(url)) {}

AudioFileWriter::~AudioFileWriter() {
    // A writer dropped while an exception unwinds (a failed export) must not
    // put its partial audio in place of the user's file.
    if (std::uncaught_exceptions() > impl_->unwinding) {
        discard();
        return;
    }
    if (!impl_->closed && !impl_->failed) {
        try {
            finish();
        } catch (...) {
            // The temporary file is gone and the target untouched.
        }
    }
}

void AudioFileWriter::write(std::span<const float> samples) {
    impl_->usable();
    if (samples.empty()) return;
    impl_->enc->admit(int64_t(samples.size()));
    impl_->guarded([&] { impl_->enc->write(samples); });
    impl_->seconds += double(samples.size()) / double(sampleRate);
}

void AudioFileWriter::silence(int64_t ms) {
    impl_->usable();
    if (ms <= 0) return;
    if (ms > INT64_MAX / 24) fail("This silence is too long to write.");
    const int64_t n = ms * 24;
    // A refusal for length is not a write error: the writer stays usable.
    impl_->enc->admit(n);
    impl_->guarded([&] { impl_->enc->zeros(n); });
    impl_->seconds += double(n) / double(sampleRate);
}

double AudioFileWriter::seconds() const { return impl_->seconds; }

void AudioFileWriter::finish() {
    impl_->usable();
    impl_->closed = true;
    try {
        impl_->enc->finish();
        impl_->enc.reset();
        impl_->file.commit();
    } catch (...) {
        impl_->failed = true;
        impl_->enc.reset();
        impl_->file.abandon();
        throw;
    }
}

void AudioFileWriter::discard() {
    impl_->closed = true;
    impl_->enc.reset();
    impl_->file.abandon();
}

}  // namespace tovan
