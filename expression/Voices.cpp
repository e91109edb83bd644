#include "Voices.h"

#include "AtomicFile.h"
#include "Regex.h"

#include <cstdint>

#include <nlohmann/json.hpp>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tovan {

const std::array<std::u16string_view, 105> Voices::FEMALE{
    u"Ava", u"Mia", u"Zoe", u"Lily", u"Emma", u"Nora", u"Ruby", u"Iris", u"Maya", u"Leah",
    u"Clara", u"Ella", u"Grace", u"Hazel", u"Ivy", u"Jade", u"Kate", u"Lena", u"Luna", u"Mila",
    u"Nina", u"Olive", u"Paige", u"Quinn", u"Rose", u"Sara", u"Tessa", u"Vera", u"Willow", u"Yara",
    u"Abby", u"Beth", u"Cora", u"Dana", u"Eva", u"Faith", u"Gemma", u"Hope", u"Isla", u"June",
    u"Kira", u"Lucy", u"Molly", u"Nadia", u"Opal", u"Piper", u"Rhea", u"Sofia", u"Tara", u"Una",
    u"Violet", u"Wren", u"Alice", u"Brooke", u"Chloe", u"Daisy", u"Eden", u"Fiona", u"Gwen", u"Holly",
    u"Ingrid", u"Joy", u"Kylie", u"Laura", u"Megan", u"Naomi", u"Olivia", u"Penny", u"Riley", u"Stella",
    u"Tina", u"Uma", u"Val", u"Wendy", u"Amber", u"Bella", u"Celia", u"Diana", u"Elise", u"Freya",
    u"Greta", u"Heidi", u"Irene", u"Jenna", u"Kelly", u"Lara", u"Martha", u"Nell", u"Orla", u"Phoebe",
    u"Rachel", u"Sienna", u"Thea", u"Ursula", u"Vivian", u"Zara", u"Anna", u"Bonnie", u"Carmen", u"Della",
    u"Erin", u"Flora", u"Gloria", u"Hannah", u"Isabel"};

const std::array<std::u16string_view, 107> Voices::MALE{
    u"Leo", u"Max", u"Sam", u"Noah", u"Eli", u"Owen", u"Jack", u"Theo", u"Finn", u"Luke",
    u"Adam", u"Ben", u"Cole", u"Dan", u"Evan", u"Felix", u"Gus", u"Hugo", u"Ian", u"Jude",
    u"Kai", u"Liam", u"Milo", u"Nate", u"Oscar", u"Paul", u"Reed", u"Seth", u"Tom", u"Wade",
    u"Alex", u"Blake", u"Carl", u"Dean", u"Ezra", u"Frank", u"Grant", u"Hank", u"Isaac", u"Jake",
    u"Kyle", u"Lance", u"Mark", u"Neil", u"Otto", u"Pete", u"Ray", u"Scott", u"Troy", u"Vince",
    u"Will", u"Aaron", u"Brian", u"Chris", u"Derek", u"Eric", u"Fred", u"Gary", u"Henry", u"Ivan",
    u"Jason", u"Kevin", u"Leon", u"Mason", u"Nick", u"Omar", u"Peter", u"Ross", u"Simon", u"Tyler",
    u"Victor", u"Wes", u"Andy", u"Bruce", u"Caleb", u"David", u"Edward", u"Floyd", u"George", u"Harry",
    u"Jasper", u"Keith", u"Louis", u"Martin", u"Nolan", u"Oliver", u"Philip", u"Ralph", u"Steve", u"Tony",
    u"Walter", u"Arthur", u"Bryce", u"Connor", u"Dylan", u"Elliot", u"Gavin", u"Harvey", u"Jonah", u"Kurt",
    u"Logan", u"Miles", u"Nigel", u"Patrick", u"Roman", u"Silas", u"Toby"};

