#pragma once

#include <set>
#include <vector>

#include "platform/ProcessControl.h"
#include "platform/ui/Application.h"

namespace corvix {

/// Records what the program asked of its application object.
class HeadlessApplication final : public Application {
  public:
    void setActivationPolicy(ActivationPolicy policy) override { activationPolicy = policy; }
    void activate(bool) override { ++activations; }
    void terminate() override {
        if (terminated) {
            return;
        }
        terminated = true;
        if (auto d = delegate()) {
            d->applicationWillTerminate();
        }
    }

    ActivationPolicy activationPolicy = ActivationPolicy::Regular;
    int activations = 0;
    bool terminated = false;
};

/// Processes that exist until the test says otherwise; records termination requests.
class FakeProcessControl final : public ProcessControl {
  public:
    bool probe(int pid) override {
        ++probes;
        return alive.count(pid) > 0;
    }
    bool requestTermination(int pid) override {
        terminationRequests.push_back(pid);
        return alive.count(pid) > 0;
    }

    std::set<int> alive;
    int probes = 0;
    std::vector<int> terminationRequests;
};

}  // namespace corvix
