#include "SettingsView.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "BrandMark.h"
#include "Controls.h"
#include "SettingsStore.h"
#include "LoginItem.h"
#include "SymbolIcon.h"

namespace tovan {
namespace {

// The words of a switch: wrapped, and a click on them flips the switch.
class ToggleText : public QLabel {
public:
    ToggleText(const QString& text, QCheckBox* box, QWidget* parent) : QLabel(text, parent), box_(box) {
        setWordWrap(true);
        setTextFormat(Qt::PlainText);
        setBuddy(box);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && box_->isEnabled())
            box_->toggle();
        QLabel::mouseReleaseEvent(e);
    }

private:
    QCheckBox* box_;
};

}  // namespace

void SettingsView::settingChanged(const QString& key) {
    if (key == QLatin1String("autoNext")) {
        const QSignalBlocker quiet(autoNext_);
        autoNext_->setChecked(defaults_->getBool("autoNext").value_or(true));
    } else if (key == QLatin1String("readingSize")) {
        const double v = defaults_->getDouble("readingSize").value_or(19.0);
        const QSignalBlocker quiet(size_);
        size_->setValue(static_cast<int>(std::lround(std::clamp(std::isfinite(v) ? v : 19.0, 14.0, 30.0))));
    }
}

QString SettingsView::versionLine(const QString& version) {
    return QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("dev") : version);
}

SettingsView::SettingsView(Controls& controls, std::shared_ptr<SettingsStore> defaults, LoginItem& login,
                           QString version, QWidget* parent)
    : QTabWidget(parent), controls_(controls), defaults_(std::move(defaults)), login_(login) {
    setObjectName("settingsView");
    // 480 wide; as tall as the longer tab needs (at least 300), so no text
    // is cut off in the desktop's font.
    setFixedWidth(480);
    setMinimumHeight(300);

    auto* general = new QWidget(this);
    auto* form = new QFormLayout(general);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    // A switch whose text wraps: a check box cannot, so its words sit in a
    // label beside it that toggles it too.
    auto toggle = [&](const QString& name, const QString& text) {
        auto* row = new QWidget(general);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(6);
        auto* box = new QCheckBox(row);
        box->setObjectName(name);
        box->setAccessibleName(text);
        auto* words = new ToggleText(text, box, row);
        words->setObjectName(name + "Text");
        h->addWidget(box, 0, Qt::AlignTop);
        h->addWidget(words, 1);
        form->addRow(row);
        return box;
    };
    atLogin_ = toggle("atLoginToggle", tr("Open at login (in the panel)"));
    auto* autoNext = toggle("autoNextToggle", tr("Play the next document in the reading list"));
    auto* natural = toggle("naturalToggle", tr("Natural narration (read as narrators perform: pace, pitch, endings "
                                               "and pauses planned across sentences)"));
    auto* expressiveness = new QSlider(Qt::Horizontal, general);
    expressiveness->setObjectName("expressivenessSlider");
    expressiveness->setRange(3, 10);  // tenths: 0.3 … 1.0 in steps of 0.1
    form->addRow(tr("Expressiveness"), expressiveness);
    auto* dialogue = toggle("dialogueVoiceToggle", tr("Character voices (dialogue in a second voice, characters in "
                                                      "voices of their own)"));
    auto* size = new QSlider(Qt::Horizontal, general);
    size->setObjectName("readingSizeSlider");
    size->setRange(14, 30);
    form->addRow(tr("Reading text size"), size);
    addTab(general, symbolIcon("gearshape"), tr("General"));

    atLogin_->setChecked(login_.enabled());
    connect(atLogin_, &QCheckBox::toggled, this, [this](bool on) { loginChanged(on); });
    autoNext_ = autoNext;
    size_ = size;
    settingChanged(QStringLiteral("autoNext"));
    settingChanged(QStringLiteral("readingSize"));
    connect(autoNext, &QCheckBox::toggled, this, [this](bool on) { defaults_->setBool("autoNext", on); });
    connect(size, &QSlider::valueChanged, this, [this](int v) { defaults_->setDouble("readingSize", v); });

    // The reading settings live in the controls; show their values as they change.
    auto show = [this, natural, expressiveness, dialogue] {
        const QSignalBlocker a(natural), b(expressiveness), c(dialogue);
        natural->setChecked(controls_.natural());
        expressiveness->setValue(static_cast<int>(std::lround(controls_.expressiveness() * 10.0f)));
        expressiveness->setEnabled(controls_.natural());
        dialogue->setChecked(controls_.dialogueVoice());
    };
    show();
    connect(&controls_, &Controls::changed, this, show);
    connect(natural, &QCheckBox::toggled, this, [this](bool on) { controls_.setNatural(on); });
    connect(expressiveness, &QSlider::valueChanged, this,
            [this](int tenths) { controls_.setExpressiveness(static_cast<float>(tenths) / 10.0f); });
    connect(dialogue, &QCheckBox::toggled, this, [this](bool on) { controls_.setDialogueVoice(on); });

    auto* about = new QWidget(this);
    auto* v = new QVBoxLayout(about);
    v->setContentsMargins(24, 24, 24, 24);
    v->setSpacing(12);
    v->setAlignment(Qt::AlignHCenter);
    v->addWidget(new AppBadge(72, about), 0, Qt::AlignHCenter);
    auto* name = new QLabel("Lumora", about);
    name->setObjectName("productName");
    QFont f = name->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setWeight(QFont::DemiBold);
    name->setFont(f);
    v->addWidget(name, 0, Qt::AlignHCenter);
    auto* versionLabel = new QLabel(versionLine(version), about);
    versionLabel->setObjectName("versionLabel");
    v->addWidget(versionLabel, 0, Qt::AlignHCenter);
    auto* blurb = new QLabel(tr("A voice that runs on this computer: books, articles and anything you select, read "
                                "aloud with no account and nothing sent anywhere."),
                             about);
    blurb->setObjectName("aboutText");
    blurb->setWordWrap(true);
    blurb->setAlignment(Qt::AlignCenter);
    blurb->setFixedWidth(360);
    blurb->setForegroundRole(QPalette::PlaceholderText);
    v->addWidget(blurb, 0, Qt::AlignHCenter);
    auto* link = new QLabel(QStringLiteral("<a href=\"https://tovantts.org\">tovantts.org</a>"), about);
    link->setObjectName("siteLink");
    link->setOpenExternalLinks(true);
    v->addWidget(link, 0, Qt::AlignHCenter);
    addTab(about, symbolIcon("info.circle"), tr("About"));
    setFixedHeight(std::max(300, sizeHint().height()));
}

void SettingsView::loginChanged(bool on) {
    const bool ok = on ? login_.enable() : login_.disable();
    // A refused change shows the real state; that correction runs this once
    // more, and a second refusal leaves the box where it is.
    if (!ok) atLogin_->setChecked(login_.enabled());
}

}  // namespace tovan