namespace {

using json = nlohmann::json;

// Unicode default lower-casing, the same in every locale.
std::u16string lower(std::u16string_view s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

std::u16string resolve(const std::optional<std::u16string>& setting) {
    if (!setting || *setting == u"female") return std::u16string(Voices::DEFAULT_FEMALE);
    if (*setting == u"male") return std::u16string(Voices::DEFAULT_MALE);
    return *setting;
}

std::optional<std::u16string> text(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return u16(it->get<std::string>());
}

} // namespace

Voices Voices::fromFile(const std::filesystem::path& voicesJSON, std::shared_ptr<VoicesStore> store) {
    std::string bytes;
    if (!AtomicFile::read(voicesJSON, bytes)) return fromData(std::string_view(), std::move(store));
    return fromData(bytes, std::move(store));
}

Voices Voices::fromData(std::string_view data, std::shared_ptr<VoicesStore> store) {
    Voices v(store ? std::move(store) : std::make_shared<MemoryVoicesStore>());
    json root = json::parse(data.begin(), data.end(), nullptr, false);
    if (root.is_discarded() || !root.is_object()) return v;
    auto list = root.find("voices");
    if (list == root.end() || !list->is_array()) return v;
    for (const auto& element : *list)
        if (!element.is_object()) return v;

    size_t female = 0, male = 0;
    for (const auto& element : *list) {
        if (element.empty()) break;
        auto id = text(element, "name");
        if (!id) break;
        Voice voice;
        voice.id = *id;
        voice.gender = text(element, "gender").value_or(u"female");
        if (voice.gender == u"female") voice.name = FEMALE[female++ % FEMALE.size()];
        else voice.name = MALE[male++ % MALE.size()];
        voice.pitch = text(element, "pitch_register").value_or(u"mid");
        voice.pace = text(element, "pace").value_or(u"average");

        if (v.byId_.count(voice.id)) {
            for (auto& existing : v.order_) {
                if (existing.id == voice.id) {
                    existing = voice;
                    break;
                }
            }
        } else {
            v.order_.push_back(voice);
        }
        v.byId_[voice.id] = std::move(voice);
    }
    return v;
}

const Voices::Voice* Voices::voice(std::u16string_view id) const {
    auto it = byId_.find(std::u16string(id));
    return it == byId_.end() ? nullptr : &it->second;
}

std::u16string Voices::nameOf(const std::optional<std::u16string>& setting) const {
    std::u16string id = resolve(setting);
    const Voice* v = voice(id);
    return v ? v->name : id;
}

std::vector<Voices::Voice> Voices::featured() const {
    std::vector<Voice> out;
    for (auto id : FEATURED)
        if (const Voice* v = voice(id)) out.push_back(*v);
    return out;
}

std::set<std::u16string> Voices::favourites() const { return store_->stringSet(FAVOURITES_KEY); }

bool Voices::isFavourite(std::u16string_view id) const { return favourites().count(std::u16string(id)) > 0; }

void Voices::toggleFavourite(std::u16string_view id) {
    std::set<std::u16string> set = store_->stringSet(FAVOURITES_KEY);
    std::u16string key(id);
    if (!set.erase(key)) set.insert(key);
    store_->setStringSet(set, FAVOURITES_KEY);
}

std::vector<std::u16string> Voices::featuredIds() {
    return std::vector<std::u16string>(FEATURED.begin(), FEATURED.end());
}

std::u16string Voices::forPerson(std::u16string_view name, const std::optional<std::u16string>& own) {
    std::u16string self = resolve(own);
    std::vector<std::u16string_view> pool;
    for (auto id : FEATURED)
        if (id != self) pool.push_back(id);
    // The string hash every Java-family platform uses, so a name keeps its
    // voice across versions: h = 31h + unit, wrapping in 32 bits.
    uint32_t h = 0;
    for (char16_t u : lower(jtrim(std::u16string(name)))) h = h * 31u + u;
    const int32_t sh = static_cast<int32_t>(h);
    const int32_t n = static_cast<int32_t>(pool.size());
    const int32_t index = (sh % n + n) % n;
    return std::u16string(pool[static_cast<size_t>(index)]);
}

std::u16string Voices::Voice::describe() const {
    std::u16string first = pitch == u"low" ? u"Deep" : pitch == u"high" ? u"Bright" : u"Warm";
    std::u16string second = pace == u"slow" ? u"relaxed" : pace == u"fast" ? u"brisk" : u"steady";
    return first + u", " + second;
}

std::u16string Voices::Voice::genderLabel() const { return gender == u"female" ? u"Female" : u"Male"; }

} // namespace tovan
