#pragma once

#include <memory>

namespace corvix {

enum class ActivationPolicy { Regular, Accessory, Prohibited };

/// Told when the program has started and when it is about to end.
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() {}
    virtual void applicationWillTerminate() {}
    /// The computer resumed from suspend or its network came back: connections made before
    /// may be dead without knowing it, and waits begun before are stale.
    virtual void applicationDidWake() {}
};

/// The running program: activation, its delegate, and the way out; provided by the backend.
class Application {
  public:
    virtual ~Application() = default;

    /// Accessory: no taskbar entry and no window of its own until one is shown.
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    /// Brings the program's windows to the front.
    virtual void activate(bool ignoringOtherApps) = 0;
    /// Ends the program: the delegate hears `applicationWillTerminate`, then the loop stops.
    virtual void terminate() = 0;

    void setDelegate(std::weak_ptr<ApplicationDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_.lock(); }

  private:
    std::weak_ptr<ApplicationDelegate> delegate_;
};

}  // namespace corvix
