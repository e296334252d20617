#pragma once
// One full-screen period of a slot: the screens that cover the app join it and report their leaving;
// the slot hears once that a screen will be presented, once that it will be dismissed and once that
// it was; while the period holds the slot (a screen the user or the app opened is in it) the idle timer
// stays off; a hidden status bar is put back afterwards; on return to the foreground the participants
// that ask for it are sent away one after another. Main thread.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NotificationCenter.h"

namespace ruzave {

class GADIntermitting;
class GADSlot;

class GADIntermission : public std::enable_shared_from_this<GADIntermission> {
  public:
    // nullptr for a null slot.
    static std::shared_ptr<GADIntermission> initWithSlot(const std::shared_ptr<GADSlot>& slot);
    ~GADIntermission();
    GADIntermission(const GADIntermission&) = delete;
    GADIntermission& operator=(const GADIntermission&) = delete;

    void addParticipant(const std::shared_ptr<GADIntermitting>& participant);
    void participantWillOverrideStatusBarVisibility(const GADIntermitting& participant);
    void participantWillRelinquishScreen(const GADIntermitting& participant);
    void participantDidRelinquishScreen(const GADIntermitting& participant);
    // The app is left for another (the store, say) from the period's screens: the other app stands over
    // them as a screen of the period would.
    void otherAppWillOpen();
    // A screen of the period left by another road than a close asked of it (the app dismissed it or the
    // screens under it, the ad went away). What the ad asked for before then is no longer wanted.
    void participantWasTakenAway() { ++takenAwayCount_; }
    std::size_t takenAwayCount() const { return takenAwayCount_; }
    // The slot's ad goes away: every screen of the period leaves now, and the period ends.
    void abandonAllParticipants();

    std::size_t activeParticipantCount() const { return active_.size(); }
    std::size_t deactivatingParticipantCount() const { return deactivating_.size(); }
    bool isActiveParticipant(const GADIntermitting& participant) const;
    // Whether a participant that is still alive covers the app or is leaving.
    bool isUnderWay() const;
    bool isDeactivationQueueSuspended() const { return queueSuspended_; }
    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }

    // applicationWillEnterForegroundWithNotification:
    void applicationWillEnterForeground();

  private:
    struct Entry {
        std::uintptr_t id;
        std::weak_ptr<GADIntermitting> participant;
    };
    explicit GADIntermission(const std::shared_ptr<GADSlot>& slot) : slot_(slot) {}
    static std::uintptr_t idOf(const GADIntermitting& p) { return reinterpret_cast<std::uintptr_t>(&p); }
    static bool contains(const std::vector<Entry>& set, std::uintptr_t id);
    static bool remove(std::vector<Entry>& set, std::uintptr_t id);
    void begin();
    // The idle timer stays off while screens of a period that holds the slot are up.
    void takeIdleTimer();
    // A screen joins, or another app opens over the screens: the user's or the app's makes the period
    // hold the slot.
    void screenWillOpen();
    void willEnd();
    void didEnd();
    // Tells the slot now, or on a later turn while the period is being torn down or a released
    // presenter is telling the screens above it that they left.
    void tellSlot(void (GADSlot::*message)());
    void cleanUpDeallocatedParticipants();
    void resumeDeactivationQueue();
    void runNextDeactivation();

    std::weak_ptr<GADSlot> slot_;
    std::vector<Entry> active_;
    std::vector<Entry> deactivating_;
    // Forced dismissals on return to the foreground, one at a time: the queue is held while any
    // participant is leaving.
    std::deque<std::function<void()>> deactivationQueue_;
    bool queueSuspended_ = false;
    bool deactivationScheduled_ = false;
    bool publisherIdleTimerDisabled_ = false;
    bool idleTimerTaken_ = false;
    bool holdsSlot_ = false;
    std::size_t takenAwayCount_ = 0;
    bool statusBarWasOriginallyHidden_ = false;
    bool statusBarOverridden_ = false;
    bool began_ = false;
    bool toldWillDismiss_ = false;
    bool ended_ = false;
    bool observing_ = false;
    bool tellingLater_ = false;
    platform::NotificationCenter::Token foregroundObserver_{};
};

} // namespace ruzave
