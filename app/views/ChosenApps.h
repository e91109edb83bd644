#pragma once
// The apps whose notifications are read, as a wrapping row of chips (icon,
// name, a remove button) followed by "Add App…", which opens the app picker.
// Only installed applications show; an identifier chosen but not installed
// stays in the setting untouched. The list of installed apps is scanned when
// the row first appears and kept for as long as the row exists.

#include "AssistantPrefs.h"
#include "InstalledApp.h"
#include "Notifications.h"

#include <QWidget>

#include <functional>
#include <set>
#include <vector>

namespace tovan {

class AppPickerSheet;
class Chip;
class Flow;

class ChosenApps : public QWidget {
    Q_OBJECT
public:
    using Scan = std::function<std::vector<InstalledApp>()>;
    using Seen = std::function<std::vector<Notifications::SeenApp>()>;

    // scan: InstalledApp::all when empty; seen: Notifications::shared()'s apps when empty.
    explicit ChosenApps(AssistantPrefs& prefs, Scan scan = {}, Seen seen = {}, QWidget* parent = nullptr);

    // The set without every entry equal to id when letter case is ignored.
    static std::set<std::u16string> without(const std::set<std::u16string>& apps, const std::u16string& id);
    // The installed apps that are chosen, in their order.
    std::vector<InstalledApp> chosen() const;
    const std::vector<InstalledApp>& installed() const { return installed_; }
    // The open picker, or null.
    AppPickerSheet* picker() const { return picker_; }
    void openPicker();
    // An app's icon from its desktop entry (theme name or file), scaled by the caller.
    static QIcon iconOf(const InstalledApp& app);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void rebuild();

    AssistantPrefs& prefs_;
    Scan scan_;
    Seen seen_;
    std::vector<InstalledApp> installed_;
    Flow* flow_;
    AppPickerSheet* picker_ = nullptr;
};

}  // namespace tovan
