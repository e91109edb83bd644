#pragma once
// A reading controller and export job that only remember: the views' tests
// set its state, emit `changed`, and read back the commands it was given.

#include <string>
#include <vector>

#include "Doc.h"
#include "ReadingState.h"

namespace tovan::test {

class FakeReading : public ReadingState {
public:
    std::shared_ptr<Doc> doc_;
    int64_t heard_ = 0;
    bool playing_ = false;
    bool preparing_ = false;
    std::optional<QString> problem_;
    float speed_ = 1.0f;
    std::optional<QDateTime> sleepAt_;
    double progress_ = 0;
    double secondsLeft_ = 0;
    std::optional<QString> exportTitle_;
    double exportFraction_ = 0;

    // Every command, as text: "play <id> <from|saved>", "seek 3", "toggle", …
    std::vector<std::string> calls;
    std::vector<std::shared_ptr<Doc>> exported;

    std::shared_ptr<Doc> doc() const override { return doc_; }
    int64_t heard() const override { return heard_; }
    bool playing() const override { return playing_; }
    bool preparing() const override { return preparing_; }
    std::optional<QString> problem() const override { return problem_; }
    float speed() const override { return speed_; }
    void setSpeed(float speed) override {
        speed_ = speed;
        calls.push_back("speed " + std::to_string(speed));
        emit changed();
    }
    std::optional<QDateTime> sleepAt() const override { return sleepAt_; }
    double progress() const override { return progress_; }
    double secondsLeft() const override { return secondsLeft_; }

    void play(const std::shared_ptr<Doc>& doc, std::optional<int64_t> from) override {
        calls.push_back("play " + QString::fromStdU16String(doc->id).toStdString() + " " +
                        (from ? std::to_string(*from) : std::string("saved")));
        doc_ = doc;
        playing_ = true;
        emit changed();
    }
    void toggle() override { calls.push_back("toggle"); }
    void pause() override {
        calls.push_back("pause");
        playing_ = false;
        emit changed();
    }
    void seek(int64_t sentence) override { calls.push_back("seek " + std::to_string(sentence)); }
    void nextParagraph() override { calls.push_back("next"); }
    void previousParagraph() override { calls.push_back("previous"); }
    void renderFrom(int64_t sentence) override { calls.push_back("render " + std::to_string(sentence)); }
    void sleep(std::optional<int> minutes) override {
        calls.push_back(minutes ? "sleep " + std::to_string(*minutes) : std::string("sleep off"));
        sleepAt_ = minutes ? std::optional<QDateTime>(QDateTime::currentDateTime().addSecs(*minutes * 60))
                           : std::nullopt;
        emit changed();
    }
    void close() override {
        calls.push_back("close");
        playing_ = false;
        doc_.reset();
        emit changed();
    }
    AudioOutput* output() override { return nullptr; }
    void chooseOutput(const std::string& device) override { calls.push_back("output " + device); }

    std::optional<QString> exportTitle() const override { return exportTitle_; }
    double exportFraction() const override { return exportFraction_; }
    void exportAudio(const std::shared_ptr<Doc>& doc) override {
        calls.push_back("export " + QString::fromStdU16String(doc->id).toStdString());
        exported.push_back(doc);
    }
    void cancelExport() override { calls.push_back("cancel export"); }

    // Sets the export job and says so.
    void setExport(std::optional<QString> title, double fraction) {
        exportTitle_ = std::move(title);
        exportFraction_ = fraction;
        emit exportChanged();
    }
};

}  // namespace tovan::test
