#include "platform/qt/QtStatusBar.h"

#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#ifdef CORVIX_QT_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/QtMenuPopup.h"
#include "platform/qt/QtStatusNotifierItem.h"

namespace corvix {

struct QtStatusBar::Entry {
    std::shared_ptr<StatusItem> item;
    std::unique_ptr<QtStatusNotifierItem> notifierItem;
    /// The XEmbed icon, made the first time no watcher has the item.
    std::unique_ptr<QSystemTrayIcon> icon;
    QPointer<QtMenuPopup> popup;
    // What the pictures were last drawn from, so that the many changes of title and tool tip
    // do not draw them again.
    const Image* drawnImage = nullptr;
    QRgb drawnTint = 0;
    QList<QImage> images;
    QString iconName;
};

QtStatusBar::QtStatusBar(const QString& busConnection) : connectionName_(busConnection) {}

QtStatusBar::~QtStatusBar() {
    for (auto& e : entries_) {
        delete e->popup;
    }
}

namespace {

// The program's own symbolic icon, when it is installed into the icon theme.
constexpr char kThemeIconName[] = "os.orbelune.Corvix-symbolic";
// Every common panel size gets its own rendering, so none is scaled from another and blurred.
constexpr int kIconSides[] = {16, 22, 24, 32, 44, 64};

bool isProgramIcon(const Image& image) {
    return image.isTemplate() && image.symbol() && image.symbol()->name == "house.fill";
}

/// Whether the symbolic icon is installed where an icon theme finds it: a panel given a name
/// it cannot find may show a "missing" picture instead of the pixmaps.
bool themeIconInstalled() {
    const QString file = QStringLiteral("%1.svg").arg(QLatin1String(kThemeIconName));
    for (const char* folder : {"icons/hicolor/symbolic/apps/", "icons/hicolor/scalable/apps/"}) {
        if (!QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                    QLatin1String(folder) + file)
                 .isEmpty()) {
            return true;
        }
    }
    return false;
}

/// The program's icon at `side` pixels in `tint`: the installed symbolic icon where Qt can read
/// it (its SVG plugins), else the house symbol it is drawn after.
QImage programIconImage(const Image& image, int side, const Color& tint) {
    const QString name = QString::fromLatin1(kThemeIconName);
    if (themeIconInstalled() && QIcon::hasThemeIcon(name)) {
        QImage picture = QIcon::fromTheme(name).pixmap(QSize(side, side)).toImage();
        if (picture.size() == QSize(side, side)) {
            picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&picture);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(picture.rect(), toQColor(tint));
            return picture;
        }
    }
    return renderImage(image, QSize(side, side), tint);
}

/// The text colour an XEmbed tray announces for its icons (_NET_SYSTEM_TRAY_COLORS on the
/// tray's manager window); none where the tray says nothing, or off X11.
std::optional<QColor> xembedTrayForeground() {
#ifdef CORVIX_QT_XCB
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return std::nullopt;
    }
    xcb_connection_t* connection = x11->connection();
    auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    };
    static const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    static const xcb_atom_t colors = atom("_NET_SYSTEM_TRAY_COLORS");
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const xcb_window_t tray = owner ? owner->owner : xcb_window_t(XCB_NONE);
    std::free(owner);
    if (tray == XCB_NONE) {
        return std::nullopt;
    }
    // Twelve cardinals of 16-bit channels: the foreground first, then error, warning, success.
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, tray, colors, XCB_ATOM_CARDINAL, 0, 12),
        nullptr);
    std::optional<QColor> foreground;
    if (reply && reply->format == 32 && reply->value_len >= 3) {
        const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        foreground =
            QColor::fromRgba64(std::uint16_t(v[0]), std::uint16_t(v[1]), std::uint16_t(v[2]));
    }
    std::free(reply);
    return foreground;
#else
    return std::nullopt;
#endif
}

QString toolTipOf(const StatusItem& item) {
    return QString::fromStdString(item.toolTip().empty() ? item.title() : item.toolTip());
}

}  // namespace

