#pragma once
// The application's signals on the session bus: "event" (the JSON of one
// event from the command-line tool) and "dev" (a developer command), both on
// the object /org/tovantts/TovanTTS with the interface org.tovantts.TovanTTS
// and one string argument. The running application also owns the name
// org.tovantts.TovanTTS, which keeps it to one instance and tells the tool
// whether it runs.
//
// A Bus lives on the thread that made it (the main thread in the app); the
// received signals are emitted there.

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tovan {

class Bus : public QObject {
    Q_OBJECT
public:
    static QString service();    // "org.tovantts.TovanTTS"
    static QString path();       // "/org/tovantts/TovanTTS"
    static QString interface();  // "org.tovantts.TovanTTS"

    explicit Bus(QDBusConnection connection = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~Bus() override;

    QDBusConnection connection() const { return connection_; }
    bool isConnected() const { return connection_.isConnected(); }

    // Starts receiving the "event" and "dev" signals of any sender; true when
    // the bus accepted the match. Calling it again does nothing more.
    bool listen();
    // Claims the name without replacing an owner; false when another
    // connection owns it or there is no bus.
    bool claimName();
    // Gives the name up again (when this connection holds it).
    void releaseName();
    // Whether any connection owns the name.
    bool nameHasOwner() const;

    // Sends one signal; false when there is no bus or the message was refused.
    bool sendEvent(const QString& json) const;
    bool sendDev(const QString& command) const;
    static bool send(const QDBusConnection& connection, const QString& member, const QString& text);

signals:
    void eventReceived(const QString& json);
    void devReceived(const QString& command);

private slots:
    void onEvent(const QString& json);
    void onDev(const QString& command);

private:
    QDBusConnection connection_;
    bool listening_ = false;
    bool ownsName_ = false;
};

}  // namespace tovan
