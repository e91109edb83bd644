// tovan-read: reads a paragraph aloud on the development model, the way the
// application reads a document: sentences planned by the reading director,
// synthesized through Engine on an engine thread and played through a
// SentencePlayer that reports each sentence as it is heard. Without an audio
// device the reading still advances (silently, in real time) and is also
// written to an .m4a file.
#include "AudioFileWriter.h"
#include "AudioOutput.h"
#include "Director.h"
#include "Engine.h"
#include "Regex.h"
#include "QtClock.h"
#include "SentencePlayer.h"
#include "Style.h"
#include "TextClean.h"
#include "VirtualAudioOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace fs = std::filesystem;
using namespace tovan;

namespace {

const char16_t* PARAGRAPH =
    u"On 3 March 2024 at 9:30, the twelve lanterns of Harrow Street were lit for the last time. "
    u"Mrs. Okafor, who had kept them for 41 years, climbed the ladder slowly. "
    u"\u201cThey'll put in electric ones next week,\u201d she said, \u201cand nobody will remember.\u201d "
    u"The children who watched her did remember, though; one of them still has the brass key.";

// Audio queued ahead of the listener, as the reading controller keeps it.
constexpr double AHEAD_SECONDS = 6.0;

fs::path programDir() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? fs::path(std::string(buf, size_t(n))).parent_path() : fs::path(".");
}

int usage() {
    std::fprintf(stderr,
                 "usage: tovan-read [--model DIR] [--out FILE] [--text TEXT] [--director FILE]\n"
                 "  --model DIR   model directory (default $TOVANTTS_MODEL, else the build's dev model)\n"
                 "  --out FILE    also write the reading to FILE (.m4a or .wav); without an audio\n"
                 "                device it is written to tovan-read.m4a beside this program\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path here = programDir();
    fs::path model, out, directorPath;
    std::u16string text = PARAGRAPH;
    if (const char* env = std::getenv("TOVANTTS_MODEL"); env && *env) model = env;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v) return usage();
        if (!std::strcmp(a, "--model")) model = v;
        else if (!std::strcmp(a, "--out")) out = v;
        else if (!std::strcmp(a, "--text")) text = u16(v);
        else if (!std::strcmp(a, "--director")) directorPath = v;
        else return usage();
        i++;
    }
    if (model.empty()) model = here.parent_path() / "engine" / "models" / "dev";
    if (directorPath.empty())
        directorPath = fs::exists(model / "director.bin") ? model / "director.bin"
                                                           : here.parent_path() / "playback" / "director" / "dev.bin";

    std::unique_ptr<Engine> engine;
    try {
        auto t0 = std::chrono::steady_clock::now();
        engine = std::make_unique<Engine>(model, 4);
        std::printf("engine: %s loaded in %.0f ms\n", model.c_str(),
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    } catch (const Engine::Failure& f) {
        std::fprintf(stderr, "tovan-read: %s\n", f.what());
        return 1;
    }

    // The paragraph's sentences and their plans.
    std::vector<std::u16string> sentences;
    for (const auto& r : TextClean::spans(text)) sentences.push_back(text.substr(size_t(r.lower), size_t(r.upper - r.lower)));
    if (sentences.empty()) {
        std::fprintf(stderr, "tovan-read: nothing to read\n");
        return 1;
    }
    std::vector<Director::Plan> plans;
    try {
        auto director = Director::load(directorPath);
        std::vector<Director::Sentence> ds;
        for (size_t i = 0; i < sentences.size(); i++)
            ds.push_back({sentences[i], sentences[i].find(u'\u201c') != std::u16string::npos, false,
                          int64_t(sentences.size()), int64_t(i)});
        plans = director->plan(ds, std::nullopt);
    } catch (const Engine::Failure& f) {
        std::printf("director: %s; reading without plans\n", f.what());
    }

    QtClock clock;
    auto output = AudioOutput::system(clock);
    const bool silent = dynamic_cast<VirtualAudioOutput*>(output.get()) != nullptr;
    if (silent && out.empty()) out = here / "tovan-read.m4a";
    std::printf("output: %s\n", output->name().c_str());
    SentencePlayer player(std::move(output), clock);

    const Style style;
    const auto voice = engine->resolve(style.voice);
    std::printf("voice: %s, %zu sentences\n", voice ? u8(*voice).c_str() : "(engine default)", sentences.size());

    QElapsedTimer heard;
    heard.start();
    player.onMark = [&](int64_t mark) {
        if (mark >= 0 && size_t(mark) < sentences.size())
            std::printf("[%5.2f s] heard %lld: %s\n", heard.nsecsElapsed() / 1e9, (long long)mark,
                        u8(sentences[size_t(mark)]).c_str());
        std::fflush(stdout);
    };
    std::atomic<bool> finished{false};
    std::atomic<int> status{0};
    player.onDrained = [&] {
        if (finished) app.quit();
    };
    const int64_t token = player.flush();
    player.play();

    std::thread reader([&] {
        std::unique_ptr<AudioFileWriter> writer;
        try {
            if (!out.empty()) writer = std::make_unique<AudioFileWriter>(out);
            double audio = 0, spent = 0;
            for (size_t i = 0; i < sentences.size() && status == 0; i++) {
                Style s = style.copy();
                int64_t pause = 350;
                if (i < plans.size()) {
                    for (const auto& [name, value] : plans[i].controls(1.0f)) s.add(name, value);
                    pause = plans[i].pauseMs(s.pace);
                }
                auto t0 = std::chrono::steady_clock::now();
                auto samples = engine->synthesize(sentences[i], voice, s.tagOrNull(), s.ctrl(), s.pace, true);
                const double ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
                if (!samples) break;
                audio += double(samples->size()) / Engine::sampleRate;
                spent += ms / 1000;
                std::printf("synthesized %zu: %.2f s of audio in %.0f ms\n", i, double(samples->size()) / 24000, ms);
                if (writer) {
                    writer->write(*samples);
                    writer->silence(pause);
                }
                samples->insert(samples->end(), size_t(pause * 24), 0.0f);
                // Keep a few seconds ahead of the listener, no more.
                while (player.pendingSeconds() > AHEAD_SECONDS) std::this_thread::sleep_for(std::chrono::milliseconds(40));
                player.enqueue(*samples, int64_t(i), token);
            }
            // A short silence marked as the end.
            player.enqueue(std::vector<float>(2400, 0.0f), -1, token);
            if (writer) {
                writer->finish();
                std::printf("wrote %s (%.2f s)\n", out.c_str(), writer->seconds());
            }
            if (spent > 0) std::printf("engine: %.2f s of audio in %.2f s (%.1fx real time)\n", audio, spent, audio / spent);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tovan-read: %s\n", e.what());
            status = 1;
            QMetaObject::invokeMethod(&app, [&] { app.quit(); }, Qt::QueuedConnection);
        }
        finished = true;
        // The end may have been heard already.
        clock.post([&] {
            if (player.pendingSeconds() == 0) app.quit();
        });
    });
    app.exec();
    reader.join();
    player.flush();
    return status;
}
