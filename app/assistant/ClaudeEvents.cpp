#include "ClaudeEvents.h"

namespace tovan::ClaudeEvents {

const Expression::MoodRef& attentive() {
    static const Expression::MoodRef m = Expression::Mood::make(
        u"attentive", u"interest", u"needs you: clear, rising", {{u"f0_end", 0.8f}, {u"loud", 0.4f}, {u"rate", 0.2f}});
    return m;
}

const Expression::MoodRef& done() {
    static const Expression::MoodRef m = Expression::Mood::make(
        u"done", u"confidence", u"done: bright, sure", {{u"f0_iqr", 0.6f}, {u"f0_med", 0.3f}, {u"loud", 0.2f}});
    return m;
}

const Expression::MoodRef& failed() {
    static const Expression::MoodRef m = Expression::Mood::make(
        u"failed", u"disappointment", u"failed: let down", {{u"f0_med", -0.5f}, {u"rate", -0.2f}, {u"f0_iqr", -0.4f}});
    return m;
}

}  // namespace tovan::ClaudeEvents
