#pragma once
// The assistant's screen: switch it on and off, hear an example, catch up on
// what was kept, stop what is being said, see why it is quiet now, grant
// what the sources need, connect the Claude Code and zsh hooks, set every
// assistant setting, pick the apps whose notifications are read, and see the
// recent log (who, where, what became of it, when; never the words).
//
// The screen holds no logic of the assistant: it binds its controls to
// AssistantPrefs and calls the operations its Host gives. refresh() runs when
// the screen is shown and every 2 s while it is.

#include "AssistantPrefs.h"
#include "ChosenApps.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QVBoxLayout;

namespace tovan {

class AppModel;
class Feature;

class AssistantScreen : public QWidget {
    Q_OBJECT
public:
    // One row of the recent log.
    struct Line {
        std::string id;
        int64_t timeMs = 0;
        std::u16string app, who, outcome;
        bool spoken = false;
    };
    // What the screen shows and calls; standardHost() fills it from the
    // shared assistant, announcer, notification intake, meetings and hooks.
    struct Host {
        AssistantPrefs* prefs = nullptr;
        std::function<std::vector<Line>()> recent;  // newest first
        std::function<int()> waiting;               // events kept for later
        std::function<void()> sample;
        std::function<void()> catchUp;  // asked for: read even in quiet hours
        std::function<std::optional<std::u16string>()> speaking;
        std::function<void()> stop;
        // The notification intake can read what other apps show.
        std::function<bool()> notesAccess;
        std::function<void()> checkAgain;
        // Opens the system's place to grant reading them; null: there is none.
        std::function<void()> allowNotes;
        std::function<bool()> claudeConnected, shellConnected;
        // Each throws std::exception with the reason when the files cannot be changed.
        std::function<void()> connectClaude, disconnectClaude, connectShell, disconnectShell;
        std::function<bool()> calendarOn;
        // Asks for the calendar; done(granted) later on the main thread.
        std::function<void(std::function<void(bool)>)> requestCalendar;
        // Registers a call for whenever the shared objects change.
        std::function<void(std::function<void()>)> observe;
        // ChosenApps' sources; empty gives the standard ones.
        ChosenApps::Scan scan;
        ChosenApps::Seen seen;
    };

    explicit AssistantScreen(Host host, QWidget* parent = nullptr);
    // The screen over the application's shared objects.
    static Host standardHost(AppModel& app);
    // For the main window's section: AssistantScreen(standardHost(app)).
    static QWidget* make(AppModel& app, QWidget* parent);

    void refresh();
    static QString hour(int h);
    static QString secondsLabel(double v);
    static QString catchUpLabel(int waiting);
    static QString lineName(const Line& line);

    const std::optional<QString>& quietNow() const { return quietNow_; }
    const std::optional<QString>& problem() const { return problem_; }
    bool claudeOn() const { return claudeOn_; }
    bool shellOn() const { return shellOn_; }
    bool calendarOn() const { return calendarOn_; }
    Feature* row(const QString& name) const;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void build();
    void render();
    void hookButton(bool claude);
    void showProblem(const QString& text);

    Host host_;
    AssistantPrefs& prefs_;
    bool claudeOn_ = false, shellOn_ = false, calendarOn_ = false;
    std::optional<QString> quietNow_;
    std::optional<QString> problem_;
    QTimer* tick_ = nullptr;

    QCheckBox* on_ = nullptr;
    QPushButton* catchUp_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* quiet_ = nullptr;
    QLabel* saying_ = nullptr;
    Feature *messages_ = nullptr, *claude_ = nullptr, *terminal_ = nullptr, *meetings_ = nullptr;
    QWidget* notesButtons_ = nullptr;
    QPushButton* allowNotes_ = nullptr;
    QWidget* appOptions_ = nullptr;
    QCheckBox *readText_ = nullptr, *personVoices_ = nullptr;
    QPushButton *claudeButton_ = nullptr, *shellButton_ = nullptr;
    QCheckBox* whileLooking_ = nullptr;
    QComboBox* commandSeconds_ = nullptr;
    QCheckBox* meetingsSwitch_ = nullptr;
    QPushButton* allowCalendar_ = nullptr;
    QCheckBox *downloads_ = nullptr, *battery_ = nullptr, *devices_ = nullptr;
    QCheckBox *inCalls_ = nullptr, *inFocus_ = nullptr, *welcomeBack_ = nullptr, *quietHours_ = nullptr;
    QComboBox *quietFrom_ = nullptr, *quietTo_ = nullptr;
    QWidget* recentBox_ = nullptr;
    QVBoxLayout* recentLines_ = nullptr;
    QLabel* recentEmpty_ = nullptr;
};

}  // namespace tovan
