#pragma once
// The reading views' face (ReadingState) over the application's Narrator and
// Exporter; also gives the exporter its save dialog.

#include "ReadingState.h"

namespace tovan {

class Exporter;
class Narrator;

class NarratorReading : public ReadingState {
    Q_OBJECT
public:
    NarratorReading(Narrator& narrator, Exporter& exporter, QObject* parent = nullptr);

    std::shared_ptr<Doc> doc() const override;
    int64_t heard() const override;
    bool playing() const override;
    bool preparing() const override;
    std::optional<QString> problem() const override;
    float speed() const override;
    void setSpeed(float speed) override;
    std::optional<QDateTime> sleepAt() const override;
    double progress() const override;
    double secondsLeft() const override;
    void play(const std::shared_ptr<Doc>& doc, std::optional<int64_t> from) override;
    void toggle() override;
    void pause() override;
    void seek(int64_t sentence) override;
    void nextParagraph() override;
    void previousParagraph() override;
    void renderFrom(int64_t sentence) override;
    void sleep(std::optional<int> minutes) override;
    void close() override;
    AudioOutput* output() override;
    void chooseOutput(const std::string& device) override;

    std::optional<QString> exportTitle() const override;
    double exportFraction() const override;
    void exportAudio(const std::shared_ptr<Doc>& doc) override;
    void cancelExport() override;

private:
    Narrator& narrator_;
    Exporter& exporter_;
};

}  // namespace tovan
