#pragma once
// Posts notifications to the observers registered for them. Any thread.
//
// An observer gives a name ("" for every name), an object (nullptr for any object), a queue (nullptr: it
// is called synchronously on the posting thread) and a block. Registration returns a token for
// removeObserver(token). An owner (typically `this`) may be attached as well, so that
// removeObserver(owner) drops everything that owner registered, as a destructor would.
// After removal returns, the observer is not started again, even for posts already in flight; a call
// already running on another thread may still finish.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Notification.h"

namespace platform {

class DispatchQueue;

// The application's notifications.
inline constexpr const char* kApplicationDidFinishLaunching = "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* kApplicationDidBecomeActive = "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillResignActive = "UIApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidEnterBackground = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForeground = "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationWillTerminate = "UIApplicationWillTerminateNotification";
inline constexpr const char* kApplicationDidReceiveMemoryWarning =
    "UIApplicationDidReceiveMemoryWarningNotification";
inline constexpr const char* kApplicationDidChangeStatusBarOrientation =
    "UIApplicationDidChangeStatusBarOrientationNotification";

class NotificationCenter {
  public:
    using Block = std::function<void(const Notification&)>;
    enum class Token : std::uint64_t {};

    static std::shared_ptr<NotificationCenter> defaultCenter();

    Token addObserver(std::string_view name, const void* object, std::shared_ptr<DispatchQueue> queue,
                      Block block, const void* owner = nullptr);
    void removeObserver(Token token);
    // Every observer registered with this owner.
    void removeObserver(const void* owner);
    // This owner's observers registered for exactly this name and object ("" and nullptr: any).
    void removeObserver(const void* owner, std::string_view name, const void* object);

    // Calls the matching queue-less observers now, in registration order, and dispatches to the others.
    void post(const Notification& notification);
    void post(std::string_view name, const void* object = nullptr, Value userInfo = Value::object());

  private:
    NotificationCenter() = default;
    struct Observer;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Observer>> observers_;
    std::uint64_t nextToken_ = 1;
};

} // namespace platform
