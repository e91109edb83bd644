#pragma once
// Where the voice catalogue keeps the user's sets of voice ids (the favourites
// under "fav"). One interface, the user-settings store and a memory store.

#include "SettingsStore.h"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace tovan {

class VoicesStore {
public:
    virtual ~VoicesStore() = default;
    // The set stored under the key, empty when there is none.
    virtual std::set<std::u16string> stringSet(const std::string& key) const = 0;
    // Replaces the set stored under the key.
    virtual void setStringSet(const std::set<std::u16string>& set, const std::string& key) = 0;
};

// Over the user's settings: a set is stored as an array of its texts in
// ascending order; anything but an array of texts reads as an empty set.
class SettingsVoicesStore final : public VoicesStore {
public:
    explicit SettingsVoicesStore(std::shared_ptr<SettingsStore> defaults = SettingsStore::standard());
    std::set<std::u16string> stringSet(const std::string& key) const override;
    void setStringSet(const std::set<std::u16string>& set, const std::string& key) override;

private:
    std::shared_ptr<SettingsStore> defaults_;
};

// For tests; no lock.
class MemoryVoicesStore final : public VoicesStore {
public:
    std::map<std::string, std::set<std::u16string>> sets;
    std::set<std::u16string> stringSet(const std::string& key) const override;
    void setStringSet(const std::set<std::u16string>& set, const std::string& key) override;
};

} // namespace tovan
