#include "platform/qt/QtWakeWatcher.h"

#include <QNetworkInformation>

#ifdef CORVIX_QT_DBUS
#include <QDBusConnection>
#endif

namespace corvix {

QtWakeWatcher::QtWakeWatcher(std::function<void()> onWake) : onWake_(std::move(onWake)) {
#ifdef CORVIX_QT_DBUS
    QDBusConnection::systemBus().connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(prepareForSleep(bool)));
#endif
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        auto* info = QNetworkInformation::instance();
        auto last = info->reachability();
        connect(info, &QNetworkInformation::reachabilityChanged, this,
                [this, last](QNetworkInformation::Reachability now) mutable {
                    const bool cameBack = now == QNetworkInformation::Reachability::Online &&
                                          last != QNetworkInformation::Reachability::Online &&
                                          last != QNetworkInformation::Reachability::Unknown;
                    last = now;
                    if (cameBack && onWake_) {
                        onWake_();
                    }
                });
    }
}

QtWakeWatcher::~QtWakeWatcher() = default;

void QtWakeWatcher::prepareForSleep(bool goingToSleep) {
    if (!goingToSleep && onWake_) {
        onWake_();
    }
}

}  // namespace corvix
