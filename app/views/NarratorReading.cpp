#include "NarratorReading.h"

#include <QFileDialog>
#include <QFileInfo>

#include "FileDialogs.h"

#include "SentencePlayer.h"
#include "core/Exporter.h"
#include "core/Narrator.h"
#include "core/NowPlaying.h"

namespace tovan {

NarratorReading::NarratorReading(Narrator& narrator, Exporter& exporter, QObject* parent)
    : ReadingState(parent), narrator_(narrator), exporter_(exporter) {
    for (auto signal : {&Narrator::docChanged, &Narrator::heardChanged, &Narrator::playingChanged,
                        &Narrator::preparingChanged, &Narrator::problemChanged, &Narrator::speedChanged,
                        &Narrator::sleepAtChanged})
        connect(&narrator_, signal, this, &ReadingState::changed);
    connect(&exporter_, &Exporter::titleChanged, this, &ReadingState::exportChanged);
    connect(&exporter_, &Exporter::fractionChanged, this, &ReadingState::exportChanged);
    exporter_.setAskDestination([](const QString& proposed, const QString& message,
                                   std::function<void(std::filesystem::path)> chosen) {
        auto* dialog = FileDialogs::make(nullptr, QObject::tr("Save as Audio"), message, FileDialogs::musicFolder(),
                                         QFileDialog::tr("Audio (*.m4a *.wav)"));
        dialog->setObjectName(QStringLiteral("savePanel"));
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->selectFile(QFileInfo(proposed).fileName());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        // Exactly one answer: the file, or an empty path when the dialog
        // is cancelled or closed.
        QObject::connect(dialog, &QDialog::finished, dialog, [dialog, chosen](int result) {
            const QStringList files = dialog->selectedFiles();
            if (result == QDialog::Accepted && !files.isEmpty() && !files.front().isEmpty())
                chosen(std::filesystem::path(files.front().toStdString()));
            else
                chosen({});
        });
        dialog->open();
    });
}

std::shared_ptr<Doc> NarratorReading::doc() const { return narrator_.doc(); }
int64_t NarratorReading::heard() const { return narrator_.heard(); }
bool NarratorReading::playing() const { return narrator_.playing(); }
bool NarratorReading::preparing() const { return narrator_.preparing(); }
std::optional<QString> NarratorReading::problem() const { return narrator_.problem(); }
float NarratorReading::speed() const { return narrator_.speed(); }
void NarratorReading::setSpeed(float speed) { narrator_.setSpeed(speed); }
std::optional<QDateTime> NarratorReading::sleepAt() const { return narrator_.sleepAt(); }
double NarratorReading::progress() const { return narrator_.progress(); }
double NarratorReading::secondsLeft() const { return narrator_.secondsLeft(); }
void NarratorReading::play(const std::shared_ptr<Doc>& doc, std::optional<int64_t> from) { narrator_.play(doc, from); }
void NarratorReading::toggle() { narrator_.toggle(); }
void NarratorReading::pause() { narrator_.pause(); }
void NarratorReading::seek(int64_t sentence) { narrator_.seek(sentence); }
void NarratorReading::nextParagraph() { narrator_.nextParagraph(); }
void NarratorReading::previousParagraph() { narrator_.previousParagraph(); }
void NarratorReading::renderFrom(int64_t sentence) { narrator_.renderFrom(sentence); }
void NarratorReading::sleep(std::optional<int> minutes) {
    narrator_.sleep(minutes ? std::optional<int64_t>(*minutes) : std::nullopt);
}
void NarratorReading::close() {
    narrator_.pause();
    narrator_.setDoc(nullptr);
    NowPlaying::update(narrator_);  // no document: the system's Now Playing is cleared
}
AudioOutput* NarratorReading::output() { return &narrator_.player().output(); }
void NarratorReading::chooseOutput(const std::string& device) { narrator_.chooseOutput(device); }

std::optional<QString> NarratorReading::exportTitle() const { return exporter_.title(); }
double NarratorReading::exportFraction() const { return exporter_.fraction(); }
void NarratorReading::exportAudio(const std::shared_ptr<Doc>& doc) { exporter_.exportDoc(doc); }
void NarratorReading::cancelExport() { exporter_.cancel(); }

}  // namespace tovan
