#include "ads/core/signals/GADApplication.h"

#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADSession.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"

namespace ruzave {
namespace {

// The launch notification starts the SDK when no slot or request has done so before it. Registered
// when the library loads, so that a launch before the first use of the record is not missed.
struct LaunchObserver {
    LaunchObserver() {
        platform::NotificationCenter::defaultCenter()->addObserver(
            platform::kApplicationDidFinishLaunching, nullptr, nullptr, [](const platform::Notification&) {
                GADRunOnMainThread([] {
                    auto application = GADApplication::sharedInstance();
                    application->setAppFinishedLaunching(true);
                    application->runEarlyActivities();
                });
            });
    }
};
const LaunchObserver launchObserver;

} // namespace

std::shared_ptr<GADApplication> GADApplication::sharedInstance() {
    static const std::shared_ptr<GADApplication> instance(new GADApplication());
    return instance;
}

GADApplication::GADApplication()
    : version_(platform::Bundle::mainBundle()->version()),
      mainBundleIdentifier_(platform::Bundle::mainBundle()->identifier()),
      currentSession_(GADSession::init()),
      statistics_(GADStatisticDictionary::init()) {
    statistics_->setObject(platform::Value(currentSession_->uniqueID()), "session_id", false);
    // The first request raises it to 0.
    statistics_->decrementNumberForKey("preqs", false);
}

void GADApplication::runEarlyActivities() {
    if (ranEarlyActivities_ || !platform::MainLoop::isMainThread()) return;
    GADDevice::sharedInstance()->cacheStaticParameters();
    // Set after the steps, not before them.
    ranEarlyActivities_ = true;
}

bool GADApplication::appFinishedLaunching() const {
    std::lock_guard lock(launchLock_);
    return appFinishedLaunching_;
}

void GADApplication::setAppFinishedLaunching(bool finished) {
    std::lock_guard lock(launchLock_);
    appFinishedLaunching_ = finished;
}

bool GADApplication::isAppActive() const {
    // A background state before launching has finished still counts as active.
    bool background = platform::Application::sharedApplication()->applicationState() ==
                      platform::ApplicationState::Background;
    return !(background && appFinishedLaunching());
}

} // namespace ruzave
