#include "platform/ui/Application.h"

#include <algorithm>
#include <cctype>

#include "platform/base/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace platform {

std::shared_ptr<Application> Application::sharedApplication() {
    static auto app = std::make_shared<Application>();
    return app;
}

void Application::post(const char* name) {
    auto keep = sharedApplication();
    NotificationCenter::defaultCenter()->post(name, keep.get());
}

void Application::finishLaunching() {
    if (launched_) return;
    launched_ = true;
    if (state_ == ApplicationState::Active) state_ = ApplicationState::Inactive;
    post(kApplicationDidFinishLaunching);
}

void Application::becomeActive() {
    if (state_ == ApplicationState::Active) return;
    state_ = ApplicationState::Active;
    post(kApplicationDidBecomeActive);
}

void Application::resignActive() {
    if (state_ != ApplicationState::Active) return;
    // Observers of will-resign-active still see the app active, as on the device.
    post(kApplicationWillResignActive);
    state_ = ApplicationState::Inactive;
}

void Application::enterBackground() {
    if (state_ == ApplicationState::Background) return;
    resignActive();
    state_ = ApplicationState::Background;
    post(kApplicationDidEnterBackground);
}

void Application::enterForeground() {
    if (state_ != ApplicationState::Background) return;
    post(kApplicationWillEnterForeground);
    state_ = ApplicationState::Inactive;
}

void Application::terminate() {
    resignActive();
    post(kApplicationWillTerminate);
}

void Application::receiveMemoryWarning() { post(kApplicationDidReceiveMemoryWarning); }

std::vector<std::shared_ptr<Window>> Application::windows() const { return Window::allWindows(); }

bool Application::canOpenURL(const URL& url) const {
    queried_.push_back(url);
    if (!url.isValid()) return false;
    std::string scheme = url.scheme();
    if (scheme.empty()) return false;
    return scheme == "http" || scheme == "https" || schemes_.count(scheme) > 0;
}

bool Application::openURL(const URL& url) {
    opened_.push_back(url);
    bool handled = url.isValid() && !url.scheme().empty() &&
                   (url.scheme() == "http" || url.scheme() == "https" || schemes_.count(url.scheme()) > 0);
    logInfo(std::string("Application: openURL ") + escapeLogText(url.absoluteString()) + (handled ? "" : " (no handler)"));
    return handled;
}

void Application::installURLScheme(const std::string& scheme) {
    std::string s = scheme;
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (!s.empty()) schemes_.insert(s);
}

void Application::uninstallURLScheme(const std::string& scheme) {
    std::string s = scheme;
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    schemes_.erase(s);
}

void Application::setStatusBarOrientation(InterfaceOrientation orientation) {
    if (orientation == statusBarOrientation_) return;
    statusBarOrientation_ = orientation;
    post(kApplicationDidChangeStatusBarOrientation);
}

unsigned Application::supportedInterfaceOrientationsForWindow(const std::shared_ptr<Window>& window) const {
    if (!window) return supportedMask_;
    auto root = window->rootViewController();
    if (!root) return supportedMask_;
    return supportedMask_ & root->supportedInterfaceOrientations();
}

BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler) {
    BackgroundTaskIdentifier id = nextTask_++;
    tasks_[id] = std::move(expirationHandler);
    return id;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
    if (tasks_.erase(identifier) == 0) logWarning("Application: ended an unknown background task");
}

void Application::expireBackgroundTasks() {
    auto tasks = std::move(tasks_);
    tasks_.clear();
    for (auto& [id, handler] : tasks)
        if (handler) handler();
}

} // namespace platform
