#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "menu/StayOpenMenu.h"
#include "platform/Environment.h"
#include "platform/PlatformServices.h"
#include "platform/UserDefaults.h"
#include "platform/testing/FakeHttpClient.h"
#include "platform/testing/HeadlessUiServices.h"
#include "platform/testing/VirtualRunLoop.h"

namespace corvix {

/// The headless services a client and a menu builder need, without a hub; installed for the
/// object's life.
struct BenchPlatform {
    BenchPlatform() : http(loop) {
        std::ofstream(token) << "bench";
        environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", token.string());
        environment.set("HOME", "/nonexistent");
        PlatformServices services;
        services.runLoop = &loop;
        services.http = &http;
        services.defaults = &defaults;
        services.environment = &environment;
        ui.installInto(services);
        installPlatformServices(services);
    }
    ~BenchPlatform() {
        installPlatformServices(PlatformServices());
        std::filesystem::remove(token);
    }
    BenchPlatform(const BenchPlatform&) = delete;
    BenchPlatform& operator=(const BenchPlatform&) = delete;

    const std::filesystem::path token = std::filesystem::temp_directory_path() /
                                        ("corvix-bench-token-" + std::to_string(::getpid()));
    VirtualRunLoop loop;
    FakeHttpClient http;
    InMemoryUserDefaults defaults;
    MapEnvironment environment;
    HeadlessUiServices ui;
};

/// A menu builder on the headless platform, with the menu it builds.
struct BenchMenu {
    BenchPlatform platform;
    OrbeluneClient client{platform.environment, platform.http, platform.loop};
    std::shared_ptr<StayOpenMenu> menu = StayOpenMenu::make();
    OrderedSends sends;
    MenuBuilder builder{MenuBuilder::kRowWidth, menu, client, sends, [] {}, [] {}, [] {}, [] {}};
};

}  // namespace corvix