QIcon QtStatusBar::xembedIcon(const Entry& e) {
    // Always the drawn pictures: an XEmbed tray does not recolour a symbolic icon, which would
    // keep the dark of its file on a dark panel.
    QIcon icon;
    for (const QImage& picture : e.images) {
        icon.addPixmap(QPixmap::fromImage(picture));
    }
    return icon;
}

void QtStatusBar::refresh(Entry& e) {
    const StatusItem& item = *e.item;
    const Image* image = item.image().get();
    QtStatusNotifierItem* sni = e.notifierItem.get();
    // Until a watcher answers, nobody knows yet whether a panel will show the item; an XEmbed
    // icon shown meanwhile would only blink.
    const bool useXEmbed = !sni->available() || (!sni->isRegistered() && !sni->isRegistering());

    const StatusItemIconStyle style = item.iconStyle();
    // Template images are drawn light (white) for a dark panel and dark for a light one.
    bool light = style == StatusItemIconStyle::Light;
    if (style == StatusItemIconStyle::Automatic) {
        const std::optional<QColor> trayText = useXEmbed ? xembedTrayForeground() : std::nullopt;
        light =
            trayText ? trayText->lightnessF() > 0.5 : Color::currentScheme() == ColorScheme::Dark;
    }
    const Color tint = light ? Color::white() : Color::black();
    // The default house symbol is the program's icon. With the automatic colour, a panel that
    // finds its symbolic variant in the icon theme draws that in the panel's own colours; a
    // colour the user chose is the pictures' alone, which no panel recolours.
    const QString iconName = image && isProgramIcon(*image) && themeIconInstalled() &&
                                     style == StatusItemIconStyle::Automatic
                                 ? QString::fromLatin1(kThemeIconName)
                                 : QString();
    const QRgb tintRgb = toQColor(tint).rgba();
    if (image != e.drawnImage || tintRgb != e.drawnTint || iconName != e.iconName) {
        e.drawnImage = image;
        e.drawnTint = tintRgb;
        e.iconName = iconName;
        e.images.clear();
        if (image) {
            const bool programIcon = isProgramIcon(*image);
            for (int side : kIconSides) {
                e.images.push_back(programIcon ? programIconImage(*image, side, tint)
                                               : renderImage(*image, QSize(side, side), tint));
            }
        }
        if (e.icon) {
            e.icon->setIcon(xembedIcon(e));
        }
    }
    const QString tip = toolTipOf(item);
    const bool shown = item.isVisible() && image != nullptr;

    if (sni->available()) {
        sni->setIcon(e.iconName, e.images);
        const qsizetype lineEnd = tip.indexOf(QLatin1Char('\n'));
        sni->setToolTip(lineEnd < 0 ? tip : tip.left(lineEnd),
                        lineEnd < 0 ? QString() : tip.mid(lineEnd + 1));
        sni->setActive(item.isVisible());
    }
    if (useXEmbed && shown && !e.icon) {
        // Qt's tray icon speaks StatusNotifierItem itself when a watcher exists at the moment
        // the first one is made, and then never looks again. It is made only while no watcher
        // has taken our own item, so it is the XEmbed icon a tray like tint2 embeds.
        e.icon = std::make_unique<QSystemTrayIcon>();
        e.icon->setIcon(xembedIcon(e));
        Entry* raw = &e;
        QObject::connect(e.icon.get(), &QSystemTrayIcon::activated, e.icon.get(),
                         [this, raw](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::MiddleClick) {
                                 raw->item->performSecondaryAction();
                             } else {
                                 openMenu(*raw->item);
                             }
                         });
    }
    if (e.icon) {
        e.icon->setToolTip(tip);
        // A tray icon shown before it has an image is left out by some tray hosts.
        e.icon->setVisible(useXEmbed && shown);
    }
}

