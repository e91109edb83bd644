#include "Controls.h"

#include "AppModel.h"
#include "Doc.h"

#if __has_include("Narrator.h")
#include "Narrator.h"
#include "NowPlaying.h"
#define TOVAN_SHELL_HAS_NARRATOR 1
#endif
#if __has_include("Exporter.h")
#include "Exporter.h"
#define TOVAN_SHELL_HAS_EXPORTER 1
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

#ifdef TOVAN_SHELL_HAS_NARRATOR
// The reading controller of the model, one to one.
class NarratorControls final : public Controls {
public:
    explicit NarratorControls(Narrator& n) : n_(n) {
        for (auto sig : {&Narrator::docChanged, &Narrator::heardChanged, &Narrator::playingChanged,
                         &Narrator::preparingChanged, &Narrator::speedChanged, &Narrator::naturalChanged,
                         &Narrator::expressivenessChanged, &Narrator::dialogueVoiceChanged})
            connect(&n_, sig, this, &Controls::changed);
    }
    bool hasDoc() const override { return n_.doc() != nullptr; }
    QString docTitle() const override { return n_.doc() ? QString::fromStdU16String(n_.doc()->title) : QString(); }
    bool playing() const override { return n_.playing(); }
    bool preparing() const override { return n_.preparing(); }
    double progress() const override { return n_.progress(); }
    int heard() const override { return static_cast<int>(n_.heard()); }
    float speed() const override { return n_.speed(); }
    void setSpeed(float s) override { n_.setSpeed(s); }
    void toggle() override { n_.toggle(); }
    void seek(int i) override { n_.seek(i); }
    void nextParagraph() override { n_.nextParagraph(); }
    void previousParagraph() override { n_.previousParagraph(); }
    void stop() override {
        n_.pause();
        n_.setDoc(nullptr);
        NowPlaying::update(n_);
    }
    void play(const std::shared_ptr<Doc>& doc) override { n_.play(doc); }
    void exportDoc() override {
#ifdef TOVAN_SHELL_HAS_EXPORTER
        if (n_.doc()) Exporter::shared().exportDoc(n_.doc());
#endif
    }
    bool natural() const override { return n_.natural(); }
    void setNatural(bool on) override { n_.setNatural(on); }
    float expressiveness() const override { return n_.expressiveness(); }
    void setExpressiveness(float v) override { n_.setExpressiveness(v); }
    bool dialogueVoice() const override { return n_.dialogueVoice(); }
    void setDialogueVoice(bool on) override { n_.setDialogueVoice(on); }

private:
    Narrator& n_;
};
#endif

}  // namespace

std::unique_ptr<Controls> makeControls() {
#ifdef TOVAN_SHELL_HAS_NARRATOR
    if (AppModel::hasShared() && AppModel::shared().narrator)
        return std::make_unique<NarratorControls>(*AppModel::shared().narrator);
#endif
    return std::make_unique<InertControls>();
}

}  // namespace tovan
