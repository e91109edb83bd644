#include "VoicesStore.h"

#include <vector>

namespace tovan {

SettingsVoicesStore::SettingsVoicesStore(std::shared_ptr<SettingsStore> defaults) : defaults_(std::move(defaults)) {}

std::set<std::u16string> SettingsVoicesStore::stringSet(const std::string& key) const {
    auto list = defaults_->getStrings(key);
    if (!list) return {};
    return std::set<std::u16string>(list->begin(), list->end());
}

void SettingsVoicesStore::setStringSet(const std::set<std::u16string>& set, const std::string& key) {
    // std::set iterates in ascending order already.
    defaults_->setStrings(key, std::vector<std::u16string>(set.begin(), set.end()));
}

std::set<std::u16string> MemoryVoicesStore::stringSet(const std::string& key) const {
    auto it = sets.find(key);
    return it == sets.end() ? std::set<std::u16string>() : it->second;
}

void MemoryVoicesStore::setStringSet(const std::set<std::u16string>& set, const std::string& key) {
    sets[key] = set;
}

} // namespace tovan
