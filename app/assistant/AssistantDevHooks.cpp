#include "AssistantDevHooks.h"

#include "Announcer.h"
#include "Assistant.h"
#include "Notifications.h"

namespace tovan {

void AssistantDevHooks::bind(DevHooks::Hooks& h, Assistant& assistant, Notifications& notes, Announcer& announcer) {
    Assistant* a = &assistant;
    Notifications* n = &notes;
    Announcer* speaker = &announcer;
    h.sample = [a] { a->sample(); };
    h.notificationAccess = [n] { return n->access(); };
    h.notificationState = [n] { return QString::fromStdString(n->debugState()); };
    h.allowApp = [a](const QString& id) {
        if (id.isEmpty())
            return;  // no app has an empty identifier
        auto apps = a->prefs().apps();
        apps.insert(id.toStdU16String());
        a->prefs().setApps(std::move(apps));
    };
    h.setWhileLooking = [a](bool on) { a->prefs().setWhileLooking(on); };
    h.recent = [a] {
        QList<DevHooks::Heard> rows;
        for (const auto& heard : a->recent())
            rows.append({QString::fromStdU16String(heard.app), QString::fromStdU16String(heard.who),
                         QString::fromStdU16String(heard.outcome)});
        return rows;
    };
    h.saying = [speaker]() -> std::optional<QString> {
        if (const auto& text = speaker->speaking())
            return QString::fromStdU16String(*text);
        return std::nullopt;
    };
    auto reader = h.setVolume;
    h.setVolume = [speaker, reader](float v) {
        if (reader)
            reader(v);
        speaker->player().setVolume(v);
    };
}

}  // namespace tovan
