#pragma once
// What the reading views show of the reading controller and of the audio
// export job, and the commands they send them. The views talk only to this
// face; the application gives them the one over its Narrator and Exporter
// (NarratorReading), the tests a fake that records what was asked.
//
// Main thread only. `changed` follows every change of the reading state,
// `exportChanged` every change of the export job.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QDateTime>
#include <QObject>
#include <QString>

namespace tovan {

class Doc;
class AudioOutput;

class ReadingState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // ---- the reading ----
    virtual std::shared_ptr<Doc> doc() const = 0;
    virtual int64_t heard() const = 0;
    virtual bool playing() const = 0;
    virtual bool preparing() const = 0;
    virtual std::optional<QString> problem() const = 0;
    virtual float speed() const = 0;
    virtual void setSpeed(float speed) = 0;
    virtual std::optional<QDateTime> sleepAt() const = 0;
    // heard / (count - 1); 0 below two sentences.
    virtual double progress() const = 0;
    virtual double secondsLeft() const = 0;

    // from: none for the saved position.
    virtual void play(const std::shared_ptr<Doc>& doc, std::optional<int64_t> from) = 0;
    virtual void toggle() = 0;
    virtual void pause() = 0;
    virtual void seek(int64_t sentence) = 0;
    virtual void nextParagraph() = 0;
    virtual void previousParagraph() = 0;
    virtual void renderFrom(int64_t sentence) = 0;
    // Minutes, or none to cancel the timer.
    virtual void sleep(std::optional<int> minutes) = 0;
    // Pauses, leaves no current document and clears Now Playing.
    virtual void close() = 0;
    // Where the reading is heard; null when there is no player.
    virtual AudioOutput* output() = 0;
    // Moves the reading to the output device with this id ("" = the
    // machine's default) from the next sentence on; the choice is kept.
    virtual void chooseOutput(const std::string& device) = 0;

    // ---- the audio export job ----
    virtual std::optional<QString> exportTitle() const = 0;
    virtual double exportFraction() const = 0;
    // Asks where to save and starts the job.
    virtual void exportAudio(const std::shared_ptr<Doc>& doc) = 0;
    virtual void cancelExport() = 0;

signals:
    void changed();
    void exportChanged();
};

}  // namespace tovan
