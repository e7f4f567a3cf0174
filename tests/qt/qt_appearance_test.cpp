// The desktop's dark or light choice, read from a stand-in portal on a private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>

#include "QtTestSupport.h"
#include "platform/qt/QtAppearance.h"
#include "platform/ui/Color.h"

namespace corvix {
namespace {

/// The portal's Settings interface, answering "color-scheme" with `value` after `delayMs`.
class StandInPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

  public:
    int value = 1;
    int reads = 0;

  public Q_SLOTS:
    QDBusVariant Read(const QString& ns, const QString& key) {
        ++reads;
        if (ns != "org.freedesktop.appearance" || key != "color-scheme") {
            return QDBusVariant(0);
        }
        // Wrapped twice, as the portal does.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(value)));
    }
};

class QtAppearanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::app();
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) {
            GTEST_SKIP() << "dbus-daemon is not installed: no private bus for the portal";
        }
        bus_.start(daemon, {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        service_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, "corvix-test-portal"));
        ASSERT_TRUE(service_->isConnected());
        ASSERT_TRUE(service_->registerObject("/org/freedesktop/portal/desktop", &portal_,
                                             QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service_->registerService("org.freedesktop.portal.Desktop"));
        client_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, "corvix-test-client"));
        ASSERT_TRUE(client_->isConnected());
    }

    void TearDown() override {
        client_.reset();
        service_.reset();
        QDBusConnection::disconnectFromBus("corvix-test-client");
        QDBusConnection::disconnectFromBus("corvix-test-portal");
        bus_.kill();
        bus_.waitForFinished();
        Color::setCurrentScheme(ColorScheme::Light);
    }

    static bool waitFor(const std::function<bool()>& condition) {
        QElapsedTimer timer;
        timer.start();
        while (!condition() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return condition();
    }

    void announce(int value) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings", "SettingChanged");
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(value));
        service_->send(signal);
    }

    QProcess bus_;
    QString address_;
    StandInPortal portal_;
    std::unique_ptr<QDBusConnection> service_;
    std::unique_ptr<QDBusConnection> client_;
};

TEST_F(QtAppearanceTest, FollowsThePortalWithoutWaitingForItAtStartUp) {
    // The portal answers only once the event loop runs: the constructor must not wait.
    QtAppearance appearance("corvix-test-client");
    EXPECT_EQ(appearance.scheme(), ColorScheme::Light) << "the palette's scheme at first";
    int changes = 0;
    auto observer = appearance.onChange([&] { ++changes; });

    ASSERT_TRUE(waitFor([&] { return appearance.scheme() == ColorScheme::Dark; }));
    EXPECT_EQ(portal_.reads, 1);
    EXPECT_EQ(Color::currentScheme(), ColorScheme::Dark);
    EXPECT_EQ(changes, 1);
    // Qt's own widgets (the popup's ground, the settings window) follow: light text on dark.
    EXPECT_LT(QGuiApplication::palette().color(QPalette::Window).lightness(), 100);
    EXPECT_GT(QGuiApplication::palette().color(QPalette::WindowText).lightness(), 180);

    // A live change of the desktop's choice.
    announce(2);
    ASSERT_TRUE(waitFor([&] { return appearance.scheme() == ColorScheme::Light; }));
    EXPECT_EQ(changes, 2);
    EXPECT_GT(QGuiApplication::palette().color(QPalette::Window).lightness(), 180);
}

}  // namespace
}  // namespace corvix

#include "qt_appearance_test.moc"
