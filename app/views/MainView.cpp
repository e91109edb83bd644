#include "MainView.h"

#include <algorithm>
#include <cmath>

#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ElidedLabel.h"
#include "ExportBar.h"
#include "LibraryView.h"
#include "ReadingState.h"
#include "SymbolIcon.h"
#include "TransportBar.h"
#include "ViewHooks.h"
#include "ViewStyle.h"

namespace tovan {
namespace {

constexpr int SECTION_ROLE = Qt::UserRole + 1;

struct Row {
    const char* group;
    AppModel::Section section;
    const char* symbol;
};
constexpr Row ROWS[] = {
    {"Listen", AppModel::Section::library, "books.vertical"},
    {"Listen", AppModel::Section::freeBooks, "building.columns"},
    {"Lumora", AppModel::Section::assistant, "bell.and.waves.left.and.right"},
    {"Lumora", AppModel::Section::voices, "person.wave.2"},
    {"Lumora", AppModel::Section::anywhere, "text.viewfinder"},
};

// The floating notice while a document is being opened: a rounded pill.
class Capsule : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(QPalette::Window));
        p.drawRoundedRect(rect(), height() / 2.0, height() / 2.0);
    }
};

}  // namespace

QString MainView::title(AppModel::Section section) {
    switch (section) {
        case AppModel::Section::library: return tr("Reading List");
        case AppModel::Section::freeBooks: return tr("Free Books");
        case AppModel::Section::assistant: return tr("Assistant");
        case AppModel::Section::voices: return tr("Voices");
        case AppModel::Section::anywhere: return tr("Read Anywhere");
    }
    return QString();
}

