#include "MprisControls.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "DesktopEntry.h"

namespace tovan {

namespace {

const char* const playerInterface = "org.mpris.MediaPlayer2.Player";

qlonglong micros(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    double us = seconds * 1e6;
    return us >= 9.0e18 ? qlonglong(9.0e18) : qlonglong(us);
}

}  // namespace

// org.mpris.MediaPlayer2: the application itself. It neither raises a
// window nor quits on request.
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ schemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)
public:
    explicit MprisRoot(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    bool canQuit() const { return false; }
    bool canRaise() const { return false; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QString::fromUtf8(DesktopEntry::kName); }
    QString desktopEntry() const { return QString::fromUtf8(DesktopEntry::kId); }
    QStringList schemes() const { return {}; }
    QStringList mimeTypes() const { return {}; }
public slots:
    void Raise() {}
    void Quit() {}
};

// org.mpris.MediaPlayer2.Player: the reading as a track.
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(bool CanGoNext READ hasTrack)
    Q_PROPERTY(bool CanGoPrevious READ hasTrack)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    MprisPlayer(MprisControls* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}
    QString playbackStatus() const { return owner_->playbackStatus(); }
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return owner_->metadata(); }
    double volume() const { return owner_->volume(); }
    void setVolume(double v) { owner_->setVolume(v); }
    qlonglong position() const { return owner_->position(); }
    double one() const { return 1.0; }
    bool hasTrack() const { return !owner_->metadata().isEmpty(); }
    bool yes() const { return true; }
    bool no() const { return false; }
public slots:
    void Next() { owner_->call(QStringLiteral("Next")); }
    void Previous() { owner_->call(QStringLiteral("Previous")); }
    void Pause() { owner_->call(QStringLiteral("Pause")); }
    void PlayPause() { owner_->call(QStringLiteral("PlayPause")); }
    void Stop() { owner_->call(QStringLiteral("Stop")); }
    void Play() { owner_->call(QStringLiteral("Play")); }
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

private:
    MprisControls* owner_;
};

QString MprisControls::service() { return QStringLiteral("org.mpris.MediaPlayer2.tovantts"); }
QString MprisControls::path() { return QStringLiteral("/org/mpris/MediaPlayer2"); }

MprisControls::MprisControls(QDBusConnection connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection)) {
    new MprisRoot(this);
    new MprisPlayer(this);
    if (!connection_.isConnected()) return;
    bool object = connection_.registerObject(path(), this, QDBusConnection::ExportAdaptors);
    bool name = object && connection_.registerService(service());
    registered_ = object && name;
}

MprisControls::~MprisControls() {
    if (!connection_.isConnected()) return;
    if (registered_) connection_.unregisterService(service());
    connection_.unregisterObject(path());
}

void MprisControls::setCommands(Commands commands) { commands_ = std::move(commands); }

void MprisControls::setInfo(const std::optional<Info>& info, State state) {
    const bool newTrack = info.has_value() != info_.has_value() ||
                          (info && info_ && (info->title != info_->title || info->artist != info_->artist));
    if (newTrack && info) ++track_;
    info_ = info;
    if (state == State::playing) stopped_ = false;
    state_ = info && !stopped_ ? state : State::stopped;
    announce({QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata"), QStringLiteral("CanGoNext"),
              QStringLiteral("CanGoPrevious")});
}

QString MprisControls::playbackStatus() const {
    switch (state_) {
        case State::playing: return QStringLiteral("Playing");
        case State::paused: return QStringLiteral("Paused");
        case State::stopped: break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisControls::metadata() const {
    QVariantMap m;
    if (!info_) return m;
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/tovantts/TovanTTS/track/%1").arg(track_))));
    m.insert(QStringLiteral("mpris:length"), micros(info_->duration));
    m.insert(QStringLiteral("xesam:title"), info_->title);
    m.insert(QStringLiteral("xesam:artist"), QStringList{info_->artist});
    return m;
}

double MprisControls::volume() const { return commands_.volume ? commands_.volume() : 1.0; }

void MprisControls::setVolume(double v) {
    if (!commands_.setVolume || std::isnan(v)) return;
    commands_.setVolume(std::clamp(v, 0.0, 1.0));
    announce({QStringLiteral("Volume")});
}

qlonglong MprisControls::position() const { return info_ ? micros(info_->elapsed) : 0; }

double MprisControls::rate() const { return info_ ? info_->rate : 0.0; }

void MprisControls::call(const QString& method) {
    auto run = [](const std::function<void()>& f) {
        if (f) f();
    };
    if (method == QLatin1String("PlayPause"))
        run(commands_.toggle);
    else if (method == QLatin1String("Play"))
        run(commands_.play);
    else if (method == QLatin1String("Pause"))
        run(commands_.pause);
    else if (method == QLatin1String("Stop")) {
        run(commands_.pause);
        // The pause's own update may already have come and gone: report now.
        stopped_ = true;
        state_ = State::stopped;
        announce({QStringLiteral("PlaybackStatus")});
    }
    else if (method == QLatin1String("Next"))
        run(commands_.next);
    else if (method == QLatin1String("Previous"))
        run(commands_.previous);
}

void MprisControls::announce(const QStringList& names) {
    if (!registered_) return;
    QVariantMap changed;
    for (const QString& n : names) {
        if (n == QLatin1String("PlaybackStatus")) changed.insert(n, playbackStatus());
        if (n == QLatin1String("Metadata")) changed.insert(n, metadata());
        if (n == QLatin1String("CanGoNext") || n == QLatin1String("CanGoPrevious")) changed.insert(n, info_.has_value());
        if (n == QLatin1String("Volume")) changed.insert(n, volume());
    }
    QDBusMessage signal = QDBusMessage::createSignal(path(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(playerInterface) << changed << QStringList{QStringLiteral("Position")};
    connection_.send(signal);
}

}  // namespace tovan

#include "MprisControls.moc"
