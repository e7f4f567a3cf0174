// The desktop's media controls on a private bus, read and called as a desktop would.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>

#include "QtTestSupport.h"
#include "platform/qt/QtMprisService.h"
#include "platform/qt/QtRunLoop.h"

namespace corvix {
namespace {

constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kRoot = "org.mpris.MediaPlayer2";

/// What a desktop hears on the properties interface.
class SignalRecorder : public QObject {
    Q_OBJECT

  public:
    std::vector<QVariantMap> changes;
    std::vector<qlonglong> seeks;

  public Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == kPlayer) {
            changes.push_back(changed);
        }
    }
    void seeked(qlonglong position) { seeks.push_back(position); }
};

bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return condition();
}

MprisSnapshot playingSnapshot(double nowMs) {
    MprisSnapshot s;
    s.metadata = {"/os/orbelune/Corvix/track/t1",  "Northern Lights", {"Ada Vance"}, "Polar",
                  "http://127.0.0.1:8787/art.jpg", 240'000'000};
    s.playbackStatus = MprisPlaybackStatus::Playing;
    s.positionUs = 60'000'000;
    s.sampledAtMs = nowMs;
    s.volume = 0.35;
    s.shuffle = true;
    s.loopStatus = MprisLoopStatus::Track;
    s.canGoNext = s.canGoPrevious = s.canPlay = s.canPause = s.canSeek = s.canControl = true;
    return s;
}

/// A private bus daemon with one connection for the service and one for the desktop.
class QtMprisServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::app();
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) {
            GTEST_SKIP() << "dbus-daemon is not installed: no private bus for the media controls";
        }
        bus_.start(daemon, {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        ASSERT_TRUE(QDBusConnection::connectToBus(address_, "corvix-test-mpris").isConnected());
        desktop_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, "corvix-test-desktop"));
        ASSERT_TRUE(desktop_->isConnected());
        desktop_->connect(QString(), QtMprisService::kObjectPath, "org.freedesktop.DBus.Properties",
                          "PropertiesChanged", &signals_,
                          SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        desktop_->connect(QString(), QtMprisService::kObjectPath, kPlayer, "Seeked", &signals_,
                          SLOT(seeked(qlonglong)));
    }

    void TearDown() override {
        desktop_.reset();
        QDBusConnection::disconnectFromBus("corvix-test-desktop");
        QDBusConnection::disconnectFromBus("corvix-test-mpris");
        if (bus_.state() != QProcess::NotRunning) {
            bus_.kill();
            bus_.waitForFinished();
        }
    }

    /// A call from the desktop, answered while the event loop runs.
    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QtMprisService::kServiceName, QtMprisService::kObjectPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = desktop_->asyncCall(message);
        EXPECT_TRUE(waitFor([&] { return pending.isFinished(); })) << method.toStdString();
        return pending.reply();
    }
    QVariant property(const char* interface, const char* name) {
        const QDBusMessage reply =
            call("org.freedesktop.DBus.Properties", "Get", {interface, name});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << name << ": " << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QVariantMap metadata() {
        return qdbus_cast<QVariantMap>(property(kPlayer, "Metadata").value<QDBusArgument>());
    }
    bool nameHasOwner() {
        QDBusMessage message =
            QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus", "NameHasOwner");
        message << QString(QtMprisService::kServiceName);
        QDBusPendingCall pending = desktop_->asyncCall(message);
        waitFor([&] { return pending.isFinished(); });
        return pending.reply().arguments().value(0).toBool();
    }

    QProcess bus_;
    QString address_;
    std::unique_ptr<QDBusConnection> desktop_;
    SignalRecorder signals_;
    QtRunLoop loop_;
};