std::shared_ptr<StatusItem> QtStatusBar::statusItem(double length) {
    auto entry = std::make_unique<Entry>();
    entry->item = std::make_shared<StatusItem>(length);
    entry->notifierItem = std::make_unique<QtStatusNotifierItem>(connectionName_);
    Entry* raw = entry.get();
    raw->item->onChange = [this, raw] { refresh(*raw); };
    QtStatusNotifierItem* sni = raw->notifierItem.get();
    QObject::connect(sni, &QtStatusNotifierItem::registrationChanged, sni,
                     [this, raw] { refresh(*raw); });
    QObject::connect(sni, &QtStatusNotifierItem::menuRequested, sni,
                     [this, raw](QPoint at) { openMenu(*raw->item, at); });
    QObject::connect(sni, &QtStatusNotifierItem::secondaryActivateRequested, sni,
                     [raw] { raw->item->performSecondaryAction(); });
    refresh(*raw);
    entries_.push_back(std::move(entry));
    return raw->item;
}

void QtStatusBar::removeStatusItem(const std::shared_ptr<StatusItem>& item) {
    std::erase_if(entries_, [&](const auto& e) {
        if (e->item != item) {
            return false;
        }
        // The item may be removed from inside one of its menu's rows (Quit): the popup goes once
        // that event is over.
        if (e->popup) {
            e->popup->hide();
            e->popup->deleteLater();
        }
        e->item->onChange = nullptr;
        return true;
    });
}

void QtStatusBar::openMenu(StatusItem& item, QPoint hostPoint) {
    for (auto& e : entries_) {
        if (e->item.get() != &item || !item.menu()) {
            continue;
        }
        if (e->popup && e->popup->isVisible()) {
            return;
        }
        delete e->popup;
        e->popup = new QtMenuPopup(item.menu());
        e->popup->setAttribute(Qt::WA_DeleteOnClose, false);
        // The menu hangs from the icon, below a top panel or above a bottom one: from the point
        // a StatusNotifierItem host gave (hosts keep the icon's place to themselves), or from
        // the embedded icon an XEmbed tray says it shows. Without either (a host that gave no
        // point, a second start of the program) it opens at the pointer.
        QRect icon;
        if (!hostPoint.isNull()) {
            icon = QRect(hostPoint, QSize(1, 1));
        } else if (e->icon && e->icon->isVisible()) {
            icon = e->icon->geometry();
        }
        QPoint at = QCursor::pos();
        if (icon.isValid() && !icon.isEmpty()) {
            const QScreen* screen = QGuiApplication::screenAt(icon.center());
            if (!screen) {
                screen = QGuiApplication::primaryScreen();
            }
            const bool bottomPanel = screen && icon.center().y() > screen->geometry().center().y();
            const int height = e->popup->sizeHint().height();
            // Clear of the whole panel, not only of the icon.
            const QRect free = screen ? screen->availableGeometry() : QRect();
            at = bottomPanel ? QPoint(icon.left(), std::min(icon.top(), free.bottom() + 1) - height)
                             : QPoint(icon.left(), std::max(icon.bottom() + 1, free.top()));
            if (screen) {
                // On the screen: Qt moves a popup that runs off to the side back on, but one
                // above the top edge only where it also fits below.
                const QRect whole = screen->geometry();
                at.setY(std::max(at.y(), whole.top()));
                at.setX(std::clamp(
                    at.x(), whole.left(),
                    std::max(whole.left(), whole.right() + 1 - e->popup->sizeHint().width())));
            }
        }
        e->popup->popupAt(at);
    }
}

void QtStatusBar::openFirstMenu() {
    for (auto& e : entries_) {
        if (e->item->menu()) {
            openMenu(*e->item);
            return;
        }
    }
}

bool QtStatusBar::isOnStatusNotifierHost(const StatusItem& item) const {
    for (const auto& e : entries_) {
        if (e->item.get() == &item) {
            return e->notifierItem->isRegistered();
        }
    }
    return false;
}

bool QtStatusBar::isOnXEmbedTray(const StatusItem& item) const {
    for (const auto& e : entries_) {
        if (e->item.get() == &item) {
            return e->icon && e->icon->isVisible();
        }
    }
    return false;
}

QtMenuPopup* QtStatusBar::popupOf(const StatusItem& item) const {
    for (const auto& e : entries_) {
        if (e->item.get() == &item) {
            return e->popup;
        }
    }
    return nullptr;
}

}  // namespace corvix
