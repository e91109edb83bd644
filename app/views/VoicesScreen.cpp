#include "VoicesScreen.h"

#include "AppModel.h"
#include "Chips.h"
#include "SliderRow.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace tovan {

const std::array<std::u16string_view, 9> VoicesView::FILTERS{
    u"All", u"Female", u"Male", u"Favourites", u"Deep", u"Warm", u"Bright", u"Relaxed", u"Brisk"};

const std::array<VoicesView::ControlRow, 4> VoicesView::MAIN_ROWS{{
    {u"f0_med", u"Pitch", u"Lower", u"Higher"},
    {u"f0_iqr", u"Expressiveness", u"Flatter", u"Livelier"},
    {u"loud", u"Loudness", u"Softer", u"Louder"},
    {u"f0_end", u"Endings", u"Fall", u"Rise"},
}};

const std::array<VoicesView::ControlRow, 8> VoicesView::ADVANCED_ROWS{{
    {u"rate", u"Speaking rate", u"Slower", u"Faster"},
    {u"tilt", u"Brightness", u"Darker", u"Brighter"},
    {u"h1h2", u"Breathiness", u"Pressed", u"Breathy"},
    {u"centroid", u"Timbre", u"Duller", u"Sharper"},
    {u"pause", u"Pauses", u"Fewer", u"More"},
    {u"voiced", u"Voicing", u"Less", u"More"},
    {u"flat", u"Steadiness", u"Varied", u"Steady"},
    {u"cpps", u"Clarity", u"Rougher", u"Clearer"},
}};

namespace {

QString qs(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

QLabel* headline(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(Theme::font(Theme::TextStyle::headline));
    return l;
}

void mute(QLabel* l) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Theme::secondary(p));
    l->setPalette(p);
}

int controlIndex(std::u16string_view name) {
    for (size_t i = 0; i < Style::CONTROLS.size(); ++i)
        if (Style::CONTROLS[i] == name) return static_cast<int>(i);
    return -1;
}

// One voice: check mark, name and caption, favourite star. A click on the
// row chooses the voice; a click on the star only toggles the favourite.
class VoiceRow : public QWidget {
public:
    VoiceRow(const Voices::Voice& v, std::function<void()> choose, std::function<void()> star, QWidget* parent)
        : QWidget(parent), choose_(std::move(choose)) {
        setObjectName("voice:" + qs(v.id));
        auto* h = new QHBoxLayout(this);
        h->setContentsMargins(6, 2, 6, 2);
        h->setSpacing(10);
        check_ = new QLabel(this);
        check_->setObjectName("check");
        check_->setFixedSize(18, 18);
        h->addWidget(check_);
        auto* col = new QVBoxLayout;
        col->setSpacing(0);
        name_ = new QLabel(qs(v.name), this);
        name_->setObjectName("name");
        auto* caption = new QLabel(qs(v.genderLabel() + u" \u00B7 " + v.describe()), this);
        caption->setObjectName("caption");
        caption->setFont(Theme::font(Theme::TextStyle::caption));
        mute(caption);
        col->addWidget(name_);
        col->addWidget(caption);
        h->addLayout(col, 1);
        star_ = new QToolButton(this);
        star_->setObjectName("star");
        star_->setAutoRaise(true);
        connect(star_, &QToolButton::clicked, this, std::move(star));
        h->addWidget(star_);
    }

    void mark(bool selected, bool favourite) {
        selected_ = selected;
        check_->setPixmap(symbolIcon(selected ? "checkmark.circle.fill" : "circle",
                                     selected ? Theme::accent().resolve(palette()) : Theme::secondary(palette()))
                              .pixmap(16, 16));
        check_->setProperty("selected", selected);
        QFont f = Theme::font(Theme::TextStyle::body);
        f.setWeight(selected ? QFont::DemiBold : QFont::Normal);
        name_->setFont(f);
        star_->setIcon(symbolIcon(favourite ? "star.fill" : "star",
                                  favourite ? QColor(0xFF, 0xCC, 0x00) : Theme::secondary(palette())));
        star_->setToolButtonStyle(Qt::ToolButtonIconOnly);
        star_->setToolTip(favourite ? "Remove from favourites" : "Add to favourites");
        star_->setProperty("favourite", favourite);
    }
    bool selected() const { return selected_; }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) choose_();
    }
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }

private:
    std::function<void()> choose_;
    QLabel* check_;
    QLabel* name_;
    QToolButton* star_;
    bool selected_ = false;
};

}  // namespace

