#include "SettingsStore.h"

#include "JsonSettingsFile.h"
#include "Regex.h"

#include <cmath>
#include <cstdlib>


namespace tovan {

namespace {

using json = nlohmann::json;

} // namespace

std::optional<bool> SettingsStore::getBool(const std::string& key) const {
    auto v = value(key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

std::optional<double> SettingsStore::getDouble(const std::string& key) const {
    auto v = value(key);
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

std::optional<int64_t> SettingsStore::getInt(const std::string& key) const {
    auto v = value(key);
    if (!v) return std::nullopt;
    if (v->is_number_integer()) {
        if (v->is_number_unsigned() && v->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
        return v->get<int64_t>();
    }
    if (v->is_number_float()) {
        double d = v->get<double>();
        // Whole numbers written with a fraction part still count; the range
        // check keeps the conversion defined.
        if (d == std::trunc(d) && d >= -9.2e18 && d <= 9.2e18) return static_cast<int64_t>(d);
    }
    return std::nullopt;
}

std::optional<std::u16string> SettingsStore::getString(const std::string& key) const {
    auto v = value(key);
    if (!v || !v->is_string()) return std::nullopt;
    return u16(v->get<std::string>());
}

std::optional<std::vector<std::u16string>> SettingsStore::getStrings(const std::string& key) const {
    auto v = value(key);
    if (!v || !v->is_array()) return std::nullopt;
    std::vector<std::u16string> out;
    for (const auto& item : *v) {
        if (!item.is_string()) return std::nullopt;
        out.push_back(u16(item.get<std::string>()));
    }
    return out;
}

void SettingsStore::setBool(const std::string& key, bool v) { setValue(key, json(v)); }

void SettingsStore::setDouble(const std::string& key, double v) {
    // JSON has no spelling for these; writing one would make the file unreadable.
    if (!std::isfinite(v)) return;
    setValue(key, json(v));
}

void SettingsStore::setInt(const std::string& key, int64_t v) { setValue(key, json(v)); }

void SettingsStore::setString(const std::string& key, std::u16string_view v) { setValue(key, json(u8(v))); }

void SettingsStore::setStrings(const std::string& key, const std::vector<std::u16string>& v) {
    json a = json::array();
    for (const auto& s : v) a.push_back(u8(s));
    setValue(key, std::move(a));
}

std::string SettingsStore::standardPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && home[0] ? home : ".") + "/.config";
    }
    return base + "/TovanTTS/defaults.json";
}

std::shared_ptr<SettingsStore> SettingsStore::standard() {
    static const std::shared_ptr<SettingsStore> store = std::make_shared<JsonSettingsFile>(standardPath());
    return store;
}

std::optional<nlohmann::json> MemorySettingsStore::value(const std::string& key) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void MemorySettingsStore::setValue(const std::string& key, nlohmann::json value) {
    std::lock_guard<std::mutex> g(lock_);
    if (value.is_null()) values_.erase(key);
    else values_[key] = std::move(value);
}

void MemorySettingsStore::remove(const std::string& key) {
    std::lock_guard<std::mutex> g(lock_);
    values_.erase(key);
}

} // namespace tovan
