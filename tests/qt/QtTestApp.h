#pragma once

#include <QApplication>

namespace corvix::testing {

/// The one QApplication of the Qt test program, made on first use by whichever test needs it.
inline QApplication& qtTestApp() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *existing;
    }
    static int argc = 1;
    static char name[] = "corvix_qt_tests";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);
}

}  // namespace corvix::testing