bool VoicesView::keeps(std::u16string_view filter, const Voices::Voice& v, const std::set<std::u16string>& favs) {
    static const std::u16string femaleLabel = Voices::Voice{u"", u"female", u"", u"", u""}.genderLabel();
    if (filter == u"Female") return v.genderLabel() == femaleLabel;
    if (filter == u"Male") return v.gender == u"male";
    if (filter == u"Favourites") return favs.count(v.id) > 0;
    if (filter == u"Deep") return v.pitch == u"low";
    if (filter == u"Warm") return v.pitch != u"low" && v.pitch != u"high";
    if (filter == u"Bright") return v.pitch == u"high";
    if (filter == u"Relaxed") return v.pace == u"slow";
    if (filter == u"Brisk") return v.pace == u"fast";
    return true;  // "All" and anything else
}

std::vector<VoicesView::Section> VoicesView::voiceList(const Voices& voices, std::u16string_view filter,
                                                       const std::set<std::u16string>& favs) {
    std::vector<Voices::Voice> shown;
    for (const Voices::Voice& v : voices.order())
        if (keeps(filter, v, favs)) shown.push_back(v);
    if (filter != u"All") return {{u"", std::move(shown)}};
    std::vector<Voices::Voice> rest;
    for (auto& v : shown) {
        bool featured = false;
        for (auto id : Voices::FEATURED) featured = featured || v.id == id;
        if (!featured) rest.push_back(std::move(v));
    }
    return {{u"Featured", voices.featured()}, {u"All voices", std::move(rest)}};
}

QString VoicesView::controlText(float v) {
    if (v == 0) return "Natural";
    return QString::asprintf("%+.1f", static_cast<double>(v));
}

float VoicesView::readerSpeed() const {
    const float k = host_.readerSpeed ? host_.readerSpeed() : 1.0f;
    return k > 0 && std::isfinite(k) ? k : 1.0f;
}

QString VoicesView::speedText(float pace) {
    return QString::asprintf("%.2f", static_cast<double>(pace)) + QString::fromUtf16(u"\u00D7");
}

float VoicesView::roundControl(double x) {
    return static_cast<float>(std::round(x * 10) / 10);
}

VoicesView::VoicesView(Host host, QWidget* parent) : QWidget(parent), host_(std::move(host)) {
    setObjectName("voicesScreen");
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName("panes");
    split->setChildrenCollapsible(false);
    split->addWidget(buildList());
    split->addWidget(buildEditor());
    split->setStretchFactor(1, 1);
    split->setSizes({330, 600});
    h->addWidget(split);
    fillList();
    styleChanged();
}

QWidget* VoicesView::buildList() {
    auto* pane = new QWidget(this);
    pane->setObjectName("voiceListPane");
    pane->setMinimumWidth(280);
    pane->setMaximumWidth(420);
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    auto* scroll = new QScrollArea(pane);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* row = new QWidget(scroll);
    auto* rh = new QHBoxLayout(row);
    rh->setContentsMargins(10, 10, 10, 10);
    rh->setSpacing(6);
    for (std::u16string_view f : FILTERS) {
        const QString text = f == u"Favourites" ? QString::fromUtf16(u"\u2605 Favourites") : qs(f);
        auto* chip = new Chip(text, f == filter_, row);
        chip->setObjectName("filter:" + qs(f));
        connect(chip, &QAbstractButton::clicked, this, [this, f] { setFilter(f); });
        rh->addWidget(chip);
        filterChips_.push_back(chip);
    }
    rh->addStretch(1);
    scroll->setWidget(row);
    scroll->setFixedHeight(row->sizeHint().height() + 2);
    v->addWidget(scroll);
    auto* line = new QFrame(pane);
    line->setFrameShape(QFrame::HLine);
    v->addWidget(line);
    list_ = new QListWidget(pane);
    list_->setObjectName("voices");
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFrameShape(QFrame::NoFrame);
    v->addWidget(list_, 1);
    return pane;
}

SliderRow* VoicesView::controlRow(const ControlRow& row, QWidget* parent) {
    const int i = controlIndex(row.control);
    auto* s = new SliderRow(qs(row.title), qs(row.lo), qs(row.hi), 0, -3.0, 3.0, controlText(0),
                            [this, i](double x) { change([i, x](Style& st) { st.z[i] = roundControl(x); }); },
                            parent);
    s->setObjectName("slider:" + qs(row.control));
    controls_.emplace_back(i, s);
    return s;
}

