#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

namespace corvix {

/// One running Corvix per user and display: the first start holds a lock file and listens on a
/// local socket; a later start finds the lock taken, asks the running one to come forward and
/// ends, or, when it is the hub's own start, asks the running one to hand over and takes its
/// place.
class QtSingleInstance {
  public:
    /// `runtimeDir` holds the lock and the socket (the user's runtime directory); `display`
    /// names the display the program shows on.
    QtSingleInstance(const QString& runtimeDir, const QString& display);
    ~QtSingleInstance();
    QtSingleInstance(const QtSingleInstance&) = delete;
    QtSingleInstance& operator=(const QtSingleInstance&) = delete;

    /// True when this process is now the running instance. Otherwise another one runs: without
    /// `takeOver` it has been asked to come forward; with it, it was asked to hand over, and
    /// false means it did not let go within a few seconds.
    bool claim(bool takeOver = false);
    /// Runs on the main thread whenever a later start asks this instance to come forward.
    void setOnActivate(std::function<void()> onActivate) { onActivate_ = std::move(onActivate); }
    /// Runs on the main thread when a later start takes over: this instance is to end without
    /// ending anything else; its lock goes with it (`release`, or the end of the process).
    void setOnHandOver(std::function<void()> onHandOver) { onHandOver_ = std::move(onHandOver); }
    /// Stops being the running instance: closes the socket and frees the lock.
    void release();

    /// The display of this process's environment.
    static QString defaultDisplay();

  private:
    bool askRunningInstance(const char* request);
    bool serve();

    QString name_;
    QString lockPath_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> onActivate_;
    std::function<void()> onHandOver_;
};

}  // namespace corvix
