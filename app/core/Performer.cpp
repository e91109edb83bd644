#include "Performer.h"

#include "Narration.h"
#include "Plans.h"

#include <algorithm>
#include <map>

namespace tovan {

namespace {

constexpr int64_t SAMPLES_PER_MS = Engine::sampleRate / 1000;
// What a sentence that says nothing sounds like: a tenth of a second.
constexpr size_t EMPTY_SENTENCE = Engine::sampleRate / 10;

// Applies the mood on top of `sentence` into `out` (a copy of it).
void applyMood(Style& out, const Style& sentence, const Expression::Mood& mood) {
    if (mood.tag) {
        // A whispered reading stays whispered whatever the text's moods.
        if (sentence.tag != u"whisper") out.tag = *mood.tag;
        out.add(mood);
    } else if (!mood.ctrl.empty()) {
        out.add(mood);
    }
}

bool blank(const std::u16string& s) {
    return std::all_of(s.begin(), s.end(), [](char16_t c) { return c <= u' '; });
}

}  // namespace

const std::set<std::u16string>& Performer::sceneMoods() {
    static const std::set<std::u16string> names{u"tense", u"sombre", u"bright", u"action"};
    return names;
}

void Performer::appendSilence(std::vector<float>& out, int64_t ms) {
    if (ms <= 0) return;
    out.insert(out.end(), size_t(ms * SAMPLES_PER_MS), 0.0f);
}

std::optional<std::vector<float>> Performer::render(int64_t index, Engine& engine) const {
    if (!doc || index < 0 || size_t(index) >= doc->sentences.size()) return std::nullopt;
    const size_t i = size_t(index);

    // 1. The paragraph's dialogue line and the voice its speaker gets.
    std::optional<Cast::Line> line;
    std::optional<std::u16string> lineVoice = other;
    if (cast && i < doc->paraOf.size()) {
        const int64_t p = doc->paraOf[i];
        const auto& lines = cast->lines();
        if (p >= 0 && size_t(p) < lines.size()) {
            line = lines[size_t(p)];
            if (line->speaker) lineVoice = cast->voiceFor(line->speaker, voice, female, male);
        }
    }

    // 2. Segments.
    const std::vector<Narration::Seg> segs = Narration::segments(doc->sentences[i], line);

    // 3. The director's plan, never for a heading.
    const Director::Plan* plan = nullptr;
    if (plans && i < plans->size() && !(segs.size() && segs.front().heading)) plan = &(*plans)[i];
    Style planned;
    if (plan) {
        planned = base.copy();
        for (const auto& [name, offset] : plan->controls(strength)) planned.add(name, offset);
    }
    const Style& sentence = plan ? planned : base;

    std::vector<float> out;
    for (size_t k = 0; k < segs.size(); k++) {
        const Narration::Seg& seg = segs[k];
        // 5. Mood and style.
        const Expression::Mood* mood = seg.mood ? seg.mood.get() : Expression::NEUTRAL().get();
        if (plan && sceneMoods().count(mood->name)) mood = Expression::NEUTRAL().get();
        Style style = sentence.copy();
        applyMood(style, sentence, *mood);

        // 6-9. Text, voice, tag, the call.
        const std::u16string text = Expression::bmp(seg.text);
        if (!blank(text)) {
            const std::optional<std::u16string>& who = seg.dialogue ? lineVoice : voice;
            std::optional<std::vector<float>> samples =
                engine.synthesize(text, who, style.tagOrNull(), style.ctrl(), pace, true);
            // A declined segment declines the sentence: no partial sentences.
            if (!samples) return std::nullopt;
            out.insert(out.end(), samples->begin(), samples->end());
        }

        // 10. The pause after it; the plan's after the last one.
        const bool last = k + 1 == segs.size();
        appendSilence(out, plan && last ? plan->pauseMs(pace) : int64_t(seg.pauseAfterMs));
    }
    if (out.empty()) return std::vector<float>(EMPTY_SENTENCE, 0.0f);
    return out;
}

Performer Performer::forReading(std::shared_ptr<Doc> doc, const Director* director, const Style& style,
                                float speed, bool dialogueVoices, const Voices& voices, float strength,
                                Engine& engine) {
    Performer p;
    p.doc = std::move(doc);
    p.plans = tovan::Plans::of(*p.doc, director);
    p.base = style.copy();
    p.base.contextual = false;
    p.pace = speed * p.base.pace;
    p.voice = engine.resolve(p.base.voice);
    if (dialogueVoices) {
        p.other = dialogueVoice(p.voice, voices);
        p.cast = p.doc->cast();
    } else {
        p.other = p.voice;
    }
    for (const Voices::Voice& v : voices.all()) (v.gender == u"male" ? p.male : p.female).push_back(v.id);
    p.strength = strength;
    return p;
}

Style Performer::moodStyle(const Style& style, const Expression::Mood& mood) {
    Style out = style.copy();
    applyMood(out, style, mood);
    return out;
}

std::vector<Director::Sentence> Performer::directorSentences(const Doc& doc) {
    const std::shared_ptr<Cast> cast = doc.cast();
    const auto& lines = cast->lines();
    auto paraAt = [&](size_t k) -> int64_t { return k < doc.paraOf.size() ? doc.paraOf[k] : 0; };

    std::map<int64_t, int64_t> count, running;
    for (int64_t p : doc.paraOf) count[p]++;

    std::vector<Director::Sentence> out;
    out.reserve(doc.sentences.size());
    for (size_t k = 0; k < doc.sentences.size(); k++) {
        const int64_t p = paraAt(k);
        std::optional<Cast::Line> line;
        if (p >= 0 && size_t(p) < lines.size()) line = lines[size_t(p)];
        Director::Sentence s;
        s.text = Narration::display(doc.sentences[k]);
        for (const Narration::Seg& seg : Narration::segments(doc.sentences[k], line))
            if (seg.dialogue) s.dialogue = true;
        s.hasSpeaker = line && line->speaker.has_value();
        const auto c = count.find(p);
        s.paraLen = c == count.end() ? 1 : c->second;
        s.paraIndex = running[p]++;
        out.push_back(std::move(s));
    }
    return out;
}

std::optional<std::u16string> Performer::dialogueVoice(const std::optional<std::u16string>& narrator,
                                                       const Voices& voices) {
    std::u16string wanted = u"female";
    if (narrator) {
        const Voices::Voice* v = voices.voice(*narrator);
        if (v && v->gender == u"female") wanted = u"male";
    }
    for (const Voices::Voice& v : voices.featured()) {
        if (v.gender != wanted) continue;
        if (narrator && v.id == *narrator) continue;
        return v.id;
    }
    return narrator;
}

}  // namespace tovan
