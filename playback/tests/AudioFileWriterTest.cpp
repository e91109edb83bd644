#include "AudioFileWriter.h"

#include "TempDir.h"
#include "TestPaths.h"
#include "WavData.h"
#include "tovantts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
#include <vector>

#include <sys/resource.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

using tovan::AudioFileWriter;
using namespace tovan::test;

namespace {

std::vector<float> tone(double seconds, double hz = 440, float amp = 0.5f) {
    std::vector<float> s(size_t(seconds * 24000));
    for (size_t i = 0; i < s.size(); i++) s[i] = amp * float(std::sin(2 * M_PI * hz * double(i) / 24000.0));
    return s;
}

double rms(const std::vector<float>& s) {
    double e = 0;
    for (float v : s) e += double(v) * v;
    return s.empty() ? 0 : std::sqrt(e / double(s.size()));
}

// What ffmpeg finds in a file: container, codec and the decoded samples.
struct Decoded {
    std::string container;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int rate = 0, channels = 0;
    std::vector<float> samples;
};

Decoded decode(const std::filesystem::path& p) {
    Decoded d;
    AVFormatContext* fc = nullptr;
    if (avformat_open_input(&fc, p.c_str(), nullptr, nullptr) < 0) return d;
    avformat_find_stream_info(fc, nullptr);
    d.container = fc->iformat->name;
    int si = av_find_best_stream(fc, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (si >= 0) {
        AVCodecParameters* par = fc->streams[si]->codecpar;
        d.codec = par->codec_id;
        d.rate = par->sample_rate;
        d.channels = par->ch_layout.nb_channels;
        const AVCodec* dec = avcodec_find_decoder(par->codec_id);
        AVCodecContext* cc = avcodec_alloc_context3(dec);
        avcodec_parameters_to_context(cc, par);
        avcodec_open2(cc, dec, nullptr);
        AVPacket* pkt = av_packet_alloc();
        AVFrame* fr = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(cc, fr) == 0) {
                for (int i = 0; i < fr->nb_samples; i++) {
                    float v = 0;
                    if (fr->format == AV_SAMPLE_FMT_FLTP || fr->format == AV_SAMPLE_FMT_FLT)
                        v = reinterpret_cast<float*>(fr->data[0])[i];
                    else if (fr->format == AV_SAMPLE_FMT_S16)
                        v = reinterpret_cast<int16_t*>(fr->data[0])[i] / 32767.0f;
                    d.samples.push_back(v);
                }
            }
        };
        while (av_read_frame(fc, pkt) >= 0) {
            if (pkt->stream_index == si) avcodec_send_packet(cc, pkt);
            av_packet_unref(pkt);
            drain();
        }
        avcodec_send_packet(cc, nullptr);
        drain();
        av_frame_free(&fr);
        av_packet_free(&pkt);
        avcodec_free_context(&cc);
    }
    avformat_close_input(&fc);
    return d;
}

}  // namespace

TEST(AudioFileWriter, ExtensionChoosesTheFormat) {
    struct Case {
        const char* name;
        bool wav;
    } cases[] = {{"a.wav", true}, {"b.WAV", true}, {"c.Wav", true}, {"d.wave", false},
                 {"e.m4a", false}, {"noextension", false}, {"g.wav.m4a", false}};
    TempDir dir;
    for (const Case& c : cases) {
        EXPECT_EQ(AudioFileWriter::isWav(c.name), c.wav) << c.name;
        {
            AudioFileWriter w(dir / c.name);
            w.write(tone(0.2));
            w.finish();
        }
        Decoded d = decode(dir / c.name);
        EXPECT_EQ(d.codec, c.wav ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_AAC) << c.name;
        EXPECT_EQ(d.rate, 24000) << c.name;
        EXPECT_EQ(d.channels, 1) << c.name;
        if (!c.wav) {
            EXPECT_NE(d.container.find("mp4"), std::string::npos) << c.name << ": " << d.container;
        }
    }
}

TEST(AudioFileWriter, WavHoldsTheSamplesAsWavDataWouldWriteThem) {
    TempDir dir;
    std::vector<float> a = tone(0.3), b = {0.5f, -0.5f, 1.5f, -3.0f, std::nanf("")};
    {
        AudioFileWriter w(dir / "out.wav");
        w.write(a);
        w.silence(250);
        w.write(b);
        EXPECT_DOUBLE_EQ(w.seconds(), double(a.size() + 6000 + b.size()) / 24000.0);
        w.finish();
    }
    std::vector<float> all = a;
    all.insert(all.end(), 6000, 0.0f);
    all.insert(all.end(), b.begin(), b.end());
    auto expected = tovan::wavData(all, 24000);
    EXPECT_EQ(slurp(dir / "out.wav"), std::string(expected.begin(), expected.end()));
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.wav"});
}

TEST(AudioFileWriter, EmptyWritesAndZeroSilenceChangeNothing) {
    TempDir dir;
    AudioFileWriter w(dir / "out.wav");
    w.write({});
    w.silence(0);
    w.silence(-40);
    EXPECT_EQ(w.seconds(), 0.0);
    w.silence(250);
    EXPECT_DOUBLE_EQ(w.seconds(), 0.25);
    w.finish();
    EXPECT_EQ(slurp(dir / "out.wav").size(), 44u + 12000u);
}

