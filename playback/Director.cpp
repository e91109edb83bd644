#include "Director.h"

#include "Engine.h"
#include "Regex.h"
#include "tovantts.h"

#include <algorithm>
#include <climits>

namespace tovan {

namespace {

constexpr size_t ERRLEN = 512;

int32_t fit32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

std::shared_ptr<Director> Director::load(const std::filesystem::path& path) {
    char err[ERRLEN] = {0};
    tovantts_director* d = tovantts_director_load(path.c_str(), err, ERRLEN);
    if (!d) throw Engine::Failure::fromBuffer(err, ERRLEN);
    return std::shared_ptr<Director>(new Director(d));
}

Director::~Director() { tovantts_director_free(d_); }

std::vector<Director::Plan> Director::plan(const std::vector<Sentence>& sentences,
                                           const std::optional<std::u16string>& genre) const {
    std::vector<Plan> plans;
    if (sentences.empty()) return plans;
    if (sentences.size() > size_t(INT32_MAX / dims))
        throw Engine::Failure(u"tovantts_director_plan: too many sentences");
    std::vector<std::string> texts;
    texts.reserve(sentences.size());
    for (const Sentence& s : sentences) texts.push_back(u8(s.text));
    std::vector<tovantts_sentence> records(sentences.size());
    for (size_t i = 0; i < sentences.size(); i++) {
        const Sentence& s = sentences[i];
        records[i] = tovantts_sentence{texts[i].c_str(), s.dialogue ? 1 : 0, s.hasSpeaker ? 1 : 0,
                                       fit32(s.paraLen), fit32(s.paraIndex)};
    }
    std::vector<float> out(sentences.size() * dims, 0.0f);
    char err[ERRLEN] = {0};
    const std::optional<std::string> g = genre ? std::optional<std::string>(u8(*genre)) : std::nullopt;
    const int32_t rc = tovantts_director_plan(d_, records.data(), int32_t(records.size()), g ? g->c_str() : nullptr,
                                              out.data(), err, ERRLEN);
    if (rc != 0) throw Engine::Failure::fromBuffer(err, ERRLEN);
    plans.reserve(sentences.size());
    const std::shared_ptr<const Director> self = shared_from_this();
    for (size_t i = 0; i < sentences.size(); i++) {
        std::array<float, dims> v;
        std::copy_n(out.begin() + std::ptrdiff_t(i * dims), dims, v.begin());
        plans.emplace_back(v, self);
    }
    return plans;
}

std::map<std::u16string, float> Director::Plan::controls(float strength) const {
    float out[5] = {0, 0, 0, 0, 0};
    tovantts_plan_controls(director_ ? director_->d_ : nullptr, values_.data(), out, strength);
    return {{u"rate", out[0]}, {u"loud", out[1]}, {u"f0_med", out[2]}, {u"f0_iqr", out[3]}, {u"f0_end", out[4]}};
}

int64_t Director::Plan::pauseMs(float pace) const { return int64_t(tovantts_plan_pause_ms(values_.data(), pace)); }

}  // namespace tovan
