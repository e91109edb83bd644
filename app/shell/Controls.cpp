#include "Controls.h"

#include "AppModel.h"
#include "Doc.h"

#if __has_include("Narrator.h")
#include "Narrator.h"
#define TOVAN_SHELL_HAS_NARRATOR 1
#endif

namespace tovan {
namespace {

// Nothing to read with: the program runs, adds documents, and waits.
class InertControls final : public Controls {
public:
    bool hasDoc() const override { return false; }
    QString docTitle() const override { return {}; }
    bool playing() const override { return false; }
    bool preparing() const override { return false; }
    double progress() const override { return 0; }
    int heard() const override { return 0; }
    float speed() const override { return speed_; }
    void setSpeed(float s) override {
        speed_ = s;
        emit changed();
    }
    void toggle() override {}
    void seek(int) override {}
    void nextParagraph() override {}
    void previousParagraph() override {}
    void stop() override {}
    void play(const std::shared_ptr<Doc>&) override {}
    void exportDoc() override {}
    bool natural() const override { return natural_; }
    void setNatural(bool on) override {
        natural_ = on;
        emit changed();
    }
    float expressiveness() const override { return expressiveness_; }
    void setExpressiveness(float v) override {
        expressiveness_ = v;
        emit changed();
    }
    bool dialogueVoice() const override { return dialogue_; }
    void setDialogueVoice(bool on) override {
        dialogue_ = on;
        emit changed();
    }

private:
    float speed_ = 1.0f, expressiveness_ = 0.7f;
    bool natural_ = true, dialogue_ = true;
};

}  // namespace

std::unique_ptr<Controls> makeControls() { return std::make_unique<InertControls>(); }

}  // namespace tovan