TEST(AudioFileWriter, M4aDecodesBackAsAacAt24kMonoWithItsDuration) {
    TempDir dir;
    const std::vector<float> sound = tone(1.5, 330, 0.4f);
    double seconds;
    {
        AudioFileWriter w(dir / "reading.m4a");
        w.write(sound);
        w.silence(500);
        w.write(sound);
        seconds = w.seconds();
        w.finish();
    }
    EXPECT_DOUBLE_EQ(seconds, 3.5);
    Decoded d = decode(dir / "reading.m4a");
    EXPECT_EQ(d.codec, AV_CODEC_ID_AAC);
    EXPECT_EQ(d.rate, 24000);
    EXPECT_EQ(d.channels, 1);
    // The encoder's priming and last frame are trimmed by the container's
    // edit list; allow one frame either way.
    EXPECT_NEAR(double(d.samples.size()), 3.5 * 24000, 1024);
    // The sound is there, and the silence in the middle is silent.
    std::vector<float> first(d.samples.begin() + 2400, d.samples.begin() + 33600);
    std::vector<float> middle(d.samples.begin() + 37200 + 1200, d.samples.begin() + 46800 - 1200);
    EXPECT_NEAR(rms(first), rms(sound), 0.1 * rms(sound));
    EXPECT_LT(rms(middle), 0.01);
    EXPECT_EQ(dir.names(), std::set<std::string>{"reading.m4a"});
}

TEST(AudioFileWriter, ReplacesAnExistingFileOnlyWhenFinished) {
    for (const char* name : {"old.wav", "old.m4a"}) {
        TempDir dir;
        spit(dir / name, "the user's old file");
        AudioFileWriter w(dir / name);
        w.write(tone(0.5));
        EXPECT_EQ(slurp(dir / name), "the user's old file") << "replaced before it was complete";
        w.finish();
        EXPECT_EQ(decode(dir / name).rate, 24000) << name;
        EXPECT_EQ(dir.names(), std::set<std::string>{name});
    }
}

TEST(AudioFileWriter, DiscardAndUnwindingLeaveTheOldFile) {
    TempDir dir;
    spit(dir / "keep.wav", "old");
    {
        AudioFileWriter w(dir / "keep.wav");
        w.write(tone(0.1));
        w.discard();
        EXPECT_THROW(w.write(tone(0.1)), AudioFileWriter::Failure);
    }
    try {
        AudioFileWriter w(dir / "keep.wav");
        w.write(tone(0.1));
        throw std::runtime_error("export failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(slurp(dir / "keep.wav"), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"keep.wav"});
    {
        // Released without finish(): the file is finished as it stands.
        AudioFileWriter w(dir / "keep.wav");
        w.write(tone(0.1));
    }
    EXPECT_EQ(slurp(dir / "keep.wav").size(), 44u + 2 * 2400u);
}

// A real write failure: the file-size limit stops the temporary file short.
TEST(AudioFileWriter, FailingWriteLeavesTheOldFileAndNoHalfFile) {
    for (const char* name : {"book.wav", "book.m4a"}) {
        TempDir dir;
        spit(dir / name, "old audio");
        struct rlimit saved;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 20000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        bool failed = false;
        std::string message;
        double before = -1;
        try {
            AudioFileWriter w(dir / name);
            for (int i = 0; i < 20; i++) {
                before = w.seconds();
                w.write(tone(1.0));
            }
            w.finish();
        } catch (const AudioFileWriter::Failure& f) {
            failed = true;
            message = f.what();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        (void)before;
        EXPECT_TRUE(failed) << name;
        EXPECT_NE(message.find("Could not write the audio file"), std::string::npos) << message;
        EXPECT_EQ(slurp(dir / name), "old audio") << name;
        EXPECT_EQ(dir.names(), std::set<std::string>{name});
    }
}

TEST(AudioFileWriter, AFailedWriteKeepsSecondsAndFailsLaterCalls) {
    TempDir dir;
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    AudioFileWriter w(dir / "x.wav");
    w.write(tone(0.5));
    struct rlimit small = saved;
    small.rlim_cur = 30000;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(w.write(tone(2.0)), AudioFileWriter::Failure);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_DOUBLE_EQ(w.seconds(), 0.5);
    EXPECT_THROW(w.write(tone(0.1)), AudioFileWriter::Failure);
    EXPECT_THROW(w.finish(), AudioFileWriter::Failure);
    EXPECT_TRUE(dir.names().empty());
}

TEST(AudioFileWriter, WavLongerThanItsSizeFieldsIsRefused) {
    TempDir dir;
    AudioFileWriter w(dir / "long.wav");
    w.write(tone(0.1));
    const int64_t tooLong = tovan::WAV_MAX_SAMPLES / 24 + 1;  // milliseconds
    try {
        w.silence(tooLong);
        FAIL() << "accepted " << tooLong << " ms";
    } catch (const AudioFileWriter::Failure& f) {
        EXPECT_NE(std::string(f.what()).find("too long for a WAV file"), std::string::npos) << f.what();
    }
    EXPECT_DOUBLE_EQ(w.seconds(), 0.1);
    // Nothing of the refused call was written; the file is still good.
    w.write(tone(0.1));
    w.finish();
    EXPECT_EQ(slurp(dir / "long.wav").size(), 44u + 2 * 4800u);
}

TEST(AudioFileWriter, FolderThatCannotTakeAFileFailsAtOnce) {
    TempDir dir;
    for (const char* name : {"missing/out.wav", "missing/out.m4a"}) {
        try {
            AudioFileWriter w(dir / name);
            FAIL() << name;
        } catch (const AudioFileWriter::Failure& f) {
            EXPECT_NE(f.message().find(u"Could not create the audio file"), std::u16string::npos);
        }
    }
    EXPECT_TRUE(dir.names().empty());
}
