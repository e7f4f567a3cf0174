#include "state/CommandFailure.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "platform/PlatformServices.h"
#include "platform/RunLoop.h"
#include "platform/ui/Alert.h"
#include "state/StateAccessors.h"

namespace corvix {

namespace {

std::string lowercasedDescription(const Error& failure) {
    return asciiLowercased(failure.description);
}

bool containsAny(std::string_view text, const std::vector<std::string_view>& phrases) {
    return std::any_of(phrases.begin(), phrases.end(), [text](std::string_view phrase) {
        return text.find(phrase) != std::string_view::npos;
    });
}

struct PresentationRow {
    std::vector<std::string_view> phrases;
    const char* title;
    const char* detail;
};

// Tried top to bottom: a description that mentions two kinds of failure gets the earlier one.
const std::vector<PresentationRow> kPresentationRows = {
    {{"apple tv driver is still being prepared"},
     "Apple TV is still starting",
     "The Apple TV control worker is still preparing. Wait a moment, then use Refresh and try "
     "again."},
    {{"off script", "off action"},
     "Off action is not configured",
     "This AV flow can start from Corvix, but it needs an off script before the same toggle can "
     "turn it off."},
    {{"incorrect device response", "signature error", "airplay pairing", "not authenticated"},
     "AirPlay needs pairing",
     "Pair this output again, then retry playback."},
    {{"not reachable", "could not connect", "connection refused"},
     "Orbelune OS is not reachable",
     "Confirm the local Orbelune OS server is running, then use Refresh and try again."},
    {{"unsupported", "not supported", "unknown command", "not implemented"},
     "Command is not supported",
     "This device does not currently support that Corvix command. Refresh to remove unavailable "
     "controls."},
};

}  // namespace

bool isUnsupportedError(const Error& failure) {
    // Not the same phrases as the presentation's "not supported" row, on purpose.
    static const std::vector<std::string_view> kUnsupportedPhrases = {
        "has no attribute", "no attribute",    "not supported",    "unsupported",
        "not implemented",  "unknown command", "is not a function"};
    return containsAny(lowercasedDescription(failure), kUnsupportedPhrases);
}

CommandFailurePresentation commandFailurePresentation(const Error& failure) {
    const std::string description = lowercasedDescription(failure);
    for (const PresentationRow& row : kPresentationRows) {
        if (containsAny(description, row.phrases)) {
            return {row.title, row.detail};
        }
    }
    return {"Command failed", failure.description};
}

void showError(const Error& failure) {
    RunLoop* runLoop = platformServices().runLoop;
    if (!runLoop) {
        return;
    }
    runLoop->post([failure] {
        AlertPresenter* alerts = platformServices().alerts;
        if (!alerts) {
            return;
        }
        CommandFailurePresentation presentation = commandFailurePresentation(failure);
        alerts->present(Alert{std::move(presentation.title),
                              std::move(presentation.detail),
                              AlertStyle::Warning,
                              {"OK"}});
    });
}

}  // namespace corvix
