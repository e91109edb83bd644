#include "AppPickerSheet.h"

#include "ChosenApps.h"
#include "Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <set>

namespace tovan {

namespace {
QString qs(const std::u16string& s) { return QString::fromStdU16String(s); }
}  // namespace

AppPickerSheet::AppPickerSheet(std::vector<InstalledApp> installed, AssistantPrefs& prefs, Seen seen, QWidget* parent)
    : QDialog(parent), installed_(std::move(installed)), prefs_(prefs), seen_(std::move(seen)) {
    setObjectName(QStringLiteral("appPicker"));
    setModal(true);
    setFixedWidth(480);
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(20, 20, 20, 20);
    col->setSpacing(12);
    auto* title = new QLabel(QStringLiteral("Which apps should Lumora read?"), this);
    QFont f = Theme::font(Theme::TextStyle::headline);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    f.setWeight(QFont::DemiBold);
    title->setFont(f);
    auto* explain = new QLabel(QStringLiteral("Their notifications are said as they arrive: messages in the sender's "
                                              "voice and mood, calls at once. Apps that have sent notifications on "
                                              "this computer come first."),
                               this);
    explain->setWordWrap(true);
    explain->setMinimumHeight(explain->heightForWidth(480 - 40));  // all its lines at the sheet's one width
    QPalette pal = explain->palette();
    pal.setColor(QPalette::WindowText, Theme::secondary(palette()));
    explain->setPalette(pal);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("appSearch"));
    search_->setPlaceholderText(QStringLiteral("Search apps"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("appList"));
    list_->setFixedHeight(380);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    auto* footer = new QHBoxLayout();
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("chosenCount"));
    count_->setPalette(pal);
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("pickerDone"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    footer->addWidget(count_);
    footer->addStretch();
    footer->addWidget(done);
    col->addWidget(title);
    col->addWidget(explain);
    col->addWidget(search_);
    col->addWidget(list_);
    col->addLayout(footer);
    connect(search_, &QLineEdit::textChanged, this, &AppPickerSheet::rebuild);
    // A switch's own change must not rebuild the list under it: only states change.
    connect(&prefs_, &AssistantPrefs::changed, this, &AppPickerSheet::refreshStates);
    rebuild();
}

std::vector<AppPickerSheet::Section> AppPickerSheet::sections() const {
    // A notification names its app by desktop id or, from many Linux apps,
    // only by the name the user sees: either puts the app first.
    std::set<QString> seenIds, seenNames;
    if (seen_)
        for (const auto& a : seen_()) {
            seenIds.insert(qs(a.id).toLower());
            if (!a.name.empty())
                seenNames.insert(qs(a.name).toLower());
        }
    const QString query = search_->text();
    std::vector<InstalledApp> noted, others;
    for (const auto& app : installed_) {
        if (!query.isEmpty() && !qs(app.name).contains(query, Qt::CaseInsensitive))
            continue;
        const bool sent = seenIds.count(qs(app.id).toLower()) || seenNames.count(qs(app.name).toLower());
        (sent ? noted : others).push_back(app);
    }
    if (noted.empty())
        return {{QStringLiteral("Apps"), others}};
    return {{QStringLiteral("Sends notifications"), noted}, {QStringLiteral("Other apps"), others}};
}

QString AppPickerSheet::countText() const {
    int n = 0;
    for (const auto& app : installed_)
        n += prefs_.appOn(app.id) ? 1 : 0;
    return QString::number(n) + QStringLiteral(" apps chosen");
}

void AppPickerSheet::rebuild() {
    list_->clear();
    for (const auto& section : sections()) {
        auto* head = new QListWidgetItem(section.title, list_);
        head->setFlags(Qt::NoItemFlags);
        QFont f = head->font();
        f.setBold(true);
        head->setFont(f);
        for (const auto& app : section.apps) {
            auto* item = new QListWidgetItem(list_);
            auto* row = new QWidget(list_);
            row->setObjectName(QStringLiteral("appRow:") + qs(app.id));
            auto* h = new QHBoxLayout(row);
            h->setContentsMargins(4, 2, 4, 2);
            h->setSpacing(10);
            auto* icon = new QLabel(row);
            icon->setPixmap(ChosenApps::iconOf(app).pixmap(24, 24));
            icon->setFixedSize(24, 24);
            auto* name = new QLabel(qs(app.name), row);
            auto* toggle = new QCheckBox(row);
            toggle->setObjectName(QStringLiteral("appSwitch:") + qs(app.id));
            toggle->setChecked(prefs_.appOn(app.id));
            const std::u16string id = app.id;
            connect(toggle, &QCheckBox::toggled, this, [this, id](bool on) {
                if (on) {
                    auto apps = prefs_.apps();
                    apps.insert(id);
                    prefs_.setApps(std::move(apps));
                } else {
                    prefs_.setApps(ChosenApps::without(prefs_.apps(), id));
                }
            });
            h->addWidget(icon);
            h->addWidget(name);
            h->addStretch();
            h->addWidget(toggle);
            item->setSizeHint(row->sizeHint());
            list_->setItemWidget(item, row);
        }
    }
    count_->setText(countText());
}

void AppPickerSheet::refreshStates() {
    for (const auto& app : installed_)
        if (auto* toggle = list_->findChild<QCheckBox*>(QStringLiteral("appSwitch:") + qs(app.id))) {
            const QSignalBlocker quiet(toggle);
            toggle->setChecked(prefs_.appOn(app.id));
        }
    count_->setText(countText());
}

}  // namespace tovan
