#include "platform/qt/QtSingleInstance.h"

#include <unistd.h>
#include <QDir>
#include <QLocalSocket>

namespace corvix {
namespace {

constexpr char kActivate[] = "activate\n";
constexpr int kAnswerMs = 1000;

QString safeName(QString text) {
    for (auto& c : text) {
        if (!c.isLetterOrNumber()) {
            c = QLatin1Char('_');
        }
    }
    return text;
}

}  // namespace

QtSingleInstance::QtSingleInstance(const QString& runtimeDir, const QString& display) {
    const QString base = QStringLiteral("corvix-%1-%2").arg(getuid()).arg(safeName(display));
    QDir dir(runtimeDir);
    lockPath_ = dir.filePath(base + QStringLiteral(".lock"));
    // A full path keeps the socket in the user's private runtime directory, not in /tmp.
    name_ = dir.filePath(base + QStringLiteral(".socket"));
}

QtSingleInstance::~QtSingleInstance() {
    if (server_) {
        server_->close();
    }
}

bool QtSingleInstance::claim() {
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // A lock whose process is gone is taken over at once; a live holder's never ages out.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        // Even when the holder does not answer (it may be starting up), a second icon would be
        // worse than none.
        askRunningInstance();
        return false;
    }
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file left behind belongs to a process that is gone.
    QLocalServer::removeServer(name_);
    if (!server_->listen(name_)) {
        // Running without the socket only loses the "come forward" of later starts.
        server_.reset();
        return true;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > 64) {
                        socket->abort();
                    }
                    return;
                }
                const QByteArray line = socket->readLine(64);
                socket->write("ok\n");
                socket->disconnectFromServer();
                if (line == kActivate && onActivate_) {
                    onActivate_();
                }
            });
        }
    });
    return true;
}

bool QtSingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kAnswerMs)) {
        return false;
    }
    socket.write(kActivate);
    socket.flush();
    return socket.waitForReadyRead(kAnswerMs) && socket.readLine(16) == "ok\n";
}

QString QtSingleInstance::defaultDisplay() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
    }
    return display.isEmpty() ? QStringLiteral("none") : display;
}

}  // namespace corvix
