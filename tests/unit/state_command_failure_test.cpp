#include <gtest/gtest.h>

#include <thread>

#include "platform/PlatformServices.h"
#include "platform/testing/RecordingAlertPresenter.h"
#include "platform/testing/VirtualRunLoop.h"
#include "state/CommandFailure.h"

namespace corvix {
namespace {

Error failure(std::string description) {
    return Error{"OrbeluneClient", 500, std::move(description)};
}

constexpr const char* kNotSupportedDetail =
    "This device does not currently support that Corvix command. Refresh to remove unavailable "
    "controls.";
constexpr const char* kNotReachableDetail =
    "Confirm the local Orbelune OS server is running, then use Refresh and try again.";

TEST(CommandFailureTest, UnsupportedFailuresAreRecognisedWhateverTheirCase) {
    const std::pair<const char*, bool> cases[] = {
        {"Command Not Supported by driver", true},
        {"Device has no attribute set_level", true},
        {"UNSUPPORTED operation", true},
        {"Not Implemented", true},
        {"Unknown command: dance", true},
        {"player.seek is not a function", true},
        {"Connection refused (61)", false},
        {"No power command is enabled for this light.", false},
        {"", false},
    };
    for (const auto& [description, unsupported] : cases) {
        EXPECT_EQ(isUnsupportedError(failure(description)), unsupported) << description;
    }
}

TEST(CommandFailureTest, PresentationTakesTheFirstMatchingRow) {
    // A null detail: the row's detail was already checked above.
    const struct {
        const char* description;
        const char* title;
        const char* detail;
    } cases[] = {
        {"Apple TV driver is still being prepared", "Apple TV is still starting",
         "The Apple TV control worker is still preparing. Wait a moment, then use Refresh and try "
         "again."},
        // Earlier rows win when a description mentions two kinds.
        {"No OFF SCRIPT configured; hub not reachable", "Off action is not configured",
         "This AV flow can start from Corvix, but it needs an off script before the same toggle "
         "can turn it off."},
        {"flow has no off action", "Off action is not configured", nullptr},
        {"Signature error while streaming", "AirPlay needs pairing",
         "Pair this output again, then retry playback."},
        {"Not authenticated (unsupported)", "AirPlay needs pairing", nullptr},
        {"Connection refused (61)", "Orbelune OS is not reachable", kNotReachableDetail},
        {"Could not connect to the server.", "Orbelune OS is not reachable", nullptr},
        {"Command Not Supported by driver", "Command is not supported", kNotSupportedDetail},
        {"unknown command", "Command is not supported", nullptr},
        // Unsupported for the runners, but not by this table's phrases.
        {"Device has no attribute set_level", "Command failed",
         "Device has no attribute set_level"},
        {"No power command is enabled for this light.", "Command failed",
         "No power command is enabled for this light."},
        {"", "Command failed", ""},
    };
    for (const auto& c : cases) {
        const CommandFailurePresentation shown = commandFailurePresentation(failure(c.description));
        EXPECT_EQ(shown.title, c.title) << c.description;
        if (c.detail) {
            EXPECT_EQ(shown.detail, c.detail) << c.description;
        }
    }
}

class ShowErrorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = platformServices();
        PlatformServices services = previous_;
        services.runLoop = &runLoop_;
        services.alerts = &alerts_;
        installPlatformServices(services);
    }
    void TearDown() override { installPlatformServices(previous_); }

    VirtualRunLoop runLoop_;
    RecordingAlertPresenter alerts_;

  private:
    PlatformServices previous_;
};

TEST_F(ShowErrorTest, PresentsAWarningWithOneOkButtonOnTheMainThreadLater) {
    showError(failure("Command Not Supported by driver"));
    EXPECT_TRUE(alerts_.shown.empty());  // returns before anything is shown

    runLoop_.runUntilIdle();
    ASSERT_EQ(alerts_.shown.size(), 1u);
    EXPECT_EQ(
        alerts_.shown[0],
        (Alert{"Command is not supported", kNotSupportedDetail, AlertStyle::Warning, {"OK"}}));
}

TEST_F(ShowErrorTest, FailuresFromOtherThreadsAreShownInOrderOnTheMainThread) {
    std::thread worker([] {
        showError(failure("Connection refused (61)"));
        showError(failure("Timed out"));
    });
    worker.join();
    EXPECT_TRUE(alerts_.shown.empty());

    runLoop_.runUntilIdle();
    ASSERT_EQ(alerts_.shown.size(), 2u);
    EXPECT_EQ(alerts_.shown[0].messageText, "Orbelune OS is not reachable");
    EXPECT_EQ(alerts_.shown[0].informativeText, kNotReachableDetail);
    EXPECT_EQ(alerts_.shown[1].messageText, "Command failed");
    EXPECT_EQ(alerts_.shown[1].informativeText, "Timed out");
}

}  // namespace
}  // namespace corvix
