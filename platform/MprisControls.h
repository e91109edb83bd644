#pragma once
// Media controls over MPRIS2: the bus name org.mpris.MediaPlayer2.tovantts
// with the object /org/mpris/MediaPlayer2 (interfaces org.mpris.MediaPlayer2
// and org.mpris.MediaPlayer2.Player). Desktop panels and media keys call its
// methods; every change of what is shown is announced with PropertiesChanged.
// Seeking by offset is not offered (CanSeek is false). Stop pauses the
// reading and reports "Stopped" until it plays again. Volume is the reading
// player's loudness, 0 to 1.

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

#include "MediaControls.h"

namespace tovan {

class MprisControls final : public QObject, public MediaControls {
    Q_OBJECT
public:
    static QString service();  // "org.mpris.MediaPlayer2.tovantts"
    static QString path();     // "/org/mpris/MediaPlayer2"

    explicit MprisControls(QDBusConnection connection = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~MprisControls() override;
    // Whether the object and the name were registered.
    bool isRegistered() const { return registered_; }

    void setCommands(Commands commands) override;
    void setInfo(const std::optional<Info>& info, State state) override;

    // What the Player interface reports now.
    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong position() const;  // microseconds
    double rate() const;
    double volume() const;
    // A volume asked for over the bus: clamped to 0-1 (not a number is
    // ignored), handed to the player and announced.
    void setVolume(double volume);

    // Method calls, as the bus delivers them.
    void call(const QString& method);

private:
    void announce(const QStringList& names);

    QDBusConnection connection_;
    bool registered_ = false;
    Commands commands_;
    std::optional<Info> info_;
    State state_ = State::stopped;
    bool stopped_ = false;  // Stop was asked and nothing has played since
    qint64 track_ = 0;
};

}  // namespace tovan
