#pragma once
// The one object that reads a document aloud: the current document and the
// sentence being heard, the transport commands (play, pause, toggle, seek,
// paragraph skips, sleep timer), the reading position of each document kept
// on disk, the reading settings kept in the user's defaults, and moving on to
// the next unfinished document when one ends.
//
// Synthesis runs on the engine thread in a RenderLoop that this object starts
// and stops through its Gate; everything else here is main-thread only. Each
// published value emits its own signal after it changed; nowPlayingChanged()
// asks whoever shows the system's media information to refresh it.
//
// The application model must end its engine thread before this object goes
// (it does: the queue is drained first), since a running loop reaches the
// player and the main queue.

#include "Doc.h"
#include "Gate.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "AudioOutput.h"
#include "Clock.h"
#include "SentencePlayer.h"

namespace tovan {

class AppModel;
class SettingsStore;

class Narrator : public QObject {
    Q_OBJECT
public:
    // What the reading runs on. Left empty, the real clock and main queue of
    // the Qt event loop and the machine's audio output are used.
    struct Setup {
        Clock* clock = nullptr;
        MainQueue* main = nullptr;
        std::unique_ptr<AudioOutput> output;
        std::filesystem::path audioDir;  // empty: SentencePlayer::defaultDir()
    };

    static constexpr const char* SPEED_KEY = "speed";
    static constexpr const char* NATURAL_KEY = "natural";
    static constexpr const char* EXPRESSIVENESS_KEY = "expressiveness";
    static constexpr const char* DIALOGUE_VOICE_KEY = "dialogueVoice";
    static constexpr const char* AUTO_NEXT_KEY = "autoNext";
    static constexpr const char* OUTPUT_KEY = "outputDevice";

    explicit Narrator(AppModel& app);
    Narrator(AppModel& app, Setup setup);
    ~Narrator() override;
    Narrator(const Narrator&) = delete;
    Narrator& operator=(const Narrator&) = delete;

    // ---- published state ----
    const std::shared_ptr<Doc>& doc() const { return doc_; }
    // Another document becomes current without playing; null leaves none
    // (a reading in progress stops, without saving the position of a
    // document that may be gone).
    void setDoc(std::shared_ptr<Doc> doc);
    // The sentence being heard; within the current document.
    int64_t heard() const { return heard_; }
    bool playing() const { return playing_; }
    // Audio for the current position is being made and nothing sounds yet.
    bool preparing() const { return preparing_; }
    const std::optional<QString>& problem() const { return problem_; }
    void setProblem(std::optional<QString> problem);
    // The settings: each assignment is stored under its key and, while
    // reading, heard at once (synthesis restarts at the heard sentence).
    float speed() const { return speed_; }
    void setSpeed(float speed);  // a value that is not finite is refused
    bool natural() const { return natural_; }
    void setNatural(bool natural);
    float expressiveness() const { return expressiveness_; }
    void setExpressiveness(float expressiveness);  // not finite: refused
    bool dialogueVoice() const { return dialogueVoice_; }
    void setDialogueVoice(bool on);
    // When the sleep timer will stop the reading.
    const std::optional<QDateTime>& sleepAt() const { return sleepAt_; }

    SentencePlayer& player() { return *player_; }
    // Moves the reading to the output device with this id ("" = the machine's
    // default) from the next sentence on, and remembers the choice for the
    // next start. False when the output cannot go there.
    bool chooseOutput(const std::string& device);

    // ---- commands ----
    // Shows the last document read, without playing it.
    void restoreLast();
    // Makes the document current and reads it from `from`, or from its saved
    // position (the start when it is done).
    void play(const std::shared_ptr<Doc>& doc, std::optional<int64_t> from = std::nullopt);
    void pause();
    // Pauses, or resumes, or plays the first document of the reading list.
    // A document read to its end starts again from the top.
    void toggle();
    void seek(int64_t index);
    void nextParagraph();
    void previousParagraph();
    // Stops reading after the minutes; none or less than 1 only cancels.
    void sleep(std::optional<int64_t> minutes);
    // Restarts synthesis at the index (views call it after changing the
    // application's style while playing).
    void renderFrom(int64_t index);

    // 0 to 1 through the document by sentence.
    double progress() const;
    // Listening time left from the heard sentence at 15 characters a second.
    double secondsLeft() const;

signals:
    void docChanged();
    void heardChanged();
    void playingChanged();
    void preparingChanged();
    void problemChanged();
    void speedChanged();
    void naturalChanged();
    void expressivenessChanged();
    void dialogueVoiceChanged();
    void sleepAtChanged();
    void nowPlayingChanged();

private:
    void heardSentence(int64_t mark);
    void drained();
    void savePosition();
    void start();
    void finished();
    // Ends the running loop and silences what was queued.
    void stopRendering();
    void renderFailed(int64_t gen, const std::u16string& description);

    void setHeard(int64_t heard);
    void setPlaying(bool playing);
    void setPreparing(bool preparing);
    void setSleepAt(std::optional<QDateTime> at);
    void updateNowPlaying() { emit nowPlayingChanged(); }
    void renderAgain();
    std::shared_ptr<SettingsStore> defaults() const;
    // Grapheme clusters of sentences [k, end) for the current document.
    int64_t charactersFrom(int64_t k) const;

    AppModel& app_;
    std::unique_ptr<Clock> ownClock_;  // with the real clock, also the main queue
    Clock* clock_;
    MainQueue* main_;

    std::shared_ptr<Doc> doc_;
    int64_t heard_ = 0;
    bool playing_ = false;
    bool preparing_ = false;
    std::optional<QString> problem_;
    float speed_ = 1.0f;
    bool natural_ = true;
    float expressiveness_ = 0.8f;
    bool dialogueVoice_ = false;
    std::optional<QDateTime> sleepAt_;
    // The current document was read to its end and nothing has moved since:
    // leaving it keeps it finished, playing it again starts at the top.
    bool atEnd_ = false;

    std::shared_ptr<SentencePlayer> player_;
    int64_t gen_ = 0;
    std::shared_ptr<Gate> gate_;
    Clock::TimerId sleepTimer_ = 0;
    // Lets work posted from the engine thread see that this object is gone.
    std::shared_ptr<int> life_;
    // Suffix sums of the grapheme counts of the current document's sentences.
    mutable std::shared_ptr<Doc> countedDoc_;
    mutable std::vector<int64_t> charsFrom_;
};

}  // namespace tovan
