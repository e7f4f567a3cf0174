#pragma once

#include "platform/PlatformServices.h"
#include "platform/ProcessControl.h"
#include "platform/qt/QtAlertPresenter.h"
#include "platform/qt/QtAppearance.h"
#include "platform/qt/QtApplication.h"
#include "platform/qt/QtAudioService.h"
#include "platform/qt/QtDesktopServices.h"
#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtStatusBar.h"
#include "platform/qt/QtWindowSystem.h"

namespace corvix {

/// Every service the Qt backend provides, made together once the QApplication exists.
/// `installInto` fills the UI fields (and the run loop and alerts) of `services`, leaving the
/// others (HTTP, defaults, environment) as they are.
struct QtServices {
    QtRunLoop runLoop;
    QtAlertPresenter alerts;
    QtWindowSystem windows;
    QtScreens screens;
    QtAppearance appearance;
    QtWorkspace workspace;
    QtImageService images;
    QtStatusBar statusBar;
    QtColorPanel colorPanel;
    QtApplication application;
    PosixProcessControl processes;
    QtAudioService audio;

    void installInto(PlatformServices& services) {
        services.runLoop = &runLoop;
        services.alerts = &alerts;
        services.windows = &windows;
        services.screens = &screens;
        services.appearance = &appearance;
        services.workspace = &workspace;
        services.images = &images;
        services.statusBar = &statusBar;
        services.colorPanel = &colorPanel;
        services.application = &application;
        services.processes = &processes;
        services.audio = &audio;
    }
};

}  // namespace corvix
