#include "ChosenApps.h"

#include "AppPickerSheet.h"
#include "Chips.h"
#include "FlowLayout.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace tovan {

namespace {

QString qs(const std::u16string& s) { return QString::fromStdU16String(s); }

// One chosen app: a capsule on the soft accent, outlined in the accent.
class AppChip : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = r.height() / 2;
        p.setBrush(Theme::accentSoft().resolve(palette()));
        QColor line = Theme::accent().resolve(palette());
        line.setAlphaF(0.6f);
        p.setPen(QPen(line, 1));
        p.drawRoundedRect(r, radius, radius);
    }
};

}  // namespace

ChosenApps::ChosenApps(AssistantPrefs& prefs, Scan scan, Seen seen, QWidget* parent)
    : QWidget(parent),
      prefs_(prefs),
      scan_(scan ? std::move(scan) : Scan([] { return InstalledApp::all(); })),
      seen_(seen ? std::move(seen) : Seen([] { return Notifications::shared().seenApps(); })),
      flow_(new Flow(6, this)) {
    setObjectName(QStringLiteral("chosenApps"));
    connect(&prefs_, &AssistantPrefs::changed, this, &ChosenApps::rebuild);
    rebuild();
}

std::set<std::u16string> ChosenApps::without(const std::set<std::u16string>& apps, const std::u16string& id) {
    std::set<std::u16string> out;
    const QString low = qs(id);
    for (const auto& a : apps)
        if (qs(a).compare(low, Qt::CaseInsensitive) != 0)
            out.insert(a);
    return out;
}

std::vector<InstalledApp> ChosenApps::chosen() const {
    std::vector<InstalledApp> out;
    for (const auto& app : installed_)
        if (prefs_.appOn(app.id))
            out.push_back(app);
    return out;
}

QIcon ChosenApps::iconOf(const InstalledApp& app) {
    const QString name = qs(app.icon());
    if (name.startsWith(QLatin1Char('/')))
        return QIcon(name);
    if (!name.isEmpty() && QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return symbolIcon(QStringLiteral("app"));
}

void ChosenApps::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (installed_.empty()) {
        installed_ = scan_();
        rebuild();
    }
}

int ChosenApps::heightForWidth(int w) const { return flow_->heightForWidth(w); }

void ChosenApps::rebuild() {
    while (QLayoutItem* item = flow_->takeAt(0)) {
        if (QWidget* w = item->widget())
            w->deleteLater();
        delete item;
    }
    for (const auto& app : chosen()) {
        auto* chip = new AppChip(this);
        chip->setObjectName(QStringLiteral("appChip:") + qs(app.id));
        auto* row = new QHBoxLayout(chip);
        row->setContentsMargins(7, 4, 9, 4);
        row->setSpacing(6);
        auto* icon = new QLabel(chip);
        icon->setPixmap(iconOf(app).pixmap(18, 18));
        icon->setFixedSize(18, 18);
        auto* name = new QLabel(qs(app.name), chip);
        name->setFont(Theme::font(Theme::TextStyle::callout));
        auto* remove = new QToolButton(chip);
        remove->setObjectName(QStringLiteral("removeApp:") + qs(app.id));
        remove->setIcon(symbolIcon(QStringLiteral("xmark")));
        remove->setIconSize(QSize(10, 10));
        remove->setAutoRaise(true);
        remove->setToolTip(QStringLiteral("Stop reading ") + qs(app.name));
        const std::u16string id = app.id;
        connect(remove, &QToolButton::clicked, this, [this, id] { prefs_.setApps(without(prefs_.apps(), id)); });
        row->addWidget(icon);
        row->addWidget(name);
        row->addWidget(remove);
        flow_->addWidget(chip);
    }
    auto* add = new Chip(QStringLiteral("Add App…"), false, this);
    add->setObjectName(QStringLiteral("addApp"));
    add->setIcon(symbolIcon(QStringLiteral("plus")));
    connect(add, &Chip::clicked, this, &ChosenApps::openPicker);
    flow_->addWidget(add);
    updateGeometry();
}

void ChosenApps::openPicker() {
    if (picker_)
        return;
    picker_ = new AppPickerSheet(installed_, prefs_, seen_, this);
    picker_->setAttribute(Qt::WA_DeleteOnClose);
    connect(picker_, &QDialog::finished, this, [this] { picker_ = nullptr; });
    picker_->open();
}

}  // namespace tovan
