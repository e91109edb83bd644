#pragma once
// The catalogue of the engine's voices, read once from the model directory's
// voices.json: a friendly first name for each voice, the eight featured
// voices, the user's favourites, and a stable featured voice for a person
// (a sender, a caller) that differs from the assistant's own.

#include "VoicesStore.h"

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tovan {

class Voices {
public:
    struct Voice {
        std::u16string id;      // engine voice id, e.g. "voice_1688"
        std::u16string gender;  // as written; "female" when the file gives none
        std::u16string pitch;   // pitch register; "mid" when the file gives none
        std::u16string pace;    // "average" when the file gives none
        std::u16string name;    // display first name

        // Two words from pitch and pace, e.g. "Warm, steady".
        std::u16string describe() const;
        // "Female" for the gender "female", otherwise "Male".
        std::u16string genderLabel() const;
    };

    static constexpr std::array<std::u16string_view, 8> FEATURED{
        u"voice_1688", u"voice_2500", u"voice_0010", u"voice_1469",
        u"voice_0185", u"voice_0413", u"voice_1226", u"voice_0213"};
    static constexpr std::u16string_view DEFAULT_FEMALE = u"voice_1688";
    static constexpr std::u16string_view DEFAULT_MALE = u"voice_2500";
    static const std::array<std::u16string_view, 105> FEMALE;
    static const std::array<std::u16string_view, 107> MALE;
    // The favourites' key in the store.
    static constexpr const char* FAVOURITES_KEY = "fav";

    // An unreadable file gives an empty catalogue.
    static Voices fromFile(const std::filesystem::path& voicesJSON, std::shared_ptr<VoicesStore> store);
    // Malformed JSON gives an empty catalogue; reading stops at the first
    // element that is empty or has no text "name", keeping what came before.
    static Voices fromData(std::string_view json, std::shared_ptr<VoicesStore> store);

    bool isEmpty() const { return order_.empty(); }
    // The catalogue in the order of the file.
    const std::vector<Voice>& all() const { return order_; }
    const std::vector<Voice>& order() const { return order_; }
    const std::map<std::u16string, Voice>& byId() const { return byId_; }
    const std::shared_ptr<VoicesStore>& store() const { return store_; }

    const Voice* voice(std::u16string_view id) const;
    // Display name for a style's voice setting (absent, "female", "male" or
    // an id); the id itself when the catalogue does not know it.
    std::u16string nameOf(const std::optional<std::u16string>& setting) const;
    // Catalogue entries of the featured ids, in FEATURED order.
    std::vector<Voice> featured() const;

    // Read from the store on every call: no caching.
    std::set<std::u16string> favourites() const;
    bool isFavourite(std::u16string_view id) const;
    void toggleFavourite(std::u16string_view id);

    static std::vector<std::u16string> featuredIds();
    // A featured voice for the person, never the resolved own voice; the same
    // for names that differ only in case or outer blanks.
    static std::u16string forPerson(std::u16string_view name, const std::optional<std::u16string>& own);

private:
    explicit Voices(std::shared_ptr<VoicesStore> store) : store_(std::move(store)) {}

    std::vector<Voice> order_;
    std::map<std::u16string, Voice> byId_;
    std::shared_ptr<VoicesStore> store_;
};

} // namespace tovan
