#pragma once
// The user's settings with a change notice: every write through this store
// is announced as changed(key) once it is stored, on the thread the object
// lives on (the main thread), so two screens showing one setting (the reader
// and the settings window, the read-anywhere switch and the tray) stay in
// step. Writes made to the inner store directly are not seen.

#include <QObject>
#include <QString>

#include <memory>

#include "SettingsStore.h"

namespace tovan {

class WatchedSettings final : public QObject, public SettingsStore {
    Q_OBJECT
public:
    explicit WatchedSettings(std::shared_ptr<SettingsStore> inner, QObject* parent = nullptr);

    std::optional<nlohmann::json> value(const std::string& key) const override;
    void setValue(const std::string& key, nlohmann::json value) override;
    void remove(const std::string& key) override;

signals:
    void changed(const QString& key);

private:
    void announce(const std::string& key);
    std::shared_ptr<SettingsStore> inner_;
};

}  // namespace tovan
