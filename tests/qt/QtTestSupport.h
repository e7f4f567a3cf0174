#pragma once

#include <unistd.h>
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/qt/QtAudioService.h"

namespace corvix::testing {

/// The available area of the offscreen screen every Qt test runs on.
inline constexpr int kScreenWidth = 1280;
inline constexpr int kScreenHeight = 800;

/// One application for the whole test program, on an offscreen screen of 1280 × 800 (the
/// offscreen platform reads its screens from a configuration file), whose windows have no
/// frames, as popups on X have none.
inline QApplication& app() {
    static QApplication* instance = [] {
        static std::string config = (std::filesystem::temp_directory_path() /
                                     ("corvix-qt-screen-" + std::to_string(::getpid()) + ".json"))
                                        .string();
        std::ofstream(config)
            << R"({"windowFrameMargins":false,"screens":[{"name":"corvix","x":0,"y":0,"width":)"
            << kScreenWidth << R"(,"height":)" << kScreenHeight
            << R"(,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})";
        static std::string platform = "offscreen:configfile=" + config;
        static int argc = 3;
        static char name[] = "corvix_qt_tests";
        static char option[] = "-platform";
        static char* argv[] = {name, option, platform.data(), nullptr};
        chooseQtMediaBackend();
        auto* created = new QApplication(argc, argv);
        std::filesystem::remove(config);
        return created;
    }();
    return *instance;
}

inline void send(QWidget& w, QEvent::Type type, QPoint p) {
    QPointF local(p);
    QPointF global(w.mapToGlobal(p));
    Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

/// The pointer moving over `w` with no button held.
inline void move(QWidget& w, QPoint p) {
    QMouseEvent event(QEvent::MouseMove, QPointF(p), QPointF(w.mapToGlobal(p)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

inline void click(QWidget& w, QPoint p) {
    send(w, QEvent::MouseButtonPress, p);
    send(w, QEvent::MouseButtonRelease, p);
}

}  // namespace corvix::testing
