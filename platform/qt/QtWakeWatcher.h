#pragma once

#include <QObject>
#include <functional>

namespace corvix {

/// Tells when the computer resumed from suspend (logind's PrepareForSleep turning false on the
/// system bus) or the network became reachable again. Either source may be missing (no system
/// bus, no network-information backend): then it says nothing for it.
class QtWakeWatcher final : public QObject {
    Q_OBJECT

  public:
    explicit QtWakeWatcher(std::function<void()> onWake);
    ~QtWakeWatcher() override;

  private Q_SLOTS:
    void prepareForSleep(bool goingToSleep);

  private:
    std::function<void()> onWake_;
};

}  // namespace corvix