MainView::MainView(AppModel& app, ReadingState& reading, ViewHooks& hooks, QWidget* parent)
    : QWidget(parent), app_(app), reading_(reading), hooks_(hooks) {
    setObjectName(QStringLiteral("mainView"));
    setAcceptDrops(true);
    // Chosen rows in the accent's soft fill with accent text: rows drawn by
    // widgets of their own keep their text readable on it.
    QPalette tint = palette();
    tint.setColor(QPalette::Highlight, ViewStyle::accentSoft(this));
    tint.setColor(QPalette::HighlightedText, ViewStyle::accent(this));
    setPalette(tint);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("mainSplit"));
    split->setChildrenCollapsible(false);
    outer->addWidget(split);

    sidebar_ = new QTreeWidget(split);
    sidebar_->setObjectName(QStringLiteral("sidebar"));
    sidebar_->setHeaderHidden(true);
    sidebar_->setRootIsDecorated(false);
    sidebar_->setMinimumWidth(180);
    sidebar_->setMaximumWidth(260);
    QTreeWidgetItem* group = nullptr;
    for (const Row& r : ROWS) {
        if (!group || group->text(0) != QLatin1String(r.group)) {
            group = new QTreeWidgetItem(sidebar_, QStringList{tr(r.group)});
            group->setFlags(Qt::ItemIsEnabled);
            QFont f = group->font(0);
            f.setBold(true);
            group->setFont(0, f);
            group->setExpanded(true);
        }
        auto* item = new QTreeWidgetItem(group, QStringList{title(r.section)});
        item->setIcon(0, symbolIcon(QString::fromLatin1(r.symbol)));
        item->setData(0, SECTION_ROLE, static_cast<int>(r.section));
    }
    sidebar_->expandAll();
    connect(sidebar_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        const QVariant v = item ? item->data(0, SECTION_ROLE) : QVariant();
        if (v.isValid()) app_.setSection(static_cast<AppModel::Section>(v.toInt()));
    });

    auto* detail = new QWidget(split);
    detail->setObjectName(QStringLiteral("detail"));
    detail_ = new QVBoxLayout(detail);
    detail_->setContentsMargins(0, 0, 0, 0);
    detail_->setSpacing(0);
    exportBar_ = new ExportBar(detail);
    exportBar_->onCancel = [this] { reading_.cancelExport(); };
    transportBar_ = new TransportBar(app_, reading_, detail);
    detail_->addWidget(exportBar_);
    detail_->addWidget(transportBar_);
    split->addWidget(sidebar_);
    split->addWidget(detail);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 800});

    capsule_ = new Capsule(this);
    capsule_->setObjectName(QStringLiteral("openingCapsule"));
    capsule_->setProperty("floats", true);  // over the screen on purpose
    auto* pill = new QHBoxLayout(capsule_);
    pill->setContentsMargins(14, 8, 14, 8);
    pill->setSpacing(8);
    capsuleBar_ = new QProgressBar(capsule_);
    capsuleBar_->setObjectName(QStringLiteral("openingProgress"));
    capsuleBar_->setTextVisible(false);
    capsuleBar_->setFixedSize(100, 16);
    capsuleText_ = new ElidedLabel(capsule_);  // a long file name is elided in a narrow window
    capsuleText_->setObjectName(QStringLiteral("openingText"));
    capsulePercent_ = new QLabel(capsule_);
    capsulePercent_->setObjectName(QStringLiteral("openingPercent"));
    capsulePercent_->setFont(ViewStyle::monospacedDigits(capsulePercent_->font()));
    auto* cancel = new QPushButton(tr("Cancel"), capsule_);
    cancel->setObjectName(QStringLiteral("openingCancel"));
    cancel->setToolTip(tr("Stop adding this document (Esc)"));
    connect(cancel, &QPushButton::clicked, this, [this] { app_.cancelOpening(); });
    // Escape stops the adding while the capsule shows; the sheets and
    // alerts are windows of their own and keep their Escape.
    capsuleEscape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    capsuleEscape_->setObjectName(QStringLiteral("openingEscape"));
    capsuleEscape_->setContext(Qt::WindowShortcut);
    connect(capsuleEscape_, &QShortcut::activated, this, [this] { app_.cancelOpening(); });
    pill->addWidget(capsuleBar_);
    pill->addWidget(capsuleText_);
    pill->addWidget(capsulePercent_);
    pill->addWidget(cancel);
    capsule_->hide();

    connect(&app_, &AppModel::sectionChanged, this, &MainView::sectionChanged);
    connect(&app_, &AppModel::sheetChanged, this, &MainView::sheetChanged);
    connect(&app_, &AppModel::problemChanged, this, &MainView::problemChanged);
    connect(&app_, &AppModel::openingChanged, this, &MainView::openingChanged);
    connect(&app_, &AppModel::openingProgressChanged, this, &MainView::openingChanged);
    connect(&reading_, &ReadingState::exportChanged, this, &MainView::exportChanged);
    sectionChanged();
    exportChanged();
    openingChanged();
    sheetChanged();
    problemChanged();
}

MainView::~MainView() = default;

void MainView::sectionChanged() {
    const std::optional<AppModel::Section> section = app_.section();
    {
        const QSignalBlocker quiet(sidebar_);
        QTreeWidgetItem* chosen = nullptr;
        for (QTreeWidgetItemIterator it(sidebar_); *it; ++it) {
            const QVariant v = (*it)->data(0, SECTION_ROLE);
            if (section && v.isValid() && v.toInt() == static_cast<int>(*section)) chosen = *it;
        }
        sidebar_->setCurrentItem(chosen);
        sidebar_->clearSelection();
        if (chosen) chosen->setSelected(true);
    }
    // A nil section shows the reading list too, and keeps the same screen.
    const auto shows = [](std::optional<AppModel::Section> s) {
        return s.value_or(AppModel::Section::library);
    };
    if (shownSection_ && shows(*shownSection_) == shows(section)) {
        shownSection_ = section;
        return;
    }
    shownSection_ = section;
    if (screen_) {
        screen_->hide();
        screen_->deleteLater();  // the old screen's own state goes with it
    }
    QWidget* holder = exportBar_->parentWidget();
    const AppModel::Section s = shows(section);
    if (s == AppModel::Section::library) {
        screen_ = new LibraryView(app_, reading_, hooks_, holder);
    } else if (auto it = hooks_.screens.find(s); it != hooks_.screens.end() && it->second) {
        screen_ = it->second(app_, holder);
    } else {
        auto* placeholder = new QLabel(title(s), holder);
        placeholder->setAlignment(Qt::AlignCenter);
        screen_ = placeholder;
    }
    if (screen_->objectName().isEmpty()) screen_->setObjectName(QStringLiteral("screen"));
    detail_->insertWidget(0, screen_, 1);
    screen_->show();
}

