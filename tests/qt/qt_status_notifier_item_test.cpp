// The tray item on a private bus, with a stand-in StatusNotifierWatcher and a panel that reads
// and clicks the item as a real one would.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <set>

#include "QtTestSupport.h"
#include "platform/qt/QtMenuPopup.h"
#include "platform/qt/QtStatusBar.h"
#include "platform/qt/QtStatusNotifierItem.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/Symbols.h"

namespace corvix {
namespace {

constexpr const char* kItem = "org.kde.StatusNotifierItem";
constexpr const char* kMenu = "com.canonical.dbusmenu";

/// The panel side of org.kde.StatusNotifierWatcher: remembers who registered.
class StandInWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

  public:
    QStringList registered;

  public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { registered << service; }
};

bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return condition();
}

struct WirePixmap {
    int width = 0;
    int height = 0;
    QByteArray data;
};

std::vector<WirePixmap> pixmapsFrom(const QVariant& value) {
    std::vector<WirePixmap> list;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        WirePixmap p;
        argument.beginStructure();
        argument >> p.width >> p.height >> p.data;
        argument.endStructure();
        list.push_back(p);
    }
    argument.endArray();
    return list;
}

/// The mean grey of the opaque pixels of a pixmap on the wire (A, R, G, B bytes); -1 for none.
int opaqueGrey(const WirePixmap& p) {
    long sum = 0;
    long count = 0;
    for (qsizetype i = 0; i + 3 < p.data.size(); i += 4) {
        if (static_cast<unsigned char>(p.data[i]) == 255) {
            for (int c = 1; c <= 3; ++c) {
                sum += static_cast<unsigned char>(p.data[i + c]);
            }
            count += 3;
        }
    }
    return count ? static_cast<int>(sum / count) : -1;
}

class QtStatusNotifierItemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::app();
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) {
            GTEST_SKIP() << "dbus-daemon is not installed: no private bus for the tray item";
        }
        bus_.start(daemon, {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        ASSERT_TRUE(QDBusConnection::connectToBus(address_, "corvix-test-sni").isConnected());
        panel_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, "corvix-test-panel"));
        ASSERT_TRUE(panel_->isConnected());
        // The program's symbolic icon, installed where icon themes look.
        ASSERT_TRUE(icons_.isValid());
        const std::filesystem::path apps =
            std::filesystem::path(icons_.path().toStdString()) / "icons/hicolor/symbolic/apps";
        std::filesystem::create_directories(apps);
        std::filesystem::copy_file(std::filesystem::path(CORVIX_FIXTURES_DIR) /
                                       "../../data/icons/os.orbelune.Corvix-symbolic.svg",
                                   apps / "os.orbelune.Corvix-symbolic.svg");
        dataDirs_ = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", icons_.path().toUtf8());
    }

    void TearDown() override {
        qputenv("XDG_DATA_DIRS", dataDirs_);
        bar_.reset();
        if (panel_) {
            panel_->unregisterService(QtStatusNotifierItem::kWatcherService);
            panel_->unregisterObject(QtStatusNotifierItem::kWatcherPath);
        }
        panel_.reset();
        QDBusConnection::disconnectFromBus("corvix-test-panel");
        QDBusConnection::disconnectFromBus("corvix-test-sni");
        if (bus_.state() != QProcess::NotRunning) {
            bus_.kill();
            bus_.waitForFinished();
        }
    }

    void startWatcher() {
        ASSERT_TRUE(panel_->registerObject(QtStatusNotifierItem::kWatcherPath, &watcher_,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(panel_->registerService(QtStatusNotifierItem::kWatcherService));
    }
    void stopWatcher() {
        panel_->unregisterService(QtStatusNotifierItem::kWatcherService);
        panel_->unregisterObject(QtStatusNotifierItem::kWatcherPath);
    }

    /// The program's item as the delegate sets it up: the house symbol and a small menu.
    std::shared_ptr<StatusItem> makeItem() {
        bar_ = std::make_unique<QtStatusBar>("corvix-test-sni");
        auto item = bar_->statusItem(StatusItem::VariableLength);
        auto image = systemSymbolImage("house.fill", "Orbelune OS");
        image->setTemplate(true);
        item->setImage(image);
        item->setToolTip("Orbelune OS is not reachable\nConnection refused");
        menu_ = std::make_shared<Menu>();
        for (const char* title : {"Living Room", "Scenes", "Settings...", "Quit"}) {
            menu_->addItem(MenuItem::make(title));
        }
        item->setMenu(menu_);
        return item;
    }

    QString itemService() const { return watcher_.registered.value(0); }

    /// A call from the panel, answered while the event loop runs.
    QDBusMessage call(const char* path, const char* interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            itemService(), QString::fromLatin1(path), QString::fromLatin1(interface), method);
        message.setArguments(arguments);
        QDBusPendingCall pending = panel_->asyncCall(message);
        EXPECT_TRUE(waitFor([&] { return pending.isFinished(); })) << method.toStdString();
        EXPECT_EQ(pending.reply().type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << pending.reply().errorMessage().toStdString();
        return pending.reply();
    }
    QVariant property(const char* path, const char* interface, const char* name) {
        const QDBusMessage reply =
            call(path, "org.freedesktop.DBus.Properties", "Get", {interface, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QVariant itemProperty(const char* name) {
        return property(QtStatusNotifierItem::kItemPath, kItem, name);
    }
    /// What a GLib panel reads (xfce4-panel and waybar are GLib clients).
    QString gdbusCall(const QStringList& arguments) {
        const QString gdbus = QStandardPaths::findExecutable("gdbus");
        if (gdbus.isEmpty()) {
            return {};
        }
        QProcess process;
        process.start(
            gdbus, QStringList{"call", "--address", address_, "--dest", itemService()} + arguments);
        EXPECT_TRUE(waitFor([&] { return process.state() == QProcess::NotRunning; }));
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    }
    QtMenuPopup* openPopup(const StatusItem& item) {
        QtMenuPopup* popup = bar_->popupOf(item);
        return popup && popup->isVisible() ? popup : nullptr;
    }

    QProcess bus_;
    QString address_;
    std::unique_ptr<QDBusConnection> panel_;
    StandInWatcher watcher_;
    QTemporaryDir icons_;
    QByteArray dataDirs_;
    std::shared_ptr<Menu> menu_;
    std::unique_ptr<QtStatusBar> bar_;
};

TEST_F(QtStatusNotifierItemTest, APanelRunningFirstGetsTheItemWithItsIconAndToolTip) {
    startWatcher();
    auto item = makeItem();
    ASSERT_TRUE(waitFor([&] { return bar_->isOnStatusNotifierHost(*item); }));
    ASSERT_EQ(watcher_.registered.size(), 1);
    EXPECT_TRUE(itemService().startsWith("org.kde.StatusNotifierItem-"))
        << itemService().toStdString();
    EXPECT_FALSE(bar_->isOnXEmbedTray(*item)) << "no second icon beside the panel's";

    EXPECT_EQ(itemProperty("IconName").toString(), "os.orbelune.Corvix-symbolic");
    EXPECT_EQ(itemProperty("Category").toString(), "ApplicationStatus");
    EXPECT_EQ(itemProperty("Id").toString(), "os.orbelune.Corvix");
    EXPECT_EQ(itemProperty("Title").toString(), "Corvix");
    EXPECT_EQ(itemProperty("Status").toString(), "Active");
    EXPECT_EQ(itemProperty("ItemIsMenu"), QVariant(false));
    EXPECT_EQ(itemProperty("Menu").value<QDBusObjectPath>().path(), "/MenuBar");

    // Several sizes, each its own square picture, opaque where the house is: ARGB with alpha
    // first on the wire, whatever the machine's byte order.
    const auto pixmaps = pixmapsFrom(itemProperty("IconPixmap"));
    ASSERT_GE(pixmaps.size(), 3u);
    std::set<int> sides;
    for (const auto& p : pixmaps) {
        ASSERT_EQ(p.width, p.height);
        ASSERT_EQ(p.data.size(), p.width * p.height * 4);
        sides.insert(p.width);
        int opaque = 0;
        for (qsizetype i = 0; i < p.data.size(); i += 4) {
            opaque += static_cast<unsigned char>(p.data[i]) == 255;
        }
        EXPECT_GT(opaque, p.width * p.height / 8) << p.width;
    }
    EXPECT_TRUE(sides.count(22) && sides.count(44)) << "the common panel sizes and their doubles";

    // The tool tip and the pixmaps with the wire types a GLib panel asks for.
    const QString tip = gdbusCall({"--object-path", "/StatusNotifierItem", "--method",
                                   "org.freedesktop.DBus.Properties.Get", kItem, "ToolTip"});
    if (!tip.isEmpty()) {
        EXPECT_TRUE(
            tip.contains("'os.orbelune.Corvix-symbolic', @a(iiay) [], "
                         "'Orbelune OS is not reachable', 'Connection refused'"))
            << tip.toStdString();
    }
    const QString pixmapText =
        gdbusCall({"--object-path", "/StatusNotifierItem", "--method",
                   "org.freedesktop.DBus.Properties.Get", kItem, "IconPixmap"});
    if (!pixmapText.isEmpty()) {
        EXPECT_TRUE(pixmapText.startsWith("(<[(16, 16, [byte")) << pixmapText.toStdString();
    }

    // A hidden item is passive: the panel may leave it out.
    item->setVisible(false);
    EXPECT_EQ(itemProperty("Status").toString(), "Passive");
}

TEST_F(QtStatusNotifierItemTest, APanelStartedLaterOrRestartedGetsTheItemAgain) {
    auto item = makeItem();
    // No watcher: the XEmbed icon stands in, once the bus has said so.
    ASSERT_TRUE(waitFor([&] { return bar_->isOnXEmbedTray(*item); }));
    EXPECT_FALSE(bar_->isOnStatusNotifierHost(*item));

    startWatcher();
    ASSERT_TRUE(waitFor([&] { return bar_->isOnStatusNotifierHost(*item); }));
    EXPECT_EQ(watcher_.registered.size(), 1);
    EXPECT_FALSE(bar_->isOnXEmbedTray(*item)) << "the XEmbed icon goes when the panel has ours";

    // The panel quits: the XEmbed icon comes back; the panel returns: registered once more.
    stopWatcher();
    ASSERT_TRUE(waitFor([&] { return bar_->isOnXEmbedTray(*item); }));
    startWatcher();
    ASSERT_TRUE(waitFor([&] { return watcher_.registered.size() == 2; }));
    EXPECT_EQ(watcher_.registered[1], watcher_.registered[0]);
    ASSERT_TRUE(waitFor([&] { return bar_->isOnStatusNotifierHost(*item); }));
    EXPECT_FALSE(bar_->isOnXEmbedTray(*item));
}

TEST_F(QtStatusNotifierItemTest, ClicksOpenTheMenuAtTheHostsPointOnScreen) {
    startWatcher();
    auto item = makeItem();
    ASSERT_TRUE(waitFor([&] { return bar_->isOnStatusNotifierHost(*item); }));
    using testing::kScreenHeight;
    using testing::kScreenWidth;

    // A bottom panel: the menu stands on the point, and stays on the screen at the right edge.
    call(QtStatusNotifierItem::kItemPath, kItem, "Activate",
         {kScreenWidth - 20, kScreenHeight - 10});
    QtMenuPopup* popup = nullptr;
    ASSERT_TRUE(waitFor([&] { return (popup = openPopup(*item)) != nullptr; }));
    QRect at = popup->geometry();
    EXPECT_EQ(at.bottom() + 1, kScreenHeight - 10);
    EXPECT_LE(at.right(), kScreenWidth - 1);
    EXPECT_GE(at.right(), kScreenWidth - 40) << "beside the point, not anywhere on screen";
    popup->hide();

    // A top panel's right click: the menu hangs below the point.
    call(QtStatusNotifierItem::kItemPath, kItem, "ContextMenu", {300, 12});
    ASSERT_TRUE(waitFor([&] { return (popup = openPopup(*item)) != nullptr; }));
    at = popup->geometry();
    EXPECT_EQ(at.top(), 13);
    EXPECT_EQ(at.left(), 300);
    popup->hide();
}

TEST_F(QtStatusNotifierItemTest, TheEmptyDbusmenuOpensTheProgramsMenuAndAMiddleClickPlays) {
    startWatcher();
    auto item = makeItem();
    int secondary = 0;
    item->setSecondaryAction([&] { ++secondary; });
    ASSERT_TRUE(waitFor([&] { return bar_->isOnStatusNotifierHost(*item); }));

    EXPECT_EQ(property(QtStatusNotifierItem::kMenuPath, kMenu, "Version").toUInt(), 3u);
    EXPECT_EQ(property(QtStatusNotifierItem::kMenuPath, kMenu, "Status").toString(), "normal");
    const QString layout = gdbusCall({"--object-path", "/MenuBar", "--method",
                                      "com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "[]"});
    if (!layout.isEmpty()) {
        EXPECT_EQ(layout.trimmed(), "(uint32 1, (0, {'children-display': <'submenu'>}, @av []))");
    }

    // A host about to show the (empty) menu gets "nothing to update", then the program's menu.
    const QDBusMessage answer = call(QtStatusNotifierItem::kMenuPath, kMenu, "AboutToShow", {0});
    EXPECT_EQ(answer.arguments().value(0), QVariant(false));
    QtMenuPopup* popup = nullptr;
    ASSERT_TRUE(waitFor([&] { return (popup = openPopup(*item)) != nullptr; }));
    // The "opened" event the same host sends next opens no second menu.
    call(QtStatusNotifierItem::kMenuPath, kMenu, "Event",
         {0, "opened", QVariant::fromValue(QDBusVariant(QString())), 0u});
    QCoreApplication::processEvents();
    EXPECT_EQ(bar_->popupOf(*item), popup);
    popup->hide();

    // A GLib host that only sends the event (in a group) opens it as well.
    const QString events =
        gdbusCall({"--object-path", "/MenuBar", "--method", "com.canonical.dbusmenu.EventGroup",
                   "[(0, 'opened', <''>, uint32 0)]"});
    if (!events.isEmpty()) {
        EXPECT_EQ(events.trimmed(), "(@ai [],)");
        EXPECT_TRUE(waitFor([&] { return openPopup(*item) != nullptr; }));
        openPopup(*item)->hide();
    }
    // Events for other rows, or other events, open nothing.
    call(QtStatusNotifierItem::kMenuPath, kMenu, "Event",
         {0, "closed", QVariant::fromValue(QDBusVariant(QString())), 0u});
    call(QtStatusNotifierItem::kMenuPath, kMenu, "AboutToShow", {7});
    QCoreApplication::processEvents();
    EXPECT_EQ(openPopup(*item), nullptr);

    call(QtStatusNotifierItem::kItemPath, kItem, "SecondaryActivate", {10, 10});
    EXPECT_TRUE(waitFor([&] { return secondary == 1; }));
    EXPECT_EQ(openPopup(*item), nullptr) << "a middle click opens no menu";
}

TEST_F(QtStatusNotifierItemTest, TheIconIsLightOnADarkDesktopAndAsTheUserChose) {
    startWatcher();
    const ColorScheme before = Color::currentScheme();
    Color::setCurrentScheme(ColorScheme::Dark);
    auto item = makeItem();
    ASSERT_TRUE(waitFor([&] { return bar_->isOnStatusNotifierHost(*item); }));
    auto grey = [&] {
        const auto pixmaps = pixmapsFrom(itemProperty("IconPixmap"));
        return pixmaps.empty() ? -1 : opaqueGrey(pixmaps[1]);
    };
    // Automatic on a dark desktop: white, and the symbolic icon's name for panels that
    // recolour it themselves.
    EXPECT_EQ(grey(), 255);
    EXPECT_EQ(itemProperty("IconName").toString(), "os.orbelune.Corvix-symbolic");

    // A colour the user chose is the pictures' alone: no name a panel would prefer to them.
    item->setIconStyle(StatusItemIconStyle::Dark);
    EXPECT_EQ(grey(), 0);
    EXPECT_EQ(itemProperty("IconName").toString(), "");
    item->setIconStyle(StatusItemIconStyle::Light);
    EXPECT_EQ(grey(), 255);

    // Automatic again, on a light desktop: dark.
    Color::setCurrentScheme(ColorScheme::Light);
    item->setIconStyle(StatusItemIconStyle::Automatic);
    EXPECT_EQ(grey(), 0);
    EXPECT_EQ(itemProperty("IconName").toString(), "os.orbelune.Corvix-symbolic");
    Color::setCurrentScheme(before);
}

}  // namespace
}  // namespace corvix

#include "qt_status_notifier_item_test.moc"
