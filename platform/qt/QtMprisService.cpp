#include "platform/qt/QtMprisService.h"

#include <unistd.h>

#include "platform/RunLoop.h"

#ifdef CORVIX_QT_DBUS
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#endif

namespace corvix {

#ifdef CORVIX_QT_DBUS
namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QVariantMap metadataOf(const MprisMetadata& m) {
    QVariantMap map;
    // A path the bus would refuse would take the whole answer down with it.
    const std::string& id = mprisIsObjectPath(m.trackId) ? m.trackId : std::string(kMprisNoTrack);
    map.insert("mpris:trackid", QVariant::fromValue(QDBusObjectPath(text(id))));
    if (m.lengthUs > 0) {
        map.insert("mpris:length", QVariant::fromValue<qlonglong>(m.lengthUs));
    }
    if (!m.title.empty()) {
        map.insert("xesam:title", text(m.title));
    }
    if (!m.artists.empty()) {
        QStringList artists;
        for (const auto& artist : m.artists) {
            artists << text(artist);
        }
        map.insert("xesam:artist", artists);
    }
    if (!m.album.empty()) {
        map.insert("xesam:album", text(m.album));
    }
    if (!m.artUrl.empty()) {
        map.insert("mpris:artUrl", text(m.artUrl));
    }
    return map;
}

/// org.mpris.MediaPlayer2: who we are. There is no window to raise and Quit belongs to the
/// hub's desktop process, so both are off.
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

  public:
    explicit MprisRootAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}

    bool canQuit() const { return false; }
    bool canRaise() const { return false; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Corvix"); }
    QString desktopEntry() const { return QStringLiteral("os.orbelune.Corvix"); }
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

  public Q_SLOTS:
    void Raise() {}
    void Quit() {}
};

/// org.mpris.MediaPlayer2.Player: the shown snapshot, and calls handed to the model.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

  public:
    MprisPlayerAdaptor(QObject* parent, const QtMprisService& service)
        : QDBusAbstractAdaptor(parent), service_(service) {}

    QString playbackStatus() const {
        return QString::fromUtf8(mprisPlaybackStatusName(shown().playbackStatus));
    }
    QString loopStatus() const {
        return QString::fromUtf8(mprisLoopStatusName(shown().loopStatus));
    }
    void setLoopStatus(const QString& value) {
        // A word the interface does not know changes nothing.
        if (auto status = mprisLoopStatusNamed(value.toStdString())) {
            MprisRequest r;
            r.kind = MprisRequest::Kind::SetLoopStatus;
            r.loopStatus = *status;
            service_.request(r);
        }
    }
    double rate() const { return 1.0; }
    void setRate(double) {}  // the hub plays at one speed
    bool shuffle() const { return shown().shuffle; }
    void setShuffle(bool value) {
        MprisRequest r;
        r.kind = MprisRequest::Kind::SetShuffle;
        r.shuffle = value;
        service_.request(r);
    }
    QVariantMap metadata() const { return metadataOf(shown().metadata); }
    double volume() const { return shown().volume; }
    void setVolume(double value) {
        MprisRequest r;
        r.kind = MprisRequest::Kind::SetVolume;
        r.volume = value;
        service_.request(r);
    }
    qlonglong position() const { return service_.position(); }
    bool canGoNext() const { return shown().canGoNext; }
    bool canGoPrevious() const { return shown().canGoPrevious; }
    bool canPlay() const { return shown().canPlay; }
    bool canPause() const { return shown().canPause; }
    bool canSeek() const { return shown().canSeek; }
    bool canControl() const { return shown().canControl; }

    void announceSeek(qlonglong position) { Q_EMIT Seeked(position); }

  public Q_SLOTS:
    void Next() { call(MprisRequest::Kind::Next); }
    void Previous() { call(MprisRequest::Kind::Previous); }
    void Pause() { call(MprisRequest::Kind::Pause); }
    void PlayPause() { call(MprisRequest::Kind::PlayPause); }
    void Stop() { call(MprisRequest::Kind::Stop); }
    void Play() { call(MprisRequest::Kind::Play); }
    void Seek(qlonglong Offset) {
        MprisRequest r;
        r.kind = MprisRequest::Kind::Seek;
        r.offsetUs = Offset;
        service_.request(r);
    }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        MprisRequest r;
        r.kind = MprisRequest::Kind::SetPosition;
        r.trackId = TrackId.path().toStdString();
        r.positionUs = Position;
        service_.request(r);
    }
    void OpenUri(const QString&) {}  // no URI schemes are offered

  Q_SIGNALS:
    void Seeked(qlonglong Position);

  private:
    const MprisSnapshot& shown() const { return service_.snapshot(); }
    void call(MprisRequest::Kind kind) const {
        MprisRequest r;
        r.kind = kind;
        service_.request(r);
    }

    const QtMprisService& service_;
};

