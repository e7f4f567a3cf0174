#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "app/RuntimeDiagnostics.h"
#include "hub/OrbeluneClient.h"
#include "images/CostLimitedImageCache.h"
#include "platform/Environment.h"
#include "platform/PlatformServices.h"
#include "platform/UserDefaults.h"
#include "platform/testing/FakeHttpClient.h"
#include "platform/testing/VirtualRunLoop.h"
#include "playback/LocalAudioPlayer.h"

namespace corvix::testing {

/// A temporary folder removed at the end of the test.
class TempDir {
  public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("corvix-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path write(const std::string& name, const std::string& content) const {
        auto file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

  private:
    static int& counter() {
        static int value = 0;
        return value;
    }
    std::filesystem::path path_;
};

/// The headless platform installed for one test: virtual clock, fake HTTP, in-memory defaults,
/// an environment the test fills, a token file, and diagnostics switched on.
class HeadlessPlatform {
  public:
    HeadlessPlatform() : http(loop) {
        token = temp.write("token", "secret-token\n");
        environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", token.string());
        environment.set("HOME", (temp.path() / "home").string());
        environment.set("ORBELUNE_RUNTIME_DIAGNOSTICS", "1");
        previous_ = platformServices();
        PlatformServices services;
        services.runLoop = &loop;
        services.http = &http;
        services.defaults = &defaults;
        services.environment = &environment;
        installPlatformServices(services);
        RuntimeDiagnostics::resetMenuBar();
        resetSharedImageCaches();
        LocalAudioPlayer::resetShared();
    }
    ~HeadlessPlatform() {
        LocalAudioPlayer::resetShared();
        resetSharedImageCaches();
        RuntimeDiagnostics::resetMenuBar();
        installPlatformServices(previous_);
    }

    std::unique_ptr<OrbeluneClient> makeClient() {
        return std::make_unique<OrbeluneClient>(environment, http, loop);
    }

    TempDir temp;
    VirtualRunLoop loop;
    FakeHttpClient http;
    InMemoryUserDefaults defaults;
    MapEnvironment environment;
    std::filesystem::path token;

  private:
    PlatformServices previous_;
};

}  // namespace corvix::testing
