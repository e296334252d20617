#include "ads/render/GADIntermission.h"

#include <algorithm>

#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADIntermitting.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"

namespace ruzave {

std::shared_ptr<GADIntermission> GADIntermission::initWithSlot(const std::shared_ptr<GADSlot>& slot) {
    if (!slot) return nullptr;
    return std::shared_ptr<GADIntermission>(new GADIntermission(slot));
}

GADIntermission::~GADIntermission() {
    // What the period's end tells the slot, and through it the app, waits for a later turn: this runs
    // inside the teardown of whoever held the period last.
    tellingLater_ = true;
    cleanUpDeallocatedParticipants();
    if (!active_.empty()) {
        willEnd();
        didEnd();
    } else if (!deactivating_.empty()) {
        didEnd();
    }
    if (observing_) platform::NotificationCenter::defaultCenter()->removeObserver(foregroundObserver_);
}

bool GADIntermission::contains(const std::vector<Entry>& set, std::uintptr_t id) {
    return std::any_of(set.begin(), set.end(), [id](const Entry& e) { return e.id == id; });
}

bool GADIntermission::remove(std::vector<Entry>& set, std::uintptr_t id) {
    auto it = std::find_if(set.begin(), set.end(), [id](const Entry& e) { return e.id == id; });
    if (it == set.end()) return false;
    set.erase(it);
    return true;
}

bool GADIntermission::isActiveParticipant(const GADIntermitting& participant) const {
    return contains(active_, idOf(participant));
}

bool GADIntermission::isUnderWay() const {
    auto alive = [](const Entry& e) { return !e.participant.expired(); };
    return std::any_of(active_.begin(), active_.end(), alive) ||
           std::any_of(deactivating_.begin(), deactivating_.end(), alive);
}

void GADIntermission::addParticipant(const std::shared_ptr<GADIntermitting>& participant) {
    cleanUpDeallocatedParticipants();
    if (!participant) return;
    const bool beginning = active_.empty() && deactivating_.empty();
    const bool comingBack = !beginning && active_.empty();
    auto id = idOf(*participant);
    const bool joining = !contains(active_, id);
    if (joining) active_.push_back({id, participant});
    // Last: told that a screen comes up, the app may let go of the ad, which abandons this participant
    // with the others and ends the period before it is up.
    if (beginning) {
        begin();
        return;
    }
    if (joining) screenWillOpen();
    // A screen comes up while the last one is still leaving: the period goes on, and the idle timer
    // that the leaving screen gave back is taken again.
    if (holdsSlot_ && comingBack) takeIdleTimer();
}

void GADIntermission::otherAppWillOpen() {
    if (!active_.empty()) screenWillOpen();
}

void GADIntermission::screenWillOpen() {
    // One the user opens over what the creative opened makes the period the user's.
    if (auto slot = slot_.lock()) holdsSlot_ = slot->screenWillJoinFullScreenPeriod() || holdsSlot_;
    if (holdsSlot_ && !idleTimerTaken_) takeIdleTimer();
}

void GADIntermission::participantWillOverrideStatusBarVisibility(const GADIntermitting&) {
    statusBarOverridden_ = true;
}

void GADIntermission::participantWillRelinquishScreen(const GADIntermitting& participant) {
    cleanUpDeallocatedParticipants();
    queueSuspended_ = true;
    auto id = idOf(participant);
    auto it = std::find_if(active_.begin(), active_.end(), [id](const Entry& e) { return e.id == id; });
    if (it == active_.end()) return;
    Entry entry = *it;
    active_.erase(it);
    if (!contains(deactivating_, id)) deactivating_.push_back(entry);
    if (active_.empty()) willEnd();
}

void GADIntermission::participantDidRelinquishScreen(const GADIntermitting& participant) {
    cleanUpDeallocatedParticipants();
    auto self = shared_from_this(); // the slot's answers may drop the last participant's hold
    auto id = idOf(participant);
    if (contains(active_, id)) participantWillRelinquishScreen(participant);
    if (remove(deactivating_, id) && active_.empty() && deactivating_.empty()) didEnd();
    if (deactivating_.empty()) resumeDeactivationQueue();
}

void GADIntermission::abandonAllParticipants() {
    auto self = shared_from_this();
    std::vector<std::shared_ptr<GADIntermitting>> all;
    for (const auto* set : {&active_, &deactivating_})
        for (const auto& entry : *set)
            if (auto participant = entry.participant.lock()) all.push_back(participant);
    deactivationQueue_.clear();
    for (auto& participant : all) participant->abandonScreen();
    // Whatever did not say it left is gone all the same.
    bool wasActive = !active_.empty();
    bool wasLeaving = !deactivating_.empty();
    active_.clear();
    deactivating_.clear();
    if (wasActive) willEnd();
    if (wasActive || wasLeaving) didEnd();
}

void GADIntermission::begin() {
    began_ = true;
    toldWillDismiss_ = false;
    ended_ = false;
    auto app = platform::Application::sharedApplication();
    statusBarWasOriginallyHidden_ = app->isStatusBarHidden();
    if (!observing_) {
        std::weak_ptr<GADIntermission> weak = weak_from_this();
        foregroundObserver_ = platform::NotificationCenter::defaultCenter()->addObserver(
            platform::kApplicationWillEnterForeground, nullptr, nullptr, [weak](const platform::Notification&) {
                if (auto self = weak.lock()) self->applicationWillEnterForeground();
            });
        observing_ = true;
    }
    // Before the screen takes the ad view, and without the app.
    holdsSlot_ = false;
    idleTimerTaken_ = false;
    if (auto slot = slot_.lock()) holdsSlot_ = slot->fullScreenPeriodWillBegin();
    // A screen the creative opened on its own leaves the device to dim as it would.
    if (holdsSlot_) takeIdleTimer();
    // Last, as the period may end inside it.
    tellSlot(&GADSlot::adWillPresentScreen);
}

void GADIntermission::takeIdleTimer() {
    auto app = platform::Application::sharedApplication();
    if (!idleTimerTaken_) publisherIdleTimerDisabled_ = app->isIdleTimerDisabled();
    idleTimerTaken_ = true;
    app->setIdleTimerDisabled(true);
}

void GADIntermission::willEnd() {
    auto app = platform::Application::sharedApplication();
    if (idleTimerTaken_) app->setIdleTimerDisabled(publisherIdleTimerDisabled_);
    if (statusBarOverridden_) app->setStatusBarHidden(statusBarWasOriginallyHidden_);
    if (toldWillDismiss_) return;
    toldWillDismiss_ = true;
    tellSlot(&GADSlot::adWillDismissScreen);
}

void GADIntermission::didEnd() {
    if (observing_) {
        platform::NotificationCenter::defaultCenter()->removeObserver(foregroundObserver_);
        observing_ = false;
    }
    if (ended_) return;
    ended_ = true;
    if (auto slot = slot_.lock()) slot->fullScreenPeriodDidEnd();
    tellSlot(&GADSlot::adDidDismissScreen);
}

void GADIntermission::tellSlot(void (GADSlot::*message)()) {
    // Inside a teardown (this period's own, or a released presenter's telling its stack that it left)
    // the app is told nothing: it hears on a later turn. Whatever is told after that, of this period or
    // the next, waits behind it, so the app hears one period at a time.
    bool later = tellingLater_ || platform::ViewController::isReleasingPresenter();
    if (auto slot = slot_.lock()) slot->tellApp(message, later);
}

void GADIntermission::cleanUpDeallocatedParticipants() {
    auto expired = [](const Entry& e) { return e.participant.expired(); };
    bool droppedActive = std::erase_if(active_, expired) > 0;
    bool droppedLeaving = std::erase_if(deactivating_, expired) > 0;
    if (droppedActive && active_.empty()) willEnd();
    if (!droppedActive && !droppedLeaving) return;
    if (deactivating_.empty()) {
        resumeDeactivationQueue();
        if (active_.empty()) didEnd();
    }
}

void GADIntermission::applicationWillEnterForeground() {
    std::weak_ptr<GADIntermission> weakSelf = weak_from_this();
    for (const auto& entry : active_) {
        auto participant = entry.participant.lock();
        if (!participant || !participant->shouldDismissOnApplicationEnteringForeground()) continue;
        std::weak_ptr<GADIntermitting> weakParticipant = participant;
        deactivationQueue_.push_back([weakSelf, weakParticipant] {
            auto self = weakSelf.lock();
            auto p = weakParticipant.lock();
            if (self && p && self->isActiveParticipant(*p)) p->relinquishScreenWithCompletion(nullptr);
        });
    }
    runNextDeactivation();
}

void GADIntermission::resumeDeactivationQueue() {
    queueSuspended_ = false;
    runNextDeactivation();
}

void GADIntermission::runNextDeactivation() {
    if (queueSuspended_ || deactivationScheduled_ || deactivationQueue_.empty()) return;
    deactivationScheduled_ = true;
    std::weak_ptr<GADIntermission> weak = weak_from_this();
    platform::mainQueue()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->deactivationScheduled_ = false;
        if (self->queueSuspended_ || self->deactivationQueue_.empty()) return;
        auto op = std::move(self->deactivationQueue_.front());
        self->deactivationQueue_.pop_front();
        op();
        self->runNextDeactivation();
    });
}

} // namespace ruzave
