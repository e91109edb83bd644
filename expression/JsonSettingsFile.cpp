#include "JsonSettingsFile.h"

#include "AtomicFile.h"

#include <system_error>

namespace tovan {

JsonSettingsFile::JsonSettingsFile(std::filesystem::path file) : file_(std::move(file)) {
    std::string bytes;
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) return;  // a first start
    if (!AtomicFile::read(file_, bytes)) {
        broken_ = true;
        problem_ = "cannot read " + file_.string();
        return;
    }
    nlohmann::json j = nlohmann::json::parse(bytes, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        broken_ = true;
        problem_ = file_.string() + " is not a settings file; starting with default settings";
        return;
    }
    values_ = std::move(j);
}

std::optional<nlohmann::json> JsonSettingsFile::value(const std::string& key) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = values_.find(key);
    if (it == values_.end() || it->is_null()) return std::nullopt;
    return *it;
}

void JsonSettingsFile::setValue(const std::string& key, nlohmann::json value) {
    std::lock_guard<std::mutex> g(lock_);
    if (value.is_null()) values_.erase(key);
    else values_[key] = std::move(value);
    saveLocked();
}

void JsonSettingsFile::remove(const std::string& key) {
    std::lock_guard<std::mutex> g(lock_);
    if (values_.erase(key) == 0) return;
    saveLocked();
}

std::string JsonSettingsFile::problem() const {
    std::lock_guard<std::mutex> g(lock_);
    return problem_;
}

void JsonSettingsFile::saveLocked() {
    std::error_code ec;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
    if (broken_) {
        std::filesystem::path aside = file_;
        aside += ".broken";
        std::filesystem::rename(file_, aside, ec);
        // Only write over the old file once it is safely aside (or gone).
        if (ec && std::filesystem::exists(file_)) {
            problem_ = "cannot move " + file_.string() + " aside: " + ec.message();
            return;
        }
        broken_ = false;
    }
    std::string bytes;
    try {
        bytes = values_.dump();
    } catch (const std::exception& e) {
        problem_ = std::string("settings cannot be written: ") + e.what();
        return;
    }
    std::string error;
    if (AtomicFile::write(file_, bytes, &error)) problem_.clear();
    else problem_ = error;
}

} // namespace tovan