QWidget* VoicesView::buildEditor() {
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("editorPane");
    scroll->setMinimumWidth(380);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* outer = new QWidget(scroll);
    auto* oh = new QHBoxLayout(outer);
    oh->setContentsMargins(28, 28, 28, 28);
    auto* column = new QWidget(outer);
    column->setMaximumWidth(640);
    oh->addWidget(column, 1);
    oh->addStretch(0);
    auto* v = new QVBoxLayout(column);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(22);

    // Try it.
    auto* tryIt = new QVBoxLayout;
    tryIt->setSpacing(8);
    tryIt->addWidget(headline("Try it", column));
    auto* sampleRow = new QHBoxLayout;
    sample_ = new QPlainTextEdit(qs(defaultSample), column);
    sample_->setObjectName("sample");
    sample_->setPlaceholderText("Something to hear");
    const int line = QFontMetrics(sample_->font()).lineSpacing();
    sample_->setMinimumHeight(line * 2 + 12);
    sample_->setMaximumHeight(line * 4 + 12);
    sampleRow->addWidget(sample_, 1, Qt::AlignTop);
    auto* playButton = new QPushButton(symbolIcon("play.fill"), "Play", column);
    playButton->setObjectName("play");
    playButton->setDefault(true);
    connect(playButton, &QPushButton::clicked, this, &VoicesView::play);
    sampleRow->addWidget(playButton, 0, Qt::AlignTop);
    tryIt->addLayout(sampleRow);
    voiceLine_ = new QLabel(column);
    voiceLine_->setObjectName("voiceLine");
    voiceLine_->setFont(Theme::font(Theme::TextStyle::callout));
    mute(voiceLine_);
    tryIt->addWidget(voiceLine_);
    v->addLayout(tryIt);

    // Style.
    auto* styleBox = new QVBoxLayout;
    styleBox->setSpacing(8);
    styleBox->addWidget(headline("Style", column));
    QStringList names;
    for (auto s : Style::STYLES) names << qs(s);
    presets_ = new FlowChips(names, {}, [this](const QString& name) {
        const std::u16string n = name.toStdU16String();
        change([n](Style& s) { s.applyPreset(n); });
    }, column);
    presets_->setObjectName("presets");
    styleBox->addWidget(presets_);
    v->addLayout(styleBox);

    // Delivery.
    auto* delivery = new QVBoxLayout;
    delivery->setSpacing(14);
    delivery->addWidget(headline("Delivery", column));
    speed_ = new SliderRow("Speed", "Slower", "Faster", Style::DEFAULT_PACE, Style::MIN_PACE, Style::MAX_PACE,
                           speedText(Style::DEFAULT_PACE),
                           [this](double x) {
                               // The row shows the heard rate (pace times the reading
                               // speed, the player bar's figure); the style keeps the pace.
                               const float k = readerSpeed();
                               change([x, k](Style& s) { s.pace = static_cast<float>(x) / k; });
                           },
                           column);
    speed_->setObjectName("slider:speed");
    delivery->addWidget(speed_);
    for (const ControlRow& r : MAIN_ROWS) delivery->addWidget(controlRow(r, column));
    advancedToggle_ = new QToolButton(column);
    advancedToggle_->setObjectName("advanced");
    advancedToggle_->setText("Advanced");
    advancedToggle_->setCheckable(true);
    advancedToggle_->setChecked(false);
    advancedToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    advancedToggle_->setArrowType(Qt::RightArrow);
    advancedToggle_->setAutoRaise(true);
    delivery->addWidget(advancedToggle_);
    advanced_ = new QWidget(column);
    advanced_->setObjectName("advancedRows");
    auto* av = new QVBoxLayout(advanced_);
    av->setContentsMargins(0, 10, 0, 0);
    av->setSpacing(14);
    for (const ControlRow& r : ADVANCED_ROWS) av->addWidget(controlRow(r, advanced_));
    advanced_->setVisible(false);
    connect(advancedToggle_, &QToolButton::toggled, this, [this](bool on) {
        advancedToggle_->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
        advanced_->setVisible(on);
    });
    delivery->addWidget(advanced_);
    auto* resetRow = new QHBoxLayout;
    resetRow->addStretch(1);
    auto* reset = new QPushButton("Reset Delivery", column);
    reset->setObjectName("resetDelivery");
    connect(reset, &QPushButton::clicked, this, [this] {
        change([](Style& s) {
            s.z.fill(0);
            s.pace = Style::DEFAULT_PACE;
        });
    });
    resetRow->addWidget(reset);
    delivery->addLayout(resetRow);
    v->addLayout(delivery);
    v->addStretch(1);

    scroll->setWidget(outer);
    return scroll;
}

