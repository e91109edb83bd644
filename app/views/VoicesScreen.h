#pragma once
// The voices section: pick the reading voice from the catalogue (filtered by
// gender, favourites, pitch or pace), mark favourites, hear a sample, choose
// a style preset and tune speed and the twelve prosody controls. Every edit
// goes through change(): a copy of the style is edited and published, then
// made audible at once: the reading re-renders from the heard sentence while
// it plays, otherwise the sample is previewed.

#include "Style.h"
#include "Voices.h"

#include <QWidget>

#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QToolButton;

namespace tovan {

class Chip;
class FlowChips;
class SliderRow;

class VoicesView : public QWidget {
    Q_OBJECT
public:
    struct Host {
        std::function<Style()> style;
        std::function<void(const Style&)> setStyle;  // publishes and saves
        Voices* voices = nullptr;
        std::function<bool()> readerPlaying;
        std::function<int64_t()> heard;
        std::function<void(int64_t)> renderFrom;
        // The reading speed the pace is heard at (the player bar's); null: 1.
        std::function<float()> readerSpeed;
        // The voice preview (Speaker::say).
        std::function<void(const std::u16string& text, const Style& style)> say;
    };

    struct ControlRow {
        std::u16string_view control, title, lo, hi;
    };
    static const std::array<std::u16string_view, 9> FILTERS;
    static const std::array<ControlRow, 4> MAIN_ROWS;
    static const std::array<ControlRow, 8> ADVANCED_ROWS;
    static constexpr std::u16string_view defaultSample =
        u"It's 10:30 on Tuesday, and the train to Boston leaves in 25 minutes. Don't forget your umbrella!";

    explicit VoicesView(Host host, QWidget* parent = nullptr);
    // The reading speed from the host, 1 without one.
    float readerSpeed() const;

    // The style or the reading speed changed elsewhere (or here): every shown
    // value follows.
    void styleChanged();

    // What the list shows for a filter: section titles ("" for none) with
    // their voices, in order.
    struct Section {
        std::u16string title;
        std::vector<Voices::Voice> voices;
    };
    static std::vector<Section> voiceList(const Voices& voices, std::u16string_view filter,
                                          const std::set<std::u16string>& favs);
    // Whether a voice passes a filter.
    static bool keeps(std::u16string_view filter, const Voices::Voice& v, const std::set<std::u16string>& favs);
    // "Natural" for exactly 0, else "%+.1f".
    static QString controlText(float v);
    // "%.2f×".
    static QString speedText(float pace);
    // To one decimal, halves away from zero.
    static float roundControl(double x);

    // Actions, as the controls do them.
    void change(const std::function<void(Style&)>& edit);
    void setFilter(std::u16string_view filter);
    void chooseVoice(const std::u16string& id);
    void toggleFavourite(const std::u16string& id);
    void play();

    const std::u16string& filter() const { return filter_; }
    std::u16string sample() const;
    const std::set<std::u16string>& favs() const { return favs_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    QWidget* buildList();
    QWidget* buildEditor();
    SliderRow* controlRow(const ControlRow& row, QWidget* parent);
    void fillList();
    void markVoices();

    Host host_;
    std::u16string filter_ = u"All";
    std::set<std::u16string> favs_;

    std::vector<Chip*> filterChips_;
    QListWidget* list_ = nullptr;
    QPlainTextEdit* sample_ = nullptr;
    QLabel* voiceLine_ = nullptr;
    FlowChips* presets_ = nullptr;
    SliderRow* speed_ = nullptr;
    std::vector<std::pair<int, SliderRow*>> controls_;  // control index, row
    QToolButton* advancedToggle_ = nullptr;
    QWidget* advanced_ = nullptr;
};

}  // namespace tovan
