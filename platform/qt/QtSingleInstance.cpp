#include "platform/qt/QtSingleInstance.h"

#include <unistd.h>
#include <QDir>
#include <QLocalSocket>

namespace corvix {
namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kHandOver[] = "handover\n";
constexpr int kAnswerMs = 1000;
/// How long a start that takes over waits for the running instance to end.
constexpr int kHandOverMs = 5000;

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

bool QtSingleInstance::claim(bool takeOver) {
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // A lock whose process is gone is taken over at once; a live holder's never ages out.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        return serve();
    }
    if (takeOver) {
        // The hub started this copy (it restarted, or an autostarted copy came first): the
        // running one ends, and this one watches the hub from now on.
        // The lock coming free is the answer that counts, so the reply is not waited for.
        if (askRunningInstance(kHandOver) && lock_->tryLock(kHandOverMs)) {
            return serve();
        }
        lock_.reset();
        return false;
    }
    lock_.reset();
    // Even when the holder does not answer (it may be starting up), a second icon would be
    // worse than none.
    askRunningInstance(kActivate);
    return false;
}

void QtSingleInstance::release() {
    if (server_) {
        server_->close();
        server_.reset();
    }
    if (lock_) {
        lock_->unlock();
        lock_.reset();
    }
}

bool QtSingleInstance::serve() {
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
                } else if (line == kHandOver) {
                    // Once this socket's signal is over: the hand-over may close the server.
                    QMetaObject::invokeMethod(
                        server_.get(),
                        [this] {
                            if (onHandOver_) {
                                onHandOver_();
                            }
                        },
                        Qt::QueuedConnection);
                }
            });
        }
    });
    return true;
}

bool QtSingleInstance::askRunningInstance(const char* request) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kAnswerMs)) {
        return false;
    }
    socket.write(request);
    if (!socket.waitForBytesWritten(kAnswerMs)) {
        return false;
    }
    // Read the answer, so the running one is not left writing to a closed socket.
    socket.waitForReadyRead(kAnswerMs);
    return true;
}

QString QtSingleInstance::defaultDisplay() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
    }
    return display.isEmpty() ? QStringLiteral("none") : display;
}

}  // namespace corvix