QDBusConnection busNamed(const QString& name) {
    return name.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(name);
}

QDBusMessage busCall(const char* method, const QString& name) {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", QString::fromLatin1(method));
    call << name;
    return call;
}

}  // namespace
#endif

QtMprisService::QtMprisService(RunLoop& loop, const QString& busConnection)
    : loop_(loop), connectionName_(busConnection) {
#ifdef CORVIX_QT_DBUS
    QDBusConnection bus = busNamed(connectionName_);
    if (!bus.isConnected()) {
        return;
    }
    root_ = std::make_unique<QObject>();
    new MprisRootAdaptor(root_.get());
    playerAdaptor_ = new MprisPlayerAdaptor(root_.get(), *this);
    // Registering the object is local; the name is asked for once there is a player to show.
    available_ = bus.registerObject(kObjectPath, root_.get(), QDBusConnection::ExportAdaptors);
#endif
}

QtMprisService::~QtMprisService() {
#ifdef CORVIX_QT_DBUS
    if (available_) {
        QDBusConnection bus = busNamed(connectionName_);
        if (!ownedName_.isEmpty()) {
            bus.send(busCall("ReleaseName", ownedName_));
        }
        bus.unregisterObject(kObjectPath);
    }
#endif
}

std::int64_t QtMprisService::position() const {
    return wanted_ ? snapshot_.positionAt(loop_.wallClockMs()) : 0;
}

void QtMprisService::request(const MprisRequest& request) const {
    if (handler_ && wanted_) {
        handler_(request);
    }
}

void QtMprisService::publish(const std::optional<MprisSnapshot>& snapshot) {
    if (!available_) {
        return;
    }
#ifdef CORVIX_QT_DBUS
    const MprisSnapshot before = snapshot_;
    snapshot_ = snapshot.value_or(MprisSnapshot{});
    wanted_ = snapshot.has_value();
    if (!ownedName_.isEmpty() && wanted_) {
        QVariantMap changed;
        for (std::string_view name : changedMprisPlayerProperties(before, snapshot_)) {
            const QByteArray property(name.data(), static_cast<qsizetype>(name.size()));
            changed.insert(QString::fromLatin1(property), playerAdaptor_->property(property));
        }
        if (!changed.isEmpty()) {
            QDBusMessage signal = QDBusMessage::createSignal(
                kObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
            signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
            busNamed(connectionName_).send(signal);
        }
    }
    reconcileName();
#endif
}

void QtMprisService::seeked(std::int64_t positionUs) {
#ifdef CORVIX_QT_DBUS
    if (available_ && wanted_ && !ownedName_.isEmpty()) {
        static_cast<MprisPlayerAdaptor*>(playerAdaptor_)->announceSeek(positionUs);
    }
#else
    (void)positionUs;
#endif
}

void QtMprisService::reconcileName() {
#ifdef CORVIX_QT_DBUS
    if (requesting_ || gaveUp_) {
        return;  // the answer on its way reconciles again
    }
    if (wanted_ && ownedName_.isEmpty()) {
        requestName(QString::fromLatin1(kServiceName));
    } else if (!wanted_ && !ownedName_.isEmpty()) {
        busNamed(connectionName_).send(busCall("ReleaseName", ownedName_));
        ownedName_.clear();
        Q_EMIT ownedNameChanged();
    }
#endif
}

void QtMprisService::requestName(const QString& name) {
#ifdef CORVIX_QT_DBUS
    requesting_ = true;
    QDBusMessage call = busCall("RequestName", name);
    constexpr uint kDoNotQueue = 4;
    call << kDoNotQueue;
    auto* watcher = new QDBusPendingCallWatcher(busNamed(connectionName_).asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, name](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                requesting_ = false;
                const QDBusPendingReply<uint> reply = *finished;
                constexpr uint kPrimaryOwner = 1;
                constexpr uint kAlreadyOwner = 4;
                if (!reply.isError() &&
                    (reply.value() == kPrimaryOwner || reply.value() == kAlreadyOwner)) {
                    ownedName_ = name;
                    Q_EMIT ownedNameChanged();
                } else if (name == QLatin1String(kServiceName)) {
                    // Another Corvix on this bus (another display) shows its own player.
                    requestName(name + QStringLiteral(".instance%1").arg(::getpid()));
                    return;
                } else {
                    gaveUp_ = true;
                    return;
                }
                reconcileName();
            });
#else
    (void)name;
#endif
}

}  // namespace corvix

#ifdef CORVIX_QT_DBUS
#include "QtMprisService.moc"
#endif
