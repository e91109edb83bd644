#include "Expression.h"

namespace tovan {
namespace Expression {

Mood::Table Mood::table(const Pairs& pairs, bool sum) {
    Table t;
    for (const auto& [key, value] : pairs) {
        auto it = t.ctrl.find(key);
        if (it == t.ctrl.end()) {
            t.keys.push_back(key);
            t.ctrl.emplace(key, value);
        } else if (sum) {
            it->second += value;
        } else {
            it->second = value;
        }
    }
    return t;
}

Mood::Mood(std::u16string name, std::optional<std::u16string> tag, std::u16string why, Table t)
    : name(std::move(name)), tag(std::move(tag)), why(std::move(why)), ctrl(std::move(t.ctrl)),
      ctrlKeys(std::move(t.keys)) {}

Mood::Mood(std::u16string name, std::optional<std::u16string> tag, std::u16string why,
           const Pairs& pairs)
    : Mood(std::move(name), std::move(tag), std::move(why), table(pairs, false)) {}

MoodRef Mood::make(std::u16string name, std::optional<std::u16string> tag, std::u16string why,
                   const Pairs& pairs) {
    return std::make_shared<const Mood>(std::move(name), std::move(tag), std::move(why), pairs);
}

Pairs Mood::pairs() const {
    Pairs out;
    out.reserve(ctrlKeys.size());
    for (const auto& key : ctrlKeys) out.emplace_back(key, ctrl.at(key));
    return out;
}

bool Mood::neutral() const { return !tag && ctrl.empty(); }

MoodRef Mood::plus(const std::u16string& addedWhy, const Pairs& added) const {
    Pairs all = pairs();
    all.insert(all.end(), added.begin(), added.end());
    std::u16string reason = why.empty() ? addedWhy : why + u"; " + addedWhy;
    return std::shared_ptr<const Mood>(new Mood(name, tag, std::move(reason), table(all, true)));
}

#define TOVAN_MOOD(fn, ...)                                     \
    const MoodRef& fn() {                                       \
        static const MoodRef mood = Mood::make(__VA_ARGS__);    \
        return mood;                                            \
    }

TOVAN_MOOD(NEUTRAL, u"neutral", std::nullopt, u"")
TOVAN_MOOD(URGENT, u"urgent", u"determined", u"urgent: faster, louder",
           {{u"rate", 0.8f}, {u"loud", 1.2f}, {u"f0_med", 0.5f}, {u"tilt", 0.8f}, {u"pause", -0.5f}})
TOVAN_MOOD(SAD, u"sad", u"sadness", u"sad news: slower, lower",
           {{u"rate", -0.6f}, {u"f0_med", -0.7f}, {u"f0_iqr", -0.7f}, {u"loud", -0.6f}})
TOVAN_MOOD(SORRY, u"sorry", u"apologetic", u"an apology: gentle",
           {{u"rate", -0.3f}, {u"f0_med", -0.4f}, {u"f0_iqr", -0.3f}, {u"loud", -0.4f}})
TOVAN_MOOD(WORRIED, u"worried", u"anxiety", u"worried: quicker, higher",
           {{u"rate", 0.4f}, {u"f0_med", 0.5f}, {u"f0_iqr", 0.6f}})
TOVAN_MOOD(ANNOYED, u"annoyed", u"irritation", u"annoyed: firm",
           {{u"loud", 0.6f}, {u"f0_iqr", 0.5f}, {u"rate", 0.3f}, {u"f0_end", -0.6f}})
TOVAN_MOOD(EXCITED, u"excited", u"excited", u"excited: livelier, faster",
           {{u"rate", 0.7f}, {u"loud", 0.9f}, {u"f0_iqr", 1.4f}, {u"f0_med", 0.9f}})
TOVAN_MOOD(AMUSED, u"amused", u"amusement", u"amused: playful",
           {{u"f0_iqr", 1.0f}, {u"f0_med", 0.5f}, {u"rate", 0.3f}})
TOVAN_MOOD(HAPPY, u"happy", u"happiness", u"happy: brighter",
           {{u"f0_iqr", 1.1f}, {u"f0_med", 0.6f}, {u"rate", 0.3f}, {u"tilt", 0.4f}})
TOVAN_MOOD(LOVING, u"loving", u"contentment", u"affectionate: warm",
           {{u"f0_iqr", 0.6f}, {u"h1h2", 0.6f}, {u"rate", -0.2f}})
TOVAN_MOOD(GRATEFUL, u"grateful", u"contentment", u"thankful: warm",
           {{u"f0_iqr", 0.8f}, {u"f0_med", 0.3f}})
TOVAN_MOOD(SECRET, u"secret", u"whisper", u"a secret: whispered")
TOVAN_MOOD(CALM, u"calm", u"serenity", u"calm",
           {{u"rate", -0.3f}, {u"f0_iqr", -0.5f}, {u"loud", -0.3f}})
TOVAN_MOOD(CONFIDENT, u"confident", u"confidence", u"clear",
           {{u"f0_med", -0.3f}, {u"loud", 0.3f}})

#undef TOVAN_MOOD

} // namespace Expression
} // namespace tovan
