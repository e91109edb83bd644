#pragma once
// The reading list's rows, newest first, with a menu per row (play, play from
// the start, export, open the original page, remove) and the delete key.

#include <functional>
#include <optional>
#include <string>

#include <QListWidget>

#include "Doc.h"

namespace tovan {

class AppModel;
class Doc;
class ReadingState;
struct ViewHooks;

class DocList : public QListWidget {
    Q_OBJECT
public:
    DocList(AppModel& app, ReadingState& reading, ViewHooks& hooks, QWidget* parent = nullptr);

    // The id of the chosen row; writing it selects that row.
    std::optional<std::u16string> selected() const { return selected_; }
    void setSelected(std::optional<std::u16string> id);
    // Called after the user or the reading changed the selection.
    std::function<void()> onSelected;

    // Brings the rows up to date with the list, the playing entry and the
    // pace: rows whose values changed are redrawn in place; only when entries
    // come, go or move are the rows made again. The scroll position and the
    // selection survive either way.
    void refresh();
    // Stops the reading of the document when it is the current one, forgets
    // the selection of it, and deletes it from the library.
    void remove(const std::u16string& id);
    // The row menu of one entry (owned by the caller).
    QMenu* rowMenu(const std::u16string& id, QWidget* parent);
    // The list's delete action: the rows at these positions, as shown now.
    void removeRows(const std::vector<int>& rows);

private:
    std::shared_ptr<Doc> resolve(const std::u16string& id);
    // Everything a row shows, as one text.
    static QString rowKey(const Doc::Meta& meta, bool playing, float pace);
    void setRow(QListWidgetItem* entry, const Doc::Meta& meta, bool playing, float pace);

    AppModel& app_;
    ReadingState& reading_;
    ViewHooks& hooks_;
    std::optional<std::u16string> selected_;
    std::vector<QString> shownKeys_;  // what each row shows now
};

}  // namespace tovan
