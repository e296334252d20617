#include "ads/core/signals/GADApplication.h"

#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADSession.h"
#include "platform/foundation/Bundle.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {

std::shared_ptr<GADApplication> GADApplication::sharedInstance() {
    static const std::shared_ptr<GADApplication> instance(new GADApplication());
    return instance;
}

void GADApplication::runEarlyActivities() {
    if (ranEarlyActivities_ || !platform::MainLoop::isMainThread()) return;
    ranEarlyActivities_ = true;
    GADDevice::sharedInstance()->cacheStaticParameters();
}

std::string GADApplication::version() const { return platform::Bundle::mainBundle()->version(); }

std::string GADApplication::mainBundleIdentifier() const { return platform::Bundle::mainBundle()->identifier(); }

std::shared_ptr<GADSession> GADApplication::currentSession() const {
    static const std::shared_ptr<GADSession> session = GADSession::init();
    return session;
}

std::string GADApplication::nextSequenceNumberAsString() {
    return std::to_string(++sequenceNumber_);
}

} // namespace ruzave
