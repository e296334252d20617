#include "conversion/ACTApplication.h"

#include <mutex>

#include "conversion/ACTAutomatedUsageTracker.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "conversion/ACTPingerStore.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {
std::mutex sharedMutex;
std::shared_ptr<ACTApplication> sharedInstance;
} // namespace

ACTApplication::ACTApplication()
    : pingerStore_(ACTPingerStore::initFromStorage()),
      automatedUsageTracker_(std::make_shared<ACTAutomatedUsageTracker>()),
      retryScheduler_(ACTPingRetryScheduler::initWithRetryQueue(std::make_shared<ACTPingRetryQueue>())) {
    retryScheduler_->retryQueue()->addPingersFromSet(pingerStore_->allPingers());
}

std::shared_ptr<ACTApplication> ACTApplication::sharedApplication() {
    std::shared_ptr<ACTApplication> made;
    {
        std::lock_guard<std::mutex> lock(sharedMutex);
        if (sharedInstance) return sharedInstance;
        sharedInstance = std::make_shared<ACTApplication>();
        made = sharedInstance;
    }
    std::weak_ptr<ACTPingRetryScheduler> scheduler = made->retryScheduler();
    platform::mainQueue()->async([scheduler] {
        if (auto s = scheduler.lock()) s->startScheduling();
    });
    return made;
}

void ACTApplication::resetSharedForTesting() {
    std::shared_ptr<ACTApplication> old;
    {
        std::lock_guard<std::mutex> lock(sharedMutex);
        old.swap(sharedInstance);
    }
    if (old) old->retryScheduler()->stopScheduling();
}

} // namespace ruzave
