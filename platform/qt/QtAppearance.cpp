#include "platform/qt/QtAppearance.h"

#include <QGuiApplication>
#include <QPalette>

#ifdef CORVIX_QT_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#endif

#include "platform/qt/QtGraphicsContext.h"
#include "platform/ui/Color.h"

namespace corvix {
namespace {

constexpr int kPortalTimeoutMs = 2000;

#ifdef CORVIX_QT_DBUS
// The portal wraps the value in one or two variants.
int unwrapped(QVariant value) {
    while (value.canConvert<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value.toInt();
}
#endif

// Qt's own widgets (the popup's ground and separators, the settings window's frame, tool tips)
// in the colours the model's rows draw with, so a dark desktop never gets light menus.
QPalette paletteFor(ColorScheme scheme) {
    const ColorScheme previous = Color::currentScheme();
    Color::setCurrentScheme(scheme);
    auto qt = [](SystemColor c) { return toQColor(Color::system(c)); };
    QPalette p;
    const QColor ground = qt(SystemColor::WindowBackground);
    const QColor text = qt(SystemColor::Label);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, ground);
        // Menus draw their ground from Base: the window ground, not the (light) control one.
        p.setColor(group, QPalette::Base, ground);
        p.setColor(group, QPalette::AlternateBase, ground);
        p.setColor(group, QPalette::Button, qt(SystemColor::Control));
        p.setColor(group, QPalette::ToolTipBase, ground);
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::Highlight, qt(SystemColor::SelectedControl));
        p.setColor(group, QPalette::HighlightedText, text);
        p.setColor(group, QPalette::Mid, qt(SystemColor::Separator));
        p.setColor(group, QPalette::Light, ground.lighter(110));
        p.setColor(group, QPalette::Dark, qt(SystemColor::Separator));
        p.setColor(group, QPalette::Link, qt(SystemColor::ControlAccent));
        const QColor shown = group == QPalette::Disabled ? qt(SystemColor::TertiaryLabel) : text;
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            p.setColor(group, role, shown);
        }
        p.setColor(group, QPalette::PlaceholderText, qt(SystemColor::SecondaryLabel));
    }
    Color::setCurrentScheme(previous);
    return p;
}

}  // namespace

QtAppearance::QtAppearance(const QString& busConnection) {
#ifdef CORVIX_QT_DBUS
    QDBusConnection bus =
        busConnection.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(busConnection);
    if (bus.isConnected()) {
        bus.connect("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                    "org.freedesktop.portal.Settings", "SettingChanged", "ssv", this,
                    SLOT(portalSettingChanged(QDBusMessage)));
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "org.freedesktop.portal.Settings", "Read");
        call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kPortalTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* finished) {
                    // An error (no portal) leaves the palette's answer standing.
                    if (!finished->isError()) {
                        portalReadAnswered(finished->reply());
                    }
                    finished->deleteLater();
                });
    }
#else
    (void)busConnection;
#endif
    qApp->installEventFilter(this);
    scheme_ = ColorScheme::Light;
    update();
}

void QtAppearance::portalReadAnswered(const QDBusMessage& reply) {
#ifdef CORVIX_QT_DBUS
    if (portalChangeSeen_ || reply.type() != QDBusMessage::ReplyMessage ||
        reply.arguments().isEmpty()) {
        return;
    }
    portalValue_ = unwrapped(reply.arguments().first());
    update();
#else
    (void)reply;
#endif
}

void QtAppearance::portalSettingChanged(const QDBusMessage& message) {
#ifdef CORVIX_QT_DBUS
    const auto arguments = message.arguments();
    if (arguments.size() == 3 && arguments[0].toString() == "org.freedesktop.appearance" &&
        arguments[1].toString() == "color-scheme") {
        portalChangeSeen_ = true;
        portalValue_ = unwrapped(arguments[2]);
        update();
    }
#else
    (void)message;
#endif
}

bool QtAppearance::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && !settingPalette_) {
        update();
    }
    return false;
}

void QtAppearance::update() {
    ColorScheme next;
    if (portalValue_ == 1) {
        next = ColorScheme::Dark;
    } else if (portalValue_ == 2) {
        next = ColorScheme::Light;
    } else {
        QColor window = QGuiApplication::palette().color(QPalette::Window);
        next = window.lightness() < 128 ? ColorScheme::Dark : ColorScheme::Light;
    }
    bool changed = next != scheme_ || next != Color::currentScheme();
    scheme_ = next;
    Color::setCurrentScheme(next);
    // When the portal decides, Qt's widgets follow it; otherwise the desktop's palette is what
    // the scheme was read from, and it stays as the desktop set it.
    if (changed && portalValue_ != 0 && qApp) {
        settingPalette_ = true;
        QGuiApplication::setPalette(paletteFor(next));
        settingPalette_ = false;
    }
    if (changed) {
        notifyChanged();
    }
}

}  // namespace corvix
