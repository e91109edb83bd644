#pragma once
// The sheet that picks the apps whose notifications are read: every
// installed app with a switch, filtered by a search text over the names,
// those that have sent notifications on this machine first. Each switch
// takes effect at once; "Done" only closes the sheet.

#include "AssistantPrefs.h"
#include "InstalledApp.h"
#include "Notifications.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

namespace tovan {

class AppPickerSheet : public QDialog {
    Q_OBJECT
public:
    using Seen = std::function<std::vector<Notifications::SeenApp>()>;

    AppPickerSheet(std::vector<InstalledApp> installed, AssistantPrefs& prefs, Seen seen, QWidget* parent = nullptr);

    // The sections as shown: (title, apps) in order.
    struct Section {
        QString title;
        std::vector<InstalledApp> apps;
    };
    std::vector<Section> sections() const;
    // "N apps chosen", counting every installed app that is chosen.
    QString countText() const;
    QLineEdit* search() const { return search_; }
    QListWidget* list() const { return list_; }

private:
    void rebuild();
    void refreshStates();

    std::vector<InstalledApp> installed_;
    AssistantPrefs& prefs_;
    Seen seen_;
    QLineEdit* search_;
    QListWidget* list_;
    QLabel* count_;
};

}  // namespace tovan