TEST_F(QtMprisServiceTest, TheDesktopReadsThePlayerOnceThereIsOne) {
    QtMprisService service(loop_, "corvix-test-mpris");
    ASSERT_TRUE(service.available());
    EXPECT_FALSE(nameHasOwner()) << "no name before there is a player to show";

    service.publish(playingSnapshot(loop_.wallClockMs()));
    ASSERT_TRUE(waitFor([&] { return !service.ownedName().isEmpty(); }));
    EXPECT_EQ(service.ownedName(), QtMprisService::kServiceName);
    EXPECT_TRUE(nameHasOwner());

    EXPECT_EQ(property(kRoot, "Identity").toString(), "Corvix");
    const QString entry = property(kRoot, "DesktopEntry").toString();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(CORVIX_FIXTURES_DIR) / "../../data" /
                                        (entry.toStdString() + ".desktop")))
        << "the desktop entry names the installed desktop file";
    for (const char* name : {"CanQuit", "CanRaise", "HasTrackList"}) {
        EXPECT_EQ(property(kRoot, name), QVariant(false)) << name;
    }
    EXPECT_TRUE(property(kRoot, "SupportedUriSchemes").toStringList().isEmpty());

    const QVariantMap m = metadata();
    EXPECT_EQ(m.value("mpris:trackid").value<QDBusObjectPath>().path(),
              "/os/orbelune/Corvix/track/t1");
    EXPECT_EQ(m.value("xesam:title").toString(), "Northern Lights");
    EXPECT_EQ(m.value("xesam:artist").toStringList(), QStringList{"Ada Vance"});
    EXPECT_EQ(m.value("xesam:album").toString(), "Polar");
    EXPECT_EQ(m.value("mpris:artUrl").toString(), "http://127.0.0.1:8787/art.jpg");
    EXPECT_EQ(m.value("mpris:length").metaType(), QMetaType::fromType<qlonglong>());
    EXPECT_EQ(m.value("mpris:length").toLongLong(), 240'000'000);

    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), "Playing");
    EXPECT_EQ(property(kPlayer, "LoopStatus").toString(), "Track");
    EXPECT_EQ(property(kPlayer, "Shuffle"), QVariant(true));
    EXPECT_DOUBLE_EQ(property(kPlayer, "Volume").toDouble(), 0.35);
    EXPECT_GE(property(kPlayer, "Position").toLongLong(), 60'000'000);
    EXPECT_EQ(property(kPlayer, "Position").metaType(), QMetaType::fromType<qlonglong>());
    for (const char* name :
         {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanSeek", "CanControl"}) {
        EXPECT_EQ(property(kPlayer, name), QVariant(true)) << name;
    }

    // A GLib client (as the desktop shells are) sees the wire types the interface asks for.
    const QString gdbus = QStandardPaths::findExecutable("gdbus");
    if (!gdbus.isEmpty()) {
        QProcess process;
        process.start(gdbus, {"call", "--address", address_, "--dest", QtMprisService::kServiceName,
                              "--object-path", QtMprisService::kObjectPath, "--method",
                              "org.freedesktop.DBus.Properties.Get", kPlayer, "Metadata"});
        ASSERT_TRUE(waitFor([&] { return process.state() == QProcess::NotRunning; }));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_TRUE(out.contains("'mpris:trackid': <objectpath '/os/orbelune/Corvix/track/t1'>"))
            << out.toStdString();
        EXPECT_TRUE(out.contains("'mpris:length': <int64 240000000>")) << out.toStdString();
        EXPECT_TRUE(out.contains("'xesam:artist': <['Ada Vance']>")) << out.toStdString();
    }
}

TEST_F(QtMprisServiceTest, OnlyWhatChangedIsAnnouncedAndJumpsAreSignalled) {
    QtMprisService service(loop_, "corvix-test-mpris");
    MprisSnapshot shown = playingSnapshot(loop_.wallClockMs());
    service.publish(shown);
    ASSERT_TRUE(waitFor([&] { return !service.ownedName().isEmpty(); }));

    shown.playbackStatus = MprisPlaybackStatus::Paused;
    service.publish(shown);
    ASSERT_TRUE(waitFor([&] { return signals_.changes.size() == 1; }));
    EXPECT_EQ(signals_.changes[0].keys(), QStringList{"PlaybackStatus"});
    EXPECT_EQ(signals_.changes[0].value("PlaybackStatus").toString(), "Paused");

    // The same again says nothing; the next change comes alone.
    service.publish(shown);
    shown.volume = 0.8;
    shown.positionUs = 1'000'000;
    service.publish(shown);
    ASSERT_TRUE(waitFor([&] { return signals_.changes.size() >= 2; }));
    ASSERT_EQ(signals_.changes.size(), 2u);
    EXPECT_EQ(signals_.changes[1].keys(), QStringList{"Volume"});

    service.seeked(1'000'000);
    ASSERT_TRUE(waitFor([&] { return !signals_.seeks.empty(); }));
    EXPECT_EQ(signals_.seeks, std::vector<qlonglong>{1'000'000});

    // Withdrawn: the name goes, and comes back with the next player.
    service.publish(std::nullopt);
    ASSERT_TRUE(waitFor([&] { return !nameHasOwner(); }));
    service.publish(shown);
    ASSERT_TRUE(waitFor([&] { return nameHasOwner(); }));
}