void VoicesView::fillList() {
    std::vector<QWidget*> rows;
    for (int i = 0; i < list_->count(); ++i)
        if (QWidget* w = list_->itemWidget(list_->item(i))) rows.push_back(w);
    list_->clear();
    for (QWidget* w : rows) delete w;
    if (!host_.voices) return;
    for (const Section& sec : voiceList(*host_.voices, filter_, favs_)) {
        if (!sec.title.empty()) {
            auto* item = new QListWidgetItem(qs(sec.title), list_);
            item->setFlags(Qt::NoItemFlags);
            QFont f = Theme::font(Theme::TextStyle::caption);
            f.setWeight(QFont::DemiBold);
            item->setFont(f);
            item->setData(Qt::UserRole, "section");
        }
        for (const Voices::Voice& v : sec.voices) {
            auto* item = new QListWidgetItem(list_);
            const std::u16string id = v.id;
            auto* row = new VoiceRow(v, [this, id] { chooseVoice(id); }, [this, id] { toggleFavourite(id); }, list_);
            item->setSizeHint(row->sizeHint());
            item->setData(Qt::UserRole, QString("voice"));
            list_->setItemWidget(item, row);
        }
    }
    markVoices();
}

void VoicesView::markVoices() {
    const std::u16string selected = AppModel::engineVoice(host_.style ? host_.style().voice : std::nullopt);
    for (int i = 0; i < list_->count(); ++i) {
        auto* row = dynamic_cast<VoiceRow*>(list_->itemWidget(list_->item(i)));
        if (!row) continue;
        const std::u16string id = row->objectName().mid(6).toStdU16String();
        row->mark(id == selected, favs_.count(id) > 0);
    }
}

void VoicesView::styleChanged() {
    const Style st = host_.style ? host_.style() : Style();
    if (host_.voices)
        voiceLine_->setText(qs(host_.voices->nameOf(AppModel::engineVoice(st.voice)) + u" \u00B7 " + st.preset));
    presets_->setSelected(qs(st.preset));
    const float heard = st.pace * readerSpeed();
    speed_->setValue(heard, speedText(heard));
    for (auto& [i, row] : controls_) row->setValue(st.z[i], controlText(st.z[i]));
    markVoices();
}

void VoicesView::change(const std::function<void(Style&)>& edit) {
    Style copy = host_.style ? host_.style().copy() : Style();
    edit(copy);
    if (host_.setStyle) host_.setStyle(copy);
    styleChanged();
    const bool playing = host_.readerPlaying && host_.readerPlaying();
    if (playing && host_.renderFrom) host_.renderFrom(host_.heard ? host_.heard() : 0);
    // Read again: re-rendering may not keep the reading going.
    const bool stillPlaying = host_.readerPlaying && host_.readerPlaying();
    if (!stillPlaying && host_.say) host_.say(sample(), copy);
}

void VoicesView::setFilter(std::u16string_view filter) {
    filter_ = std::u16string(filter);
    for (size_t i = 0; i < filterChips_.size(); ++i) filterChips_[i]->setOn(FILTERS[i] == filter_);
    fillList();
}

void VoicesView::chooseVoice(const std::u16string& id) {
    change([id](Style& s) { s.voice = id; });
}

void VoicesView::toggleFavourite(const std::u16string& id) {
    if (!host_.voices) return;
    host_.voices->toggleFavourite(id);
    favs_ = host_.voices->favourites();
    markVoices();
    // Under the Favourites filter the rows follow the set; the row whose star
    // was clicked is still running its handler, so the list is rebuilt after.
    if (filter_ == u"Favourites") QTimer::singleShot(0, this, &VoicesView::fillList);
}

void VoicesView::play() {
    if (host_.say) host_.say(sample(), host_.style ? host_.style() : Style());
}

std::u16string VoicesView::sample() const {
    return sample_->toPlainText().toStdU16String();
}

void VoicesView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (host_.voices) favs_ = host_.voices->favourites();
    // With the Favourites filter the rows themselves depend on the set.
    if (filter_ == u"Favourites")
        fillList();
    else
        markVoices();
}

}  // namespace tovan
