#pragma once
// The Read Anywhere section: one Feature row per way of reaching the
// application from outside its window (selection, services, clipboard, play
// and pause, the tray window, speakers, saving as audio), each with whether it
// works now and the control that switches it on, sets it up or uses it.
// The screen owns two settings, "shortcuts" and "menuBarItem", and re-checks
// every 2 s, while it is shown, whether reading other applications'
// selections is possible.

#include "FeatureRow.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QPushButton;
class QTimer;

namespace tovan {

class SettingsStore;

class AnywhereView : public QWidget {
    Q_OBJECT
public:
    struct Host {
        std::shared_ptr<SettingsStore> defaults;   // "shortcuts", "menuBarItem"
        std::function<bool()> trusted;        // reading other apps' selection is possible
        std::function<void()> requestTrust;   // "Allow…": asks the user to make it possible
        std::function<void()> openShortcutSettings;
        std::function<void()> readClipboard;
        std::function<void()> registerHotkeys;  // rebuilds the global keys from "shortcuts"
        std::function<bool()> hasDoc;           // the reader has a current document
        std::function<void()> exportDoc;        // the save-as-audio job for it
        std::function<QWidget*(QWidget* parent)> routePicker;  // the audio output picker; may be empty
    };

    static constexpr int tickMs = 2000;

    explicit AnywhereView(Host host, QWidget* parent = nullptr);

    bool shortcuts() const;
    bool menuBarItem() const;
    bool trusted() const { return trusted_; }

    // The reader's current document changed.
    void docChanged();
    // The timer's work: trust is read again and the rows follow.
    void tick();

    Feature* row(int number) const { return rows_.at(static_cast<size_t>(number - 1)); }
    QTimer* timer() const { return timer_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void refresh();

    Host host_;
    bool trusted_;
    std::array<Feature*, 7> rows_{};
    QPushButton* allow_;
    QCheckBox* shortcutsSwitch_;
    QCheckBox* menuBarSwitch_;
    QPushButton* export_;
    QTimer* timer_;
};

}  // namespace tovan