TEST_F(QtMprisServiceTest, ASecondCorvixOnTheBusTakesAnInstanceName) {
    QtMprisService first(loop_, "corvix-test-mpris");
    first.publish(playingSnapshot(loop_.wallClockMs()));
    ASSERT_TRUE(waitFor([&] { return !first.ownedName().isEmpty(); }));

    ASSERT_TRUE(QDBusConnection::connectToBus(address_, "corvix-test-mpris-2").isConnected());
    {
        QtMprisService second(loop_, "corvix-test-mpris-2");
        second.publish(playingSnapshot(loop_.wallClockMs()));
        ASSERT_TRUE(waitFor([&] { return !second.ownedName().isEmpty(); }));
        EXPECT_TRUE(
            second.ownedName().startsWith(QString(QtMprisService::kServiceName) + ".instance"))
            << second.ownedName().toStdString();
    }
    QDBusConnection::disconnectFromBus("corvix-test-mpris-2");
    EXPECT_EQ(first.ownedName(), QtMprisService::kServiceName);
}

TEST_F(QtMprisServiceTest, CallsAndWritesArriveWithTheirArguments) {
    QtMprisService service(loop_, "corvix-test-mpris");
    std::vector<MprisRequest> received;
    service.setRequestHandler([&](const MprisRequest& r) { received.push_back(r); });
    service.publish(playingSnapshot(loop_.wallClockMs()));
    ASSERT_TRUE(waitFor([&] { return !service.ownedName().isEmpty(); }));

    using Kind = MprisRequest::Kind;
    auto set = [&](const char* name, const QVariant& value) {
        return call("org.freedesktop.DBus.Properties", "Set",
                    {kPlayer, name, QVariant::fromValue(QDBusVariant(value))});
    };
    call(kPlayer, "Next");
    call(kPlayer, "PlayPause");
    call(kPlayer, "Seek", {QVariant::fromValue<qlonglong>(-5'000'000)});
    call(kPlayer, "SetPosition",
         {QVariant::fromValue(QDBusObjectPath("/os/orbelune/Corvix/track/t1")),
          QVariant::fromValue<qlonglong>(7'000'000)});
    EXPECT_EQ(set("Volume", 0.5).type(), QDBusMessage::ReplyMessage);
    set("Shuffle", false);
    set("LoopStatus", "Playlist");
    set("LoopStatus", "Sometimes");  // not a loop status: nothing
    call(kRoot, "Raise");

    ASSERT_EQ(received.size(), 7u);
    const Kind kinds[] = {Kind::Next,      Kind::PlayPause,  Kind::Seek,         Kind::SetPosition,
                          Kind::SetVolume, Kind::SetShuffle, Kind::SetLoopStatus};
    for (std::size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].kind, kinds[i]) << i;
    }
    EXPECT_EQ(received[2].offsetUs, -5'000'000);
    EXPECT_EQ(received[3].trackId, "/os/orbelune/Corvix/track/t1");
    EXPECT_EQ(received[3].positionUs, 7'000'000);
    EXPECT_DOUBLE_EQ(received[4].volume, 0.5);
    EXPECT_FALSE(received[5].shuffle);
    EXPECT_EQ(received[6].loopStatus, MprisLoopStatus::Playlist);

    // A withdrawn player takes no calls.
    service.publish(std::nullopt);
    call(kPlayer, "Next");
    EXPECT_EQ(received.size(), 7u);
}

TEST(QtMprisServiceWithoutABus, IsUnavailableAndDoesNothing) {
    testing::app();
    ASSERT_FALSE(
        QDBusConnection::connectToBus("unix:path=/nonexistent/corvix-no-bus", "corvix-test-nobus")
            .isConnected());
    QtRunLoop loop;
    QtMprisService service(loop, "corvix-test-nobus");
    EXPECT_FALSE(service.available());
    service.publish(MprisSnapshot{});
    service.seeked(1);
    EXPECT_TRUE(service.ownedName().isEmpty());
    QDBusConnection::disconnectFromBus("corvix-test-nobus");
}

}  // namespace
}  // namespace corvix

#include "qt_mpris_service_test.moc"
