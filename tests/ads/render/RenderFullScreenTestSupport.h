#pragma once
// Shared pieces of the full-screen tests: a slot whose screen events are recorded, and a participant
// that leaves when told. Main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotAdEventDelegate.h"
#include "ads/render/GADIntermission.h"
#include "ads/render/GADIntermitting.h"

namespace fullscreentest {

struct ScreenEvents : ruzave::GADSlotAdEventDelegate {
    void slotWillPresentScreen(ruzave::GADSlot&) override { calls.push_back("willPresent"); }
    void slotWillDismissScreen(ruzave::GADSlot&) override { calls.push_back("willDismiss"); }
    void slotDidDismissScreen(ruzave::GADSlot&) override { calls.push_back("didDismiss"); }
    void slotWillLeaveApplication(ruzave::GADSlot&) override { calls.push_back("leave"); }
    std::vector<std::string> calls;
};

// A slot with its screen events recorded (keep `events` alive with it).
struct RecordedSlot {
    RecordedSlot() { slot->setAdEventDelegate(events); }
    std::shared_ptr<ruzave::GADSlot> slot = ruzave::GADSlot::initWithFrame(platform::Rect(0, 0, 320, 50));
    std::shared_ptr<ScreenEvents> events = std::make_shared<ScreenEvents>();
};

// Leaves in two steps: told to relinquish, it reports the start at once and the end when finish() runs.
struct Participant : ruzave::GADIntermitting, std::enable_shared_from_this<Participant> {
    explicit Participant(std::string name, bool dismissOnForeground = true)
        : name(std::move(name)), dismissOnForeground(dismissOnForeground) {}
    void join(const std::shared_ptr<ruzave::GADIntermission>& i) {
        joined = i;
        i->addParticipant(shared_from_this());
    }
    void presentFromViewController(const std::shared_ptr<platform::ViewController>&, Completion) override {}
    bool shouldDismissOnApplicationEnteringForeground() override { return dismissOnForeground; }
    void relinquishScreenWithCompletion(Completion) override {
        log->push_back("relinquish " + name);
        joined->participantWillRelinquishScreen(*this);
    }
    void finish() {
        log->push_back("finished " + name);
        joined->participantDidRelinquishScreen(*this);
    }
    std::shared_ptr<ruzave::GADIntermission> intermission() const override { return joined; }

    std::string name;
    bool dismissOnForeground;
    std::shared_ptr<ruzave::GADIntermission> joined;
    std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
};

} // namespace fullscreentest
