#include "DocList.h"

#include <QMenu>
#include <QScrollBar>
#include <QShortcut>

#include "Doc.h"
#include "DocRow.h"
#include "ReadingState.h"
#include "ViewHooks.h"
#include "core/AppModel.h"

namespace tovan {
namespace {
constexpr int ID_ROLE = Qt::UserRole + 1;
}

DocList::DocList(AppModel& app, ReadingState& reading, ViewHooks& hooks, QWidget* parent)
    : QListWidget(parent), app_(app), reading_(reading), hooks_(hooks) {
    setObjectName(QStringLiteral("docList"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setMinimumWidth(230);
    setMaximumWidth(320);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        const auto items = selectedItems();
        if (items.isEmpty()) return;
        selected_ = items.front()->data(ID_ROLE).toString().toStdU16String();
        if (onSelected) onSelected();
    });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QListWidgetItem* item = itemAt(at);
        if (!item) return;
        QMenu* menu = rowMenu(item->data(ID_ROLE).toString().toStdU16String(), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(viewport()->mapToGlobal(at));
    });
    auto* del = new QShortcut(QKeySequence::Delete, this, [this] {
        if (selected_) remove(*selected_);
    });
    del->setContext(Qt::WidgetShortcut);
    auto* backspace = new QShortcut(QKeySequence(Qt::Key_Backspace), this, [this] {
        if (selected_) remove(*selected_);
    });
    backspace->setContext(Qt::WidgetShortcut);
    refresh();
}

QString DocList::rowKey(const Doc::Meta& m, bool playing, float pace) {
    return QString::fromStdU16String(m.id) + QChar(0x1F) + QString::fromStdU16String(m.title) + QChar(0x1F) +
           QString::fromStdU16String(m.author) + QChar(0x1F) + QString::fromStdU16String(m.kind) + QChar(0x1F) +
           QString::number(m.pos) + QChar(0x1F) + QString::number(m.count) + QChar(0x1F) +
           QString::number(m.chars) + QChar(0x1F) + (m.done ? u'd' : u'-') + (playing ? u'p' : u'-') +
           QString::number(static_cast<double>(pace));
}

void DocList::refresh() {
    const std::shared_ptr<Doc> current = reading_.doc();
    const bool playing = reading_.playing();
    const float pace = reading_.speed() * app_.style().pace;
    const std::vector<Doc::Meta>& docs = app_.library.docs();
    std::vector<QString> keys;
    keys.reserve(docs.size());
    for (const Doc::Meta& m : docs) keys.push_back(rowKey(m, current && current->id == m.id && playing, pace));

    bool sameRows = shownKeys_.size() == keys.size();
    for (size_t i = 0; sameRows && i < docs.size(); ++i)
        sameRows = item(static_cast<int>(i))->data(ID_ROLE).toString() == QString::fromStdU16String(docs[i].id);

    const QSignalBlocker quiet(this);
    if (sameRows) {
        // The same entries in the same order (a position saved, play or
        // pause): only rows whose values changed get a new face, in place,
        // so the scroll position and the selection stay as they are.
        for (size_t i = 0; i < docs.size(); ++i) {
            if (keys[i] == shownKeys_[i]) continue;
            setRow(item(static_cast<int>(i)), docs[i], current && current->id == docs[i].id && playing, pace);
        }
        shownKeys_ = std::move(keys);
        return;
    }
    // Entries came, went or moved: the rows are made again, and the list
    // keeps its place and its selection.
    const int scrolled = verticalScrollBar()->value();
    clear();
    for (const Doc::Meta& m : docs) {
        auto* entry = new QListWidgetItem(this);
        entry->setData(ID_ROLE, QString::fromStdU16String(m.id));
        setRow(entry, m, current && current->id == m.id && playing, pace);
        if (selected_ && *selected_ == m.id) entry->setSelected(true);
    }
    verticalScrollBar()->setValue(scrolled);
    shownKeys_ = std::move(keys);
}

void DocList::setRow(QListWidgetItem* entry, const Doc::Meta& meta, bool playing, float pace) {
    auto* row = new DocRow(meta, playing, pace);
    entry->setSizeHint(row->sizeHint());
    setItemWidget(entry, row);  // the old face goes
}

void DocList::setSelected(std::optional<std::u16string> id) {
    selected_ = std::move(id);
    const QSignalBlocker quiet(this);
    clearSelection();
    for (int i = 0; i < count(); ++i)
        if (selected_ && item(i)->data(ID_ROLE).toString().toStdU16String() == *selected_) item(i)->setSelected(true);
}

std::shared_ptr<Doc> DocList::resolve(const std::u16string& id) { return app_.library.doc(id); }

void DocList::remove(const std::u16string& id) {
    if (auto current = reading_.doc(); current && current->id == id) reading_.close();
    if (selected_ && *selected_ == id) setSelected(std::nullopt);
    app_.library.remove(id);
    if (onSelected) onSelected();
}

void DocList::removeRows(const std::vector<int>& rows) {
    std::vector<std::u16string> ids;
    const auto& docs = app_.library.docs();
    for (int r : rows)
        if (r >= 0 && static_cast<size_t>(r) < docs.size()) ids.push_back(docs[static_cast<size_t>(r)].id);
    for (const auto& id : ids) remove(id);
}

QMenu* DocList::rowMenu(const std::u16string& id, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("docRowMenu"));
    std::u16string source;
    for (const Doc::Meta& m : app_.library.docs())
        if (m.id == id) source = m.source;
    QAction* play = menu->addAction(tr("Play"), this, [this, id] {
        if (auto doc = resolve(id)) reading_.play(doc, std::nullopt);
    });
    play->setObjectName(QStringLiteral("rowPlay"));
    QAction* start = menu->addAction(tr("Play from the Start"), this, [this, id] {
        if (auto doc = resolve(id)) reading_.play(doc, 0);
    });
    start->setObjectName(QStringLiteral("rowPlayFromStart"));
    QAction* save = menu->addAction(tr("Export Audio\u2026"), this, [this, id] {
        if (auto doc = resolve(id)) reading_.exportAudio(doc);
    });
    save->setObjectName(QStringLiteral("rowExport"));
    if (source.starts_with(u"http")) {
        QAction* original = menu->addAction(tr("Open Original"), this, [this, source] {
            const QUrl url(QString::fromStdU16String(source), QUrl::StrictMode);
            if (url.isValid() && hooks_.openUrl) hooks_.openUrl(url);
        });
        original->setObjectName(QStringLiteral("rowOpenOriginal"));
    }
    menu->addSeparator();
    QAction* removeAction = menu->addAction(tr("Remove from List"), this, [this, id] { remove(id); });
    removeAction->setObjectName(QStringLiteral("rowRemove"));
    return menu;
}

}  // namespace tovan
