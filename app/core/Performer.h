#pragma once
// The step between a document and the engine: one sentence cut into
// narration and dialogue segments, each given its voice, delivery tag and
// prosody controls (the user's style, the director's plan for the sentence,
// the segment's mood), synthesized and joined with its pauses.
//
// A Performer is a plain value built once per reading (the render loop) or
// export and used on one thread; the Doc and its Cast are shared, and guard
// themselves.

#include "Cast.h"
#include "Director.h"
#include "Doc.h"
#include "Engine.h"
#include "Expression.h"
#include "Style.h"
#include "Voices.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tovan {

struct Performer {
    using Plans = std::shared_ptr<const std::vector<Director::Plan>>;

    std::shared_ptr<Doc> doc;
    // The user's style for this reading, context styling off.
    Style base;
    // Speed setting times the style's pace.
    float pace = 1.0f;
    // The narrator's voice, already resolved by the engine.
    std::optional<std::u16string> voice;
    // The voice of dialogue whose speaker is not named.
    std::optional<std::u16string> other;
    // Null when character voices are off.
    std::shared_ptr<Cast> cast;
    // Catalogue voice ids: gender "male" in male, every other in female.
    std::vector<std::u16string> female;
    std::vector<std::u16string> male;
    // One plan per sentence; null without natural narration.
    Plans plans;
    // How strongly the plans' controls are applied.
    float strength = 0.8f;

    // Scene moods give way to the director's plan while one is in force.
    static const std::set<std::u16string>& sceneMoods();

    // The performer of one reading or export: the style's copy without
    // context styling, speed times the style's pace, the engine's voice for
    // the style's, dialogue voices and the cast when they are on, the
    // catalogue split by gender, and the document's plans (cached, or made
    // with the director).
    static Performer forReading(std::shared_ptr<Doc> doc, const Director* director, const Style& style, float speed,
                                bool dialogueVoices, const Voices& voices, float strength, Engine& engine);

    // The samples of sentence `index` (24 kHz mono); absent when the engine
    // declines a segment (no model, or cancelled) or the index is outside the
    // document. 0.1 s of silence when the sentence gives no audio at all.
    // Throws Engine::Failure.
    std::optional<std::vector<float>> render(int64_t index, Engine& engine) const;

    // The style with the mood applied: its tag (a "whisper" style keeps its
    // own), then its offsets in the mood's order. The input is unchanged.
    static Style moodStyle(const Style& style, const Expression::Mood& mood);
    // The director's input: one record per sentence, in order.
    static std::vector<Director::Sentence> directorSentences(const Doc& doc);
    // The default voice for dialogue: the first featured voice of the other
    // gender than the narrator's (female unless the narrator is a catalogue
    // female), never the narrator; the narrator when none qualifies.
    static std::optional<std::u16string> dialogueVoice(const std::optional<std::u16string>& narrator,
                                                       const Voices& voices);

    // 24 samples a millisecond; 0 or less gives none.
    static void appendSilence(std::vector<float>& out, int64_t ms);
};

}  // namespace tovan
