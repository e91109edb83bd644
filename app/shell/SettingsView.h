#pragma once
// The settings window: General (login item, auto-advance, natural narration,
// expressiveness, character voices, text size) and About. Every control
// writes through at once: to the reading controls, to the user's settings
// ("autoNext", "readingSize") or to the login item.
#include <QTabWidget>

#include <memory>

class QCheckBox;
class QSlider;

namespace tovan {

class Controls;
class SettingsStore;
class LoginItem;

class SettingsView : public QTabWidget {
    Q_OBJECT
public:
    SettingsView(Controls& controls, std::shared_ptr<SettingsStore> defaults, LoginItem& login, QString version,
                 QWidget* parent = nullptr);

    // "Version 1.2", or "Version dev" without a version.
    static QString versionLine(const QString& version);
    // Shows the stored value of a setting written elsewhere (the reader's
    // text size buttons).
    void settingChanged(const QString& key);

private:
    void loginChanged(bool on);
    Controls& controls_;
    std::shared_ptr<SettingsStore> defaults_;
    LoginItem& login_;
    QCheckBox* atLogin_;
    QCheckBox* autoNext_;
    QSlider* size_;
};

}  // namespace tovan
