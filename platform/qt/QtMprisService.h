#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "platform/MprisService.h"

namespace corvix {

class RunLoop;

/// The desktop's media controls as an MPRIS2 player on the D-Bus session bus: the object
/// /org/mpris/MediaPlayer2 with the root and player interfaces, published under
/// `kServiceName` while there is a player to show (under an ".instance<pid>" name when another
/// Corvix on the same bus holds that one). Without a bus it is unavailable and does nothing;
/// nothing here waits for the bus.
class QtMprisService final : public QObject, public MprisService {
    Q_OBJECT

  public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.corvix";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    /// `busConnection` names a connection made with QDBusConnection::connectToBus; empty is
    /// the session bus. `loop`'s wall clock counts the position on.
    explicit QtMprisService(RunLoop& loop, const QString& busConnection = {});
    ~QtMprisService() override;
    QtMprisService(const QtMprisService&) = delete;
    QtMprisService& operator=(const QtMprisService&) = delete;

    bool available() const override { return available_; }
    void publish(const std::optional<MprisSnapshot>& snapshot) override;
    void seeked(std::int64_t positionUs) override;
    void setRequestHandler(RequestHandler handler) override { handler_ = std::move(handler); }

    /// The bus name held now; empty while the player is withdrawn or the name is on its way.
    const QString& ownedName() const { return ownedName_; }

    // For the bus adaptors.
    const MprisSnapshot& snapshot() const { return snapshot_; }
    std::int64_t position() const;
    void request(const MprisRequest& request) const;

  Q_SIGNALS:
    void ownedNameChanged();

  private:
    /// Asks for or gives up the bus name to match whether a player is shown.
    void reconcileName();
    void requestName(const QString& name);

    RunLoop& loop_;
    QString connectionName_;
    bool available_ = false;
    std::unique_ptr<QObject> root_;
    QObject* playerAdaptor_ = nullptr;
    MprisSnapshot snapshot_;
    bool wanted_ = false;
    bool requesting_ = false;
    bool gaveUp_ = false;
    QString ownedName_;
    RequestHandler handler_;
};

}  // namespace corvix
