#pragma once
// Saves a whole document as one audio file (.m4a AAC, or .wav PCM), read
// with the reading's voice, style, natural narration and character voices.
// The job runs on a background thread of low priority with an engine of its
// own, so playback keeps the shared engine thread; the one shared instance
// publishes the title being saved and the progress, and the export bar's
// Cancel sets the cancel flag.
//
// The file appears at the destination only when it is complete: a failed or
// cancelled export leaves whatever was there before untouched.

#include "Doc.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "Clock.h"

namespace tovan {

class AppModel;
struct EngineApi;

class Exporter : public QObject {
    Q_OBJECT
public:
    // Asks the user where to save: the proposed file name and a note; calls
    // chosen once, with the path, or with an empty path when the user cancels. Installed
    // by the views (a save dialog); without one, export(doc) does nothing.
    using AskDestination = std::function<void(const QString& proposedName, const QString& message,
                                              std::function<void(std::filesystem::path)> chosen)>;
    // Shows the finished file in the file manager.
    using Reveal = std::function<void(const std::filesystem::path& file)>;

    struct Setup {
        MainQueue* main = nullptr;           // null: the Qt event loop's
        const EngineApi* engineApi = nullptr;  // null: the real engine
        Reveal reveal;                       // empty: revealInFileManager
        int threads = 4;
    };

    static constexpr const char* MESSAGE =
        "The whole document, read in your voice and style. AAC (.m4a) is about 30 MB per hour; WAV is "
        "uncompressed.";

    // The one exporter, over AppModel::shared().
    static Exporter& shared();

    explicit Exporter(AppModel& app);
    Exporter(AppModel& app, Setup setup, QObject* parent = nullptr);
    // Stops a running job (nothing reaches the destination) and waits for it.
    ~Exporter() override;
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    // The title of the document being saved; none when idle.
    const std::optional<QString>& title() const { return title_; }
    // 0 to 1.
    double fraction() const { return fraction_; }
    bool cancelled() const { return cancelled_->load(); }
    // The export bar's Cancel: the job stops before its next sentence.
    void cancel();

    void setAskDestination(AskDestination ask) { ask_ = std::move(ask); }
    // Asks for a destination and saves there; nothing while an export runs
    // or a dialog is up.
    // (`export` is a reserved word.)
    void exportDoc(const std::shared_ptr<Doc>& doc);
    // Saves to the file at once: settings taken now, the job started.
    void exportDoc(const std::shared_ptr<Doc>& doc, const std::filesystem::path& file);

    // The title with each "/" made "-", then ".m4a".
    static QString proposedName(const Doc& doc);
    // Selects the file in the desktop's file manager (FileManager1 over the
    // session bus), else opens its folder.
    static void revealInFileManager(const std::filesystem::path& file);

    // Waits until the running job, if any, has ended (tests, shutdown). Its
    // last word still comes through the main queue.
    void wait();

signals:
    void titleChanged();
    void fractionChanged();

private:
    struct Snapshot;
    static void job(Snapshot s);
    void finished(bool cancelled, const std::filesystem::path& file);
    void failed(const QString& description);
    void setTitle(std::optional<QString> title);
    void setFraction(double fraction);

    AppModel& app_;
    std::unique_ptr<Clock> ownClock_;
    MainQueue* main_;
    const EngineApi* engineApi_;
    Reveal reveal_;
    int threads_;
    AskDestination ask_;

    std::optional<QString> title_;
    double fraction_ = 0;
    // Shared with the job: read before each sentence from its thread.
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    // False once this object is going: the job stops and leaves no file.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::thread worker_;
    std::vector<std::thread> retired_;  // earlier jobs, ending on their own
    uint64_t jobs_ = 0;  // jobs started; the last one publishes
    bool asking_ = false;  // a save dialog is up
};

}  // namespace tovan
