#pragma once

#include "platform/PlatformServices.h"
#include "platform/testing/HeadlessApplication.h"
#include "platform/testing/HeadlessUi.h"
#include "platform/testing/RecordingAlertPresenter.h"

namespace corvix {

/// Every user-interface service of the headless platform, made together; `installInto` fills
/// those fields of `services` and leaves the others (run loop, HTTP, defaults, environment).
struct HeadlessUiServices {
    RecordingAlertPresenter alerts;
    HeadlessScreens screens;
    HeadlessAppearance appearance;
    RecordingWorkspace workspace;
    HeadlessStatusBar statusBar;
    HeadlessImageService images;
    HeadlessApplication application;
    FakeProcessControl processes;

    void installInto(PlatformServices& services) {
        services.alerts = &alerts;
        services.screens = &screens;
        services.appearance = &appearance;
        services.workspace = &workspace;
        services.statusBar = &statusBar;
        services.images = &images;
        services.application = &application;
        services.processes = &processes;
    }
};

}  // namespace corvix
