#pragma once

#include <QObject>
#include <QString>

#include "platform/ui/Appearance.h"

class QDBusMessage;

namespace corvix {

/// Dark or light from the freedesktop portal's `color-scheme` (1 dark, 2 light), falling back
/// to the palette when the portal has no preference or is missing; follows both for changes.
/// Keeps `Color::currentScheme` in step. The portal is asked without waiting for its answer:
/// the palette's scheme holds until the answer comes.
class QtAppearance final : public QObject, public AppearanceService {
    Q_OBJECT
  public:
    /// Asks the portal on the D-Bus connection named `busConnection` (empty: the session bus).
    explicit QtAppearance(const QString& busConnection = {});
    ColorScheme scheme() const override { return scheme_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void portalSettingChanged(const QDBusMessage& message);

  private:
    void portalReadAnswered(const QDBusMessage& reply);
    void update();
    int portalValue_ = 0;  // 0 no preference, 1 dark, 2 light
    /// A change announced by the portal is newer than any answer still on its way.
    bool portalChangeSeen_ = false;
    bool settingPalette_ = false;
    ColorScheme scheme_ = ColorScheme::Light;
};

}  // namespace corvix