void MainView::sheetChanged() {
    const std::optional<AppModel::Sheet> wanted = app_.sheet();
    if (sheet_ && sheetShown_ == wanted) return;
    if (sheet_) {
        QDialog* old = sheet_;
        sheet_ = nullptr;
        sheetShown_.reset();
        old->close();
        old->deleteLater();
    }
    if (!wanted) return;
    auto it = hooks_.sheets.find(*wanted);
    if (it == hooks_.sheets.end() || !it->second) return;
    auto* dialog = new QDialog(this);
    dialog->setObjectName(*wanted == AppModel::Sheet::link ? QStringLiteral("linkSheet") : QStringLiteral("textSheet"));
    dialog->setWindowModality(Qt::WindowModal);
    auto* box = new QVBoxLayout(dialog);
    QWidget* content = it->second(app_, [this] { app_.setSheet(std::nullopt); }, dialog);
    box->addWidget(content);
    // Closed by the window system too: the model forgets the sheet either way.
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        if (sheet_ == dialog) app_.setSheet(std::nullopt);
    });
    sheet_ = dialog;
    sheetShown_ = wanted;
    dialog->open();
}

void MainView::problemChanged() {
    const std::optional<QString>& problem = app_.problem();
    if (!problem) {
        if (alert_) {
            QMessageBox* old = alert_;
            alert_ = nullptr;
            old->close();
            old->deleteLater();
        }
        return;
    }
    if (alert_) {
        alert_->setText(*problem);
        return;
    }
    alert_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Lumora"), *problem, QMessageBox::Ok, this);
    alert_->setObjectName(QStringLiteral("problemAlert"));
    // Any way of closing the alert clears the problem.
    connect(alert_, &QMessageBox::finished, this, [this, box = alert_] {
        if (alert_ != box) return;
        alert_ = nullptr;
        box->deleteLater();
        app_.setProblem(std::nullopt);
    });
    alert_->open();
}

void MainView::openingChanged() {
    const std::optional<QString>& opening = app_.opening();
    capsule_->setVisible(opening.has_value());
    capsuleEscape_->setEnabled(opening.has_value());
    if (!opening) return;
    capsuleText_->setText(*opening);
    // A busy bar while the share done is unknown (a download), else the share.
    if (const std::optional<double> f = app_.openingProgress()) {
        capsuleBar_->setRange(0, 1000);
        capsuleBar_->setValue(static_cast<int>(std::lround(std::clamp(*f, 0.0, 1.0) * 1000)));
        capsulePercent_->setText(ExportBar::percent(*f));
        capsulePercent_->show();
    } else {
        capsuleBar_->setRange(0, 0);
        capsulePercent_->hide();
    }
    placeCapsule();
    capsule_->raise();
}

void MainView::placeCapsule() {
    capsule_->adjustSize();
    capsule_->resize(std::min(capsule_->width(), std::max(width() - 20, capsule_->minimumSizeHint().width())),
                     capsule_->height());
    capsule_->move((width() - capsule_->width()) / 2, 10);
}

void MainView::exportChanged() {
    const std::optional<QString> title = reading_.exportTitle();
    exportBar_->setVisible(title.has_value());
    if (title) exportBar_->setJob(*title, reading_.exportFraction());
}

void MainView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    placeCapsule();
}

void MainView::dragEnterEvent(QDragEnterEvent* e) {
    const QMimeData* m = e->mimeData();
    if (m->hasUrls() || m->hasText()) e->acceptProposedAction();
}

void MainView::dragMoveEvent(QDragMoveEvent* e) { e->acceptProposedAction(); }

void MainView::dropEvent(QDropEvent* e) {
    if (hooks_.drop) hooks_.drop(*e->mimeData());
    e->acceptProposedAction();  // accepted whatever the items held
}

}  // namespace tovan
