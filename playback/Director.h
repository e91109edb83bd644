#pragma once
// The reading director: a small model that plans, for a whole reading, five
// control offsets and the pause after each sentence.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct tovantts_director;

namespace tovan {

class Director : public std::enable_shared_from_this<Director> {
public:
    static constexpr int dims = 6;

    struct Sentence {
        std::u16string text;  // as it will be spoken
        bool dialogue = false;
        bool hasSpeaker = false;
        int64_t paraLen = 1;    // sentences in its paragraph
        int64_t paraIndex = 0;  // its place in the paragraph, from 0
    };

    // One sentence's plan. It keeps its director alive, since controls()
    // reads the director's calibration.
    class Plan {
    public:
        Plan(const std::array<float, dims>& values, std::shared_ptr<const Director> director)
            : values_(values), director_(std::move(director)) {}
        // 0-4: raw offsets of rate, loud, f0_med, f0_iqr, f0_end; 5: the pause
        // after the sentence as ln(1 + seconds at pace 1).
        const std::array<float, dims>& values() const { return values_; }
        const std::shared_ptr<const Director>& director() const { return director_; }
        // The five control offsets at this strength, each within [-3, 3].
        std::map<std::u16string, float> controls(float strength) const;
        // The pause in milliseconds, within [80, 1500]; a pace of 0.25 or
        // below counts as 1.
        int64_t pauseMs(float pace) const;

    private:
        std::array<float, dims> values_;
        std::shared_ptr<const Director> director_;
    };

    // The model directory's "director.bin", or a ".bin" file itself. Throws
    // Engine::Failure with the engine's message.
    static std::shared_ptr<Director> load(const std::filesystem::path& path);
    ~Director();
    Director(const Director&) = delete;
    Director& operator=(const Director&) = delete;

    // One plan per sentence, in order; the engine is not called for none.
    // Throws Engine::Failure. Paragraph lengths and places beyond the engine's
    // 32-bit fields are clamped to them.
    std::vector<Plan> plan(const std::vector<Sentence>& sentences, const std::optional<std::u16string>& genre) const;

private:
    explicit Director(tovantts_director* d) : d_(d) {}
    tovantts_director* d_;
};

}  // namespace tovan
