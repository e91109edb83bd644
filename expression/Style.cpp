#include "Style.h"

#include "AtomicFile.h"
#include "Expression.h"
#include "Regex.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <vector>

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tovan {

namespace {

using json = nlohmann::json;

std::u16string lower(std::u16string_view s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

// Double to float the way a cast would on IEEE hardware, without the undefined
// behaviour of converting an out-of-range value.
float narrow(double d) {
    if (std::isnan(d)) return std::numeric_limits<float>::quiet_NaN();
    if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (d < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

std::string printf2(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

// Two decimals, rounded half away from zero on the shortest decimal text that
// reads back as the same float: 0.125 gives "0.13" and the float nearest 1.005
// gives "1.01", where rounding the exact binary value would not.
std::string javaFixed2(float v) {
    if (!std::isfinite(v)) return printf2(v);
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    if (r.ec != std::errc()) return printf2(v);
    std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    size_t e = text.find('e');
    if (e == std::string_view::npos) return printf2(v);
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits.push_back(c);
    int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());

    // digits[0] sits at 10^exponent; keep everything down to 10^-2.
    long keep = static_cast<long>(exponent) + 3;  // digits of round(|v| * 100)
    std::string n;
    bool up = false;
    if (keep <= 0) {
        up = keep == 0 && digits[0] >= '5';
    } else if (static_cast<size_t>(keep) >= digits.size()) {
        n = digits + std::string(static_cast<size_t>(keep) - digits.size(), '0');
    } else {
        n = digits.substr(0, static_cast<size_t>(keep));
        up = digits[static_cast<size_t>(keep)] >= '5';
    }
    if (up) {
        size_t i = n.size();
        while (i > 0 && n[i - 1] == '9') n[--i] = '0';
        if (i == 0) n.insert(n.begin(), '1');
        else ++n[i - 1];
    }
    size_t first = n.find_first_not_of('0');
    n = first == std::string::npos ? std::string() : n.substr(first);
    bool zero = n.empty();
    if (n.size() < 3) n.insert(0, 3 - n.size(), '0');
    n.insert(n.size() - 2, 1, '.');
    return (negative && !zero ? "-" : "") + n;
}

// Readers of single values; an absent key is a null pointer.
std::optional<std::u16string> optString(const json* v) {
    if (!v || v->is_null()) return std::nullopt;
    if (v->is_string()) return u16(v->get_ref<const std::string&>());
    if (v->is_boolean()) return v->get<bool>() ? u"1" : u"0";
    if (v->is_number_float()) {
        double d = v->get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
            return u16(std::to_string(static_cast<long long>(d)));
        }
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, d);
        return u16(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
    }
    return u16(v->dump());  // integers, arrays, objects
}

locale_t posixLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

std::optional<double> optDouble(const json* v) {
    if (!v) return std::nullopt;
    if (v->is_boolean()) return v->get<bool>() ? 1.0 : 0.0;
    if (v->is_number()) return v->get<double>();
    if (!v->is_string()) return std::nullopt;
    const std::string& s = v->get_ref<const std::string&>();
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::nullopt;
    size_t e = s.find_last_not_of(" \t");
    std::string t = s.substr(b, e - b + 1);
    // strtod would skip other leading white space; a number must start here.
    if (std::isspace(static_cast<unsigned char>(t[0]))) return std::nullopt;
    char* end = nullptr;
    double d = strtod_l(t.c_str(), &end, posixLocale());
    if (end != t.c_str() + t.size()) return std::nullopt;
    return d;
}

std::optional<bool> optBool(const json* v) {
    if (!v) return std::nullopt;
    if (v->is_boolean()) return v->get<bool>();
    if (!v->is_string()) return std::nullopt;
    std::u16string s = lower(u16(v->get_ref<const std::string&>()));
    if (s == u"true") return true;
    if (s == u"false") return false;
    return std::nullopt;
}

const json* member(const json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

struct PresetRow {
    std::u16string_view name;
    std::u16string_view tag;
    std::vector<std::pair<std::u16string_view, float>> offsets;
};

const std::vector<PresetRow>& presetTable() {
    static const std::vector<PresetRow> rows{
        {u"Natural", u"none", {}},
        {u"Warm", u"contentment", {{u"f0_iqr", 0.6f}, {u"h1h2", 0.6f}, {u"rate", -0.2f}}},
        {u"Serious", u"confidence", {{u"f0_med", -0.6f}, {u"f0_iqr", -0.5f}, {u"loud", 0.4f}, {u"f0_end", -0.8f}}},
        {u"Calm", u"serenity", {{u"rate", -0.4f}, {u"f0_iqr", -0.6f}, {u"loud", -0.4f}}},
        {u"Happy", u"happiness", {{u"f0_iqr", 1.3f}, {u"f0_med", 0.7f}, {u"rate", 0.4f}, {u"tilt", 0.5f}}},
        {u"Excited", u"excited", {{u"rate", 0.9f}, {u"loud", 1.1f}, {u"f0_iqr", 1.6f}, {u"f0_med", 1.0f}}},
        {u"Sad", u"sadness", {{u"rate", -0.8f}, {u"f0_med", -0.9f}, {u"f0_iqr", -0.9f}, {u"loud", -0.8f}}},
        {u"Whisper", u"whisper", {}},
    };
    return rows;
}

} // namespace

float Style::clamp(float v) {
    if (std::isnan(v)) return LIMIT;
    return std::max(std::min(v, LIMIT), -LIMIT);
}

void Style::add(std::u16string_view control, float offset) {
    for (size_t i = 0; i < CONTROLS.size(); ++i) {
        if (CONTROLS[i] == control) {
            z[i] = clamp(z[i] + offset);
            return;
        }
    }
}

void Style::add(const Expression::Mood& mood) {
    for (const auto& [name, offset] : mood.pairs()) add(name, offset);
}

void Style::add(const std::shared_ptr<const Expression::Mood>& mood) {
    if (mood) add(*mood);
}

Style Style::withPreset(std::u16string_view name) const {
    Style s = copy();
    for (const auto& row : presetTable()) {
        if (row.name != name) continue;
        s.tag = row.tag;
        for (const auto& [control, offset] : row.offsets) s.add(control, offset);
        break;
    }
    s.contextual = false;
    s.reason = lower(name) + u": " + (s.tag != u"none" ? s.tag + u" + " : u"") + u"controls";
    return s;
}

void Style::applyPreset(std::u16string_view name) {
    z.fill(0.0f);
    tag = u"none";
    Style s = withPreset(name);
    tag = s.tag;
    z = s.z;
    preset = std::u16string(name);
}

std::optional<std::u16string> Style::ctrl() const {
    std::string out;
    for (size_t i = 0; i < z.size(); ++i) {
        if (!(std::fabs(z[i]) >= 0.05f)) continue;  // also skips not-a-number
        if (!out.empty()) out += ',';
        out += u8(CONTROLS[i]);
        out += '=';
        out += javaFixed2(z[i]);
    }
    if (out.empty()) return std::nullopt;
    return u16(out);
}

std::optional<std::u16string> Style::tagOrNull() const {
    if (tag == u"none") return std::nullopt;
    return tag;
}

nlohmann::json Style::toJson() const {
    json j = json::object();
    j["voice"] = voice ? json(u8(*voice)) : json(nullptr);
    j["tag"] = u8(tag);
    json values = json::array();
    for (float v : z) values.push_back(static_cast<double>(v));
    j["z"] = std::move(values);
    j["contextual"] = contextual;
    j["pace"] = static_cast<double>(pace);
    j["preset"] = u8(preset);
    j["smooth"] = smooth;
    j["reason"] = u8(reason);
    return j;
}

std::string Style::jsonData() const {
    try {
        // nlohmann::json keeps object keys sorted; dump() is compact.
        return toJson().dump();
    } catch (const std::exception&) {
        return "{}";
    }
}

Style Style::fromJson(const nlohmann::json& object) {
    Style s;
    if (!object.is_object()) return s;
    s.voice = optString(member(object, "voice"));
    s.tag = optString(member(object, "tag")).value_or(u"none");
    if (const json* values = member(object, "z"); values && values->is_array()) {
        size_t n = std::min<size_t>(12, values->size());
        for (size_t i = 0; i < n; ++i) s.z[i] = clamp(narrow(optDouble(&(*values)[i]).value_or(0.0)));
    }
    s.contextual = optBool(member(object, "contextual")).value_or(true);
    float pace = narrow(optDouble(member(object, "pace")).value_or(DEFAULT_PACE));
    s.pace = std::isnan(pace) ? MAX_PACE : std::max(std::min(pace, MAX_PACE), MIN_PACE);
    s.preset = optString(member(object, "preset")).value_or(u"Natural");
    s.smooth = optBool(member(object, "smooth")).value_or(false);
    s.reason = optString(member(object, "reason")).value_or(u"");
    return s;
}

std::optional<Style> Style::fromJsonData(std::string_view bytes) {
    json j = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    return fromJson(j);
}

Style Style::load(const std::filesystem::path& file) {
    std::string bytes;
    if (!AtomicFile::read(file, bytes)) return Style();
    return fromJsonData(bytes).value_or(Style());
}

bool Style::save(const std::filesystem::path& file) const {
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    return AtomicFile::write(file, jsonData());
}

} // namespace tovan
