#pragma once
// The application's windows: the main window ("main", titled "Lumora", with
// the menus), the settings window and the tray item with its popup window,
// present while "menuBarItem" is on (the default). Closing a window never
// ends the program.
#include <QMainWindow>
#include <QObject>

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace tovan {

class AppCommands;
class AppModel;
class Controls;
class SettingsStore;
class LoginItem;

// The main window: its content comes from the views; drops go to their hook.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* content, QWidget* parent = nullptr);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

class TovanTTSApp : public QObject {
    Q_OBJECT
public:
    struct Roads {
        std::function<QWidget*(QWidget* parent)> mainContent;  // the main view
        std::function<void()> openFiles, openLink, fromText, readSelection, readClipboard, quit;
    };
    TovanTTSApp(AppModel& app, Controls& controls, std::shared_ptr<SettingsStore> defaults,
                std::shared_ptr<LoginItem> login, Roads roads);
    ~TovanTTSApp() override;

    MainWindow* mainWindow() const { return main_; }
    void showSettings();
    QWidget* settingsWindow() const { return settings_; }
    // The program's version, as the build gives it.
    static QString version();
    // Shows or hides the tray item by "menuBarItem" (absent: shown).
    void refreshMenuBarItem();
    bool menuBarItemShown() const;
    // The tray's popup window, made on first use.
    QWidget* menuBarWindow();
    void toggleMenuBarWindow();

private:
    AppModel& app_;
    Controls& controls_;
    std::shared_ptr<SettingsStore> defaults_;
    std::shared_ptr<LoginItem> login_;
    Roads roads_;
    MainWindow* main_;
    AppCommands* commands_;
    QWidget* settings_ = nullptr;
    QWidget* popup_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
};

}  // namespace tovan
