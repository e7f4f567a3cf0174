#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

namespace corvix {

/// One running Corvix per user and display: the first start holds a lock file and listens on a
/// local socket; a later start finds the lock taken, asks the running one to come forward and
/// ends.
class QtSingleInstance {
  public:
    /// `runtimeDir` holds the lock and the socket (the user's runtime directory); `display`
    /// names the display the program shows on.
    QtSingleInstance(const QString& runtimeDir, const QString& display);
    ~QtSingleInstance();
    QtSingleInstance(const QtSingleInstance&) = delete;
    QtSingleInstance& operator=(const QtSingleInstance&) = delete;

    /// True when this process is now the running instance. False when another one runs; it has
    /// then been asked to come forward.
    bool claim();
    /// Runs on the main thread whenever a later start asks this instance to come forward.
    void setOnActivate(std::function<void()> onActivate) { onActivate_ = std::move(onActivate); }

    /// The display of this process's environment.
    static QString defaultDisplay();

  private:
    bool askRunningInstance();

    QString name_;
    QString lockPath_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> onActivate_;
};

}  // namespace corvix
