#pragma once
// The user's way of speaking: voice, engine delivery tag, the twelve prosody
// controls, whether context may adjust it, and pace. Every synthesis call takes
// its tag, control text and pace from a Style (usually an adjusted copy of the
// user's). Saved as style.json.

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovan {

namespace Expression {
class Mood;
}

// A plain value: copying gives an independent style (copy() says so out loud
// at the places where a copy for one utterance is meant).
class Style {
public:
    static constexpr std::array<std::u16string_view, 12> CONTROLS{
        u"rate", u"loud", u"f0_med", u"f0_iqr", u"f0_end", u"pause",
        u"tilt", u"voiced", u"flat", u"centroid", u"cpps", u"h1h2"};
    static constexpr float LIMIT = 3.0f;
    static constexpr float DEFAULT_PACE = 1.1f;
    static constexpr float MIN_PACE = 0.7f;
    static constexpr float MAX_PACE = 1.6f;
    // The named styles offered to the user, in display order.
    static constexpr std::array<std::u16string_view, 8> STYLES{
        u"Natural", u"Calm", u"Warm", u"Happy", u"Excited", u"Serious", u"Sad", u"Whisper"};
    static constexpr std::array<std::u16string_view, 5> PRESETS{
        u"Happy", u"Whisper", u"Excited", u"Sad", u"Calm"};

    // Engine voice name; absent when none is chosen.
    std::optional<std::u16string> voice;
    // Engine delivery tag; "none" means no tag.
    std::u16string tag = u"none";
    // Control values (z-scores); z[i] belongs to CONTROLS[i].
    std::array<float, 12> z{};
    // Whether context styling may adjust this style.
    bool contextual = true;
    float pace = DEFAULT_PACE;
    // Name of the preset last applied.
    std::u16string preset = u"Natural";
    bool smooth = false;
    // How the style was arrived at, for people to read.
    std::u16string reason;

    Style() = default;
    Style copy() const { return *this; }

    // Adds to the named control, clamped to [-3, 3]; an unknown name is ignored.
    void add(std::u16string_view control, float offset);
    // Adds each of the mood's offsets in order; its tag is not used here.
    void add(const Expression::Mood& mood);
    void add(const std::shared_ptr<const Expression::Mood>& mood);  // null adds nothing
    // Into [-3, 3]; not-a-number gives 3.
    static float clamp(float v);

    // A copy with the named preset's tag and offsets added to its controls,
    // context styling off and a reason; this style is unchanged. (Named
    // withPreset because `preset` is the field.)
    Style withPreset(std::u16string_view name) const;
    // Makes this style the named preset (offsets become absolute values).
    void applyPreset(std::u16string_view name);

    // The engine's control text ("rate=0.40,f0_med=0.70"), absent when every
    // control is below 0.05 in magnitude.
    std::optional<std::u16string> ctrl() const;
    // tag, or absent when it is "none".
    std::optional<std::u16string> tagOrNull() const;

    nlohmann::json toJson() const;
    // Compact JSON with sorted keys; "{}" if it cannot be serialised.
    std::string jsonData() const;
    // The tolerant reader: wrong or missing keys take their defaults.
    static Style fromJson(const nlohmann::json& object);
    // Absent unless the bytes are JSON with an object at the top.
    static std::optional<Style> fromJsonData(std::string_view bytes);
    // A missing, unreadable or malformed file gives the default style.
    static Style load(const std::filesystem::path& file);
    // Writes atomically, creating the folder; true when the file was replaced.
    // On failure the previous file stays as it was.
    bool save(const std::filesystem::path& file) const;
};

} // namespace tovan
