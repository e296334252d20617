#pragma once
// The shared application: its state and the notifications that announce each change, the key window,
// opening URLs against the schemes installed on the simulated device, the status bar, the idle timer and
// background tasks. Test controls drive the life cycle. Main thread.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/base/URL.h"
#include "platform/ui/InterfaceOrientation.h"

namespace platform {

class Window;

enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };

using BackgroundTaskIdentifier = unsigned long;
inline constexpr BackgroundTaskIdentifier kBackgroundTaskInvalid = 0;

class Application {
public:
    static std::shared_ptr<Application> sharedApplication();

    ApplicationState applicationState() const { return state_; }
    bool hasFinishedLaunching() const { return launched_; }

    // --- Life cycle (test controls), each posting its notifications in the platform's order.
    // Posts did-finish-launching (the state is inactive meanwhile). Once only.
    void finishLaunching();
    // Inactive -> active: did-become-active.
    void becomeActive();
    // Active -> inactive: will-resign-active.
    void resignActive();
    // Resigns first when active; then background: did-enter-background.
    void enterBackground();
    // Background -> inactive: will-enter-foreground (becomeActive follows separately).
    void enterForeground();
    // Resigns first when active; will-terminate.
    void terminate();
    void receiveMemoryWarning();
    // Sets the state without notifications.
    void setApplicationState(ApplicationState state) { state_ = state; }

    // --- Windows.
    std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
    void setKeyWindow(const std::shared_ptr<Window>& window) { keyWindow_ = window; }
    std::vector<std::shared_ptr<Window>> windows() const;

    // --- URLs. http and https always open (the browser); other schemes need an installed handler.
    bool canOpenURL(const URL& url) const;
    // Records the URL and answers whether a handler took it.
    bool openURL(const URL& url);
    const std::vector<URL>& openedURLs() const { return opened_; }
    void installURLScheme(const std::string& scheme);
    void uninstallURLScheme(const std::string& scheme);
    // URLs given to canOpenURL, in order (the platform limits how apps probe).
    const std::vector<URL>& queriedURLs() const { return queried_; }

    // --- Status bar and orientation.
    InterfaceOrientation statusBarOrientation() const { return statusBarOrientation_; }
    // Posts the orientation-change notification when it changes.
    void setStatusBarOrientation(InterfaceOrientation orientation);
    bool isStatusBarHidden() const { return statusBarHidden_; }
    void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }
    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }
    // The app-wide mask (from the bundle; settable by tests) for a null window, else that mask
    // intersected with what the window's root controller supports.
    unsigned supportedInterfaceOrientationsForWindow(const std::shared_ptr<Window>& window) const;
    void setSupportedInterfaceOrientations(unsigned mask) { supportedMask_ = mask; }
    bool isNetworkActivityIndicatorVisible() const { return networkActivity_; }
    void setNetworkActivityIndicatorVisible(bool v) { networkActivity_ = v; }

    // --- Background tasks.
    BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler = nullptr);
    void endBackgroundTask(BackgroundTaskIdentifier identifier);
    std::size_t backgroundTaskCount() const { return tasks_.size(); }
    // Test control: runs and ends every task's expiry handler, as the system does when time runs out.
    void expireBackgroundTasks();
    double backgroundTimeRemaining() const { return backgroundTimeRemaining_; }
    void setBackgroundTimeRemaining(double seconds) { backgroundTimeRemaining_ = seconds; }

    Application() = default;

private:
    void post(const char* name);

    ApplicationState state_ = ApplicationState::Inactive;
    bool launched_ = false;
    std::weak_ptr<Window> keyWindow_;
    std::set<std::string> schemes_;
    std::vector<URL> opened_;
    mutable std::vector<URL> queried_;
    InterfaceOrientation statusBarOrientation_ = InterfaceOrientation::Portrait;
    bool statusBarHidden_ = false;
    bool idleTimerDisabled_ = false;
    bool networkActivity_ = false;
    unsigned supportedMask_ = InterfaceOrientationMaskAllButUpsideDown;
    std::map<BackgroundTaskIdentifier, std::function<void()>> tasks_;
    BackgroundTaskIdentifier nextTask_ = 1;
    double backgroundTimeRemaining_ = 180.0;
};

} // namespace platform
