// Reading controls that record what they were asked.
#pragma once

#include "Controls.h"

#include <string>
#include <vector>

namespace tovan {

class FakeControls final : public Controls {
public:
    bool hasDoc() const override { return doc; }
    QString docTitle() const override { return title; }
    bool playing() const override { return isPlaying; }
    bool preparing() const override { return isPreparing; }
    double progress() const override { return prog; }
    int heard() const override { return heardAt; }
    float speed() const override { return spd; }
    void setSpeed(float s) override {
        spd = s;
        emit changed();
    }
    void toggle() override { calls.push_back("toggle"); }
    void seek(int i) override { calls.push_back("seek " + std::to_string(i)); }
    void nextParagraph() override { calls.push_back("next"); }
    void previousParagraph() override { calls.push_back("previous"); }
    void stop() override {
        calls.push_back("stop");
        doc = false;
        emit changed();
    }
    void play(const std::shared_ptr<Doc>&) override { calls.push_back("play"); }
    void exportDoc() override { calls.push_back("export"); }
    bool natural() const override { return nat; }
    void setNatural(bool on) override {
        nat = on;
        emit changed();
    }
    float expressiveness() const override { return expr; }
    void setExpressiveness(float v) override {
        expr = v;
        emit changed();
    }
    bool dialogueVoice() const override { return dialogue; }
    void setDialogueVoice(bool on) override {
        dialogue = on;
        emit changed();
    }
    void set(bool hasDocument, bool play, bool prep = false) {
        doc = hasDocument;
        isPlaying = play;
        isPreparing = prep;
        emit changed();
    }

    bool doc = false, isPlaying = false, isPreparing = false, nat = true, dialogue = true;
    QString title;
    double prog = 0;
    int heardAt = 0;
    float spd = 1.0f, expr = 0.7f;
    std::vector<std::string> calls;
};

}  // namespace tovan
