#pragma once
// Settings kept in one JSON object file. Read once when made; every change
// rewrites the file atomically. A file that is not a JSON object is never
// overwritten in place: before the first save it is moved aside to
// "<name>.broken" so nothing the user had is lost.

#include "SettingsStore.h"

#include <filesystem>

namespace tovan {

class JsonSettingsFile final : public SettingsStore {
public:
    explicit JsonSettingsFile(std::filesystem::path file);

    std::optional<nlohmann::json> value(const std::string& key) const override;
    void setValue(const std::string& key, nlohmann::json value) override;
    void remove(const std::string& key) override;

    const std::filesystem::path& file() const { return file_; }
    // Empty when the last load and save went well; otherwise what went wrong.
    std::string problem() const;

private:
    void saveLocked();

    std::filesystem::path file_;
    mutable std::mutex lock_;
    nlohmann::json values_ = nlohmann::json::object();
    bool broken_ = false;
    std::string problem_;
};

} // namespace tovan
