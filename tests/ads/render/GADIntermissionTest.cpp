#include "ads/render/GADIntermission.h"

#include <doctest/doctest.h>

#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::Participant;
using fullscreentest::RecordedSlot;
using platform::testing::Harness;
using ruzave::GADIntermission;

namespace {
using Calls = std::vector<std::string>;
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: one screen gives will-present, will-dismiss and did-dismiss once each") {
    RecordedSlot s;
    CHECK(GADIntermission::initWithSlot(nullptr) == nullptr);
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    ad->join(intermission);
    ad->join(intermission); // already active: stays once
    CHECK(intermission->activeParticipantCount() == 1);
    CHECK(s.events->calls == Calls{"willPresent"});
    ad->relinquishScreenWithCompletion(nullptr);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss"});
    ad->finish();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: a sheet over the ad is silent, the ad's leaving ends the period") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    auto sheet = std::make_shared<Participant>("sheet", false);
    ad->join(intermission);
    sheet->join(intermission);
    sheet->relinquishScreenWithCompletion(nullptr);
    sheet->finish();
    CHECK(s.events->calls == Calls{"willPresent"});
    ad->relinquishScreenWithCompletion(nullptr);
    ad->finish();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: a screen that re-joins while the last leaves keeps one period") {
    RecordedSlot s;
    auto app = platform::Application::sharedApplication();
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto first = std::make_shared<Participant>("first");
    auto second = std::make_shared<Participant>("second");
    first->join(intermission);
    first->relinquishScreenWithCompletion(nullptr);
    CHECK_FALSE(app->isIdleTimerDisabled());
    second->join(intermission); // comes up while the first is still leaving
    CHECK(app->isIdleTimerDisabled());
    first->finish();
    second->relinquishScreenWithCompletion(nullptr);
    second->finish();
    // The slot hears each message once for the whole period.
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: a participant released without leaving is dropped and ends the period") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto gone = std::make_shared<Participant>("gone");
    gone->join(intermission);
    gone.reset();
    auto next = std::make_shared<Participant>("next");
    next->join(intermission); // the clean-up ends the old period first, then a new one begins
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss", "willPresent"});
    CHECK(intermission->activeParticipantCount() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: the idle timer and a hidden status bar are restored afterwards") {
    RecordedSlot s;
    auto app = platform::Application::sharedApplication();
    app->setIdleTimerDisabled(true);
    app->setStatusBarHidden(false);
    {
        auto intermission = GADIntermission::initWithSlot(s.slot);
        auto ad = std::make_shared<Participant>("ad");
        ad->join(intermission);
        CHECK(app->isIdleTimerDisabled());
        // Nobody overrode the status bar: it is left as a participant set it.
        app->setStatusBarHidden(true);
        ad->relinquishScreenWithCompletion(nullptr);
        CHECK(app->isIdleTimerDisabled()); // the app's own setting
        CHECK(app->isStatusBarHidden());
        ad->finish();
    }
    app->setIdleTimerDisabled(false);
    app->setStatusBarHidden(false);
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    ad->join(intermission);
    intermission->participantWillOverrideStatusBarVisibility(*ad);
    app->setStatusBarHidden(true);
    ad->relinquishScreenWithCompletion(nullptr);
    CHECK_FALSE(app->isStatusBarHidden());
    CHECK_FALSE(app->isIdleTimerDisabled());
}

TEST_CASE_FIXTURE(Harness, "GADIntermission: on return to the foreground screens leave one after another") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto log = std::make_shared<std::vector<std::string>>();
    auto a = std::make_shared<Participant>("a");
    auto b = std::make_shared<Participant>("b");
    auto proxy = std::make_shared<Participant>("proxy", false);
    for (auto* p : {&a, &b, &proxy}) {
        (*p)->log = log;
        (*p)->join(intermission);
    }
    platform::Application::sharedApplication()->enterBackground();
    platform::Application::sharedApplication()->enterForeground();
    runUntilIdle();
    REQUIRE(log->size() == 1); // the second waits while the first is leaving
    std::string first = log->front().substr(11);
    auto& leaving = first == "a" ? a : b;
    leaving->finish();
    runUntilIdle();
    REQUIRE(log->size() == 3);
    CHECK((*log)[2] == "relinquish " + std::string(first == "a" ? "b" : "a"));
    CHECK(intermission->isActiveParticipant(*proxy)); // a proxy stays up
}

TEST_CASE_FIXTURE(
    Harness, "GADIntermission: released while a screen is up it still ends the period, on a later turn") {
    RecordedSlot s;
    auto intermission = GADIntermission::initWithSlot(s.slot);
    auto ad = std::make_shared<Participant>("ad");
    intermission->addParticipant(ad);
    intermission.reset();
    // Nothing is told from inside the release of whoever held the period last.
    CHECK(s.events->calls == Calls{"willPresent"});
    runUntilIdle();
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    // A slot gone meanwhile hears nothing.
    RecordedSlot other;
    intermission = GADIntermission::initWithSlot(other.slot);
    intermission->addParticipant(ad);
    intermission.reset();
    auto events = other.events;
    other.slot.reset();
    runUntilIdle();
    CHECK(events->calls == Calls{"willPresent"});
}
