#pragma once

#include <functional>
#include <memory>

#include "platform/ui/Control.h"

namespace corvix {

/// One closure exposed as a control's target: `invoke` calls the handler and ignores the
/// sender. Controls hold targets weakly, so owners keep theirs in a `buttonTargets` list.
class ButtonTarget final : public ActionTarget {
  public:
    explicit ButtonTarget(std::function<void()> handler) : handler(std::move(handler)) {}
    static std::shared_ptr<ButtonTarget> make(std::function<void()> handler) {
        return std::make_shared<ButtonTarget>(std::move(handler));
    }

    void invoke(ActionSender&) override {
        if (handler) {
            handler();
        }
    }

    std::function<void()> handler;
};

}  // namespace corvix
