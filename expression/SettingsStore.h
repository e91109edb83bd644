#pragma once
// The user's settings: a small typed key-value store (booleans, numbers, texts
// and lists of texts stay what they were written as). Keys are short fixed
// names ("speed", "fav", "a.quietHours"). Implementations are safe to use from
// any thread.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tovan {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored value, absent when the key holds nothing.
    virtual std::optional<nlohmann::json> value(const std::string& key) const = 0;
    // A JSON null removes the key.
    virtual void setValue(const std::string& key, nlohmann::json value) = 0;
    virtual void remove(const std::string& key) = 0;

    // Typed reads: absent when the key is missing or holds another type.
    std::optional<bool> getBool(const std::string& key) const;
    std::optional<double> getDouble(const std::string& key) const;  // any number
    std::optional<int64_t> getInt(const std::string& key) const;    // integral numbers only
    std::optional<std::u16string> getString(const std::string& key) const;
    // Only an array whose every element is a text.
    std::optional<std::vector<std::u16string>> getStrings(const std::string& key) const;

    void setBool(const std::string& key, bool v);
    void setDouble(const std::string& key, double v);  // not-a-number or infinity is refused
    void setInt(const std::string& key, int64_t v);
    void setString(const std::string& key, std::u16string_view v);
    void setStrings(const std::string& key, const std::vector<std::u16string>& v);

    // The user's store: JsonSettingsFile at standardPath(), made on first use.
    static std::shared_ptr<SettingsStore> standard();
    // $XDG_CONFIG_HOME/TovanTTS/defaults.json ($HOME/.config when unset).
    static std::string standardPath();
};

// Kept in memory only; for tests and for running without a home folder.
class MemorySettingsStore final : public SettingsStore {
public:
    std::optional<nlohmann::json> value(const std::string& key) const override;
    void setValue(const std::string& key, nlohmann::json value) override;
    void remove(const std::string& key) override;

private:
    mutable std::mutex lock_;
    std::map<std::string, nlohmann::json> values_;
};

} // namespace tovan
