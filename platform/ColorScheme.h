#pragma once
// The desktop's light or dark preference: the settings portal's
// "org.freedesktop.appearance" "color-scheme" (GNOME, KDE and others answer
// it), else a GTK_THEME ending in ":dark". Watching reports a change made
// while the program runs.

#include <QObject>
#include <QString>
#include <QDBusVariant>
#include <QVariant>

class QDBusConnection;

namespace tovan {

class ColorScheme : public QObject {
    Q_OBJECT
public:
    enum class Scheme { noPreference, dark, light };

    // The preference as the portal's reply holds it (a number, possibly
    // wrapped in variants: 1 dark, 2 light, anything else none).
    static Scheme fromPortal(const QVariant& reply);
    // The preference a GTK_THEME value names ("Adwaita:dark").
    static Scheme fromGtkTheme(const QString& theme);

    // Asks the portal on `bus` (a short wait; no answer is no preference),
    // then the environment.
    static Scheme read(const QDBusConnection& bus);

    // Watches the portal for changes; `changed` carries the new scheme.
    explicit ColorScheme(const QDBusConnection& bus, QObject* parent = nullptr);

signals:
    void changed(tovan::ColorScheme::Scheme scheme);

private slots:
    void settingChanged(const QString& ns, const QString& key, const QDBusVariant& value);
};

}  // namespace tovan
