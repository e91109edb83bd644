// An announcer with every neighbour faked: a fake engine library behind a
// real Engine, an engine queue the test runs by hand, a reader that records
// pauses and resumes, and a player on the virtual output and clock.
#pragma once

#include "Announcer.h"
#include "Assistant.h"
#include "Regex.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

#include "../../../playback/tests/FakeEngine.h"
#include "../../../playback/tests/TestDir.h"

#include <deque>
#include <functional>
#include <memory>

struct AnnouncerRig {
    TestDir tmp;
    tovan::VirtualClock clock;
    FakeEngine fake;
    std::unique_ptr<tovan::Engine> engine;
    std::deque<std::function<void(tovan::Engine&)>> jobs;
    bool engineWorks = true;
    int dropped = 0;
    bool readerPlaying = false;
    int pauses = 0, resumes = 0;
    tovan::Style style;
    bool focus = false;
    std::function<void(const tovan::Expression::Mood&)> onMoodStyle;  // per part, on the "engine"
    std::unique_ptr<tovan::Announcer> announcer;

    AnnouncerRig() {
        FakeEngine::next = &fake;
        engine = std::make_unique<tovan::Engine>("/models/fake", 1, FakeEngine::api());
        tovan::Announcer::Host host;
        host.readerPlaying = [this] { return readerPlaying; };
        host.pauseReader = [this] {
            pauses++;
            readerPlaying = false;
        };
        // The application resumes by toggling the reader, as here.
        host.resumeReader = [this] {
            resumes++;
            readerPlaying = !readerPlaying;
        };
        host.style = [this] { return style; };
        host.onEngine = [this](std::function<void(tovan::Engine&)> job) {
            if (engineWorks)
                jobs.push_back(std::move(job));
            else
                dropped++;
        };
        host.moodStyle = [this](const tovan::Style& s, const tovan::Expression::Mood& m) {
            if (onMoodStyle) onMoodStyle(m);
            tovan::Style out = s;
            out.add(m);
            return out;
        };
        host.focusOn = [this] { return focus; };
        host.hour = [] { return 12; };
        auto player = std::make_unique<tovan::SentencePlayer>(std::make_unique<tovan::VirtualAudioOutput>(clock),
                                                              clock, tmp.path / "audio");
        announcer = std::make_unique<tovan::Announcer>(host, std::move(player));
    }
    ~AnnouncerRig() {
        announcer.reset();
        engine.reset();
        FakeEngine::next = nullptr;
    }

    // An assistant's neighbours: these settings, this announcer and clock,
    // and a fixed wall clock.
    tovan::Assistant::Host assistantHost(tovan::AssistantPrefs& prefs) {
        tovan::Assistant::Host host;
        host.prefs = &prefs;
        host.announcer = announcer.get();
        host.clock = &clock;
        host.nowMs = [] { return int64_t(1700000000000); };
        return host;
    }

    // Runs what waits on the engine queue, then what that posted to the main
    // thread.
    void runEngine() {
        while (!jobs.empty()) {
            auto job = std::move(jobs.front());
            jobs.pop_front();
            job(*engine);
        }
        clock.run();
    }
    // Engine work done and every clip heard.
    void playOut() {
        runEngine();
        for (int i = 0; i < 20 && (announcer->busy() || !jobs.empty()); i++) {
            clock.advance(1.0);
            runEngine();
        }
    }
    std::vector<std::string> spokenTexts() const {
        std::vector<std::string> out;
        for (const auto& c : fake.calls) out.push_back(c.text);
        return out;
    }
    std::string speaking() const {
        const auto& s = announcer->speaking();
        return s ? tovan::u8(*s) : "(idle)";
    }
};
