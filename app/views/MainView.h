#pragma once
// The content of the main window: a sidebar of the five sections and the
// chosen section's screen, with the export bar above the player bar under it.
// Over every section it shows the add sheet named by AppModel::sheet, the
// alert for AppModel::problem and the opening capsule for AppModel::opening
// (with how far the adding has come and Cancel, also Escape), and it takes
// files, links and text dropped on it.
//
// It keeps no state of its own: everything shown comes from the model and
// the reading, and every action writes to them.

#include <optional>

#include <QWidget>

#include "core/AppModel.h"

class QDialog;
class QLabel;
class QMessageBox;
class QProgressBar;
class QShortcut;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace tovan {

class ExportBar;
class ReadingState;
class TransportBar;
struct ViewHooks;

class MainView : public QWidget {
    Q_OBJECT
public:
    MainView(AppModel& app, ReadingState& reading, ViewHooks& hooks, QWidget* parent = nullptr);
    ~MainView() override;

    // The screen now in the detail column.
    QWidget* screen() const { return screen_; }
    // The section a sidebar row stands for, and its title.
    static QString title(AppModel::Section section);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void sectionChanged();
    void sheetChanged();
    void problemChanged();
    void openingChanged();
    void exportChanged();
    void placeCapsule();

    AppModel& app_;
    ReadingState& reading_;
    ViewHooks& hooks_;

    QTreeWidget* sidebar_;
    QVBoxLayout* detail_;
    QWidget* screen_ = nullptr;
    std::optional<std::optional<AppModel::Section>> shownSection_;  // the screen's section, once made
    ExportBar* exportBar_;
    TransportBar* transportBar_;
    QDialog* sheet_ = nullptr;
    std::optional<AppModel::Sheet> sheetShown_;
    QMessageBox* alert_ = nullptr;
    QWidget* capsule_;
    QProgressBar* capsuleBar_;
    QLabel* capsuleText_;
    QLabel* capsulePercent_;
    QShortcut* capsuleEscape_;
};

}  // namespace tovan
