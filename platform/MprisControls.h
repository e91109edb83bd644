#pragma once
// Media controls over MPRIS2: the bus name org.mpris.MediaPlayer2.tovantts
// with the object /org/mpris/MediaPlayer2 (interfaces org.mpris.MediaPlayer2
// and org.mpris.MediaPlayer2.Player). Desktop panels and media keys call its
// methods; every change of what is shown is announced with PropertiesChanged.
// Seeking by offset is not offered (CanSeek is false).

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

    // Method calls, as the bus delivers them.
    void call(const QString& method);

private:
    void announce(const QStringList& names);

    QDBusConnection connection_;
    bool registered_ = false;
    Commands commands_;
    std::optional<Info> info_;
    State state_ = State::stopped;
    qint64 track_ = 0;
};

}  // namespace tovan
