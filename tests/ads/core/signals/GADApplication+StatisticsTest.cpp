#include <doctest/doctest.h>

#include <set>
#include <thread>
#include <vector>

#include "../slot/SlotTestSupport.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"

using platform::testing::Harness;
using ruzave::GADApplication;

namespace {

long long counter(const platform::Value& statistics, const char* key) { return statistics.at(key).get<long long>(); }

// Waits until the dictionaries' change notices have reached the application. A change queues its
// notice on the dictionary's queue only when it runs, and the notice then queues the delivery on the
// application's queue: one wait per hop, in that order.
void deliverNotices(const std::shared_ptr<ruzave::GADAd>& ad) {
    ad->statistics()->serialQueue()->sync([] {}); // the changes ran; their notice is queued
    ad->statistics()->serialQueue()->sync([] {}); // the notice ran; the delivery is queued
    GADApplication::sharedInstance()->notificationSerialQueue()->sync([] {});
}

// The "ads" quality signal of one parameter build of `slot`.
platform::Value adsSignal(ruzave::GADSlot& slot) {
    auto p = slot.requestParameters();
    REQUIRE(p);
    const platform::Value* quality = platform::find(*p, "quality_signals");
    if (quality == nullptr || !quality->contains("ads")) return platform::Value::array();
    return quality->at("ads");
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: the first request counts 0, sequence 1 and stamps both times alike") {
    auto record = GADApplication::sharedInstance();
    CHECK(record->timeSinceFirstAdRequestInMilliseconds() == 0);
    platform::Value first = record->nextRequestStatisticsDictionary(false);
    CHECK(counter(first, "preqs") == 0);
    CHECK(counter(first, "seq_num") == 1);
    CHECK(first.at("basets") == first.at("currts"));
    CHECK(first.at("session_id") == record->statistics()->objectForKey("session_id"));

    advance(1.5);
    platform::Value second = record->nextRequestStatisticsDictionary(false);
    CHECK(second.at("basets") == first.at("basets"));
    const auto elapsed = second.at("currts").get<std::uint64_t>() - first.at("currts").get<std::uint64_t>();
    CHECK(elapsed >= 1499);
    CHECK(elapsed <= 1501);
    CHECK(record->timeSinceFirstAdRequestInMilliseconds() >= 1499);
    CHECK(record->timeSinceFirstAdRequestInMilliseconds() <= 1501);
    // The snapshot is a copy: later requests do not reach it.
    CHECK(counter(first, "seq_num") == 1);
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: sequence strings carry the request counter and raise seq_num") {
    auto record = GADApplication::sharedInstance();
    for (int i = 0; i < 3; ++i) record->nextRequestStatisticsDictionary(false);
    CHECK(record->nextSequenceNumberAsString() == "2");
    CHECK(record->statistics()->objectForKey("seq_num") == platform::Value(4));
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: a mediating slot's request lowers the counter") {
    auto record = GADApplication::sharedInstance();
    CHECK(counter(record->nextRequestStatisticsDictionary(true), "preqs") == -2);
    CHECK(counter(record->nextRequestStatisticsDictionary(false), "preqs") == -1);
    CHECK(record->nextSequenceNumberAsString() == "-1");
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: slots count their requests and clicks on the application") {
    slottest::FakeNeighbours fakes;
    auto owner = std::make_shared<slottest::FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    slot->loadRequest(ruzave::GADRequest::request());
    REQUIRE(slot->applicationStatistics());
    CHECK(counter(*slot->applicationStatistics(), "preqs") == 0);
    slot->cancelLoad();
    slot->loadRequest(ruzave::GADRequest::request());
    CHECK(counter(*slot->applicationStatistics(), "preqs") == 1);
    CHECK(counter(*slot->applicationStatistics(), "seq_num") == 2);

    slot->adWasClicked();
    slot->adWasClicked();
    CHECK(GADApplication::sharedInstance()->statistics()->objectForKey("pclick") == platform::Value(2));
    // The mediation pings' number is the request counter.
    CHECK(GADApplication::sharedInstance()->nextSequenceNumberAsString() == "1");
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: requests from many threads never share a sequence number") {
    auto record = GADApplication::sharedInstance();
    std::vector<std::vector<long long>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([record, &seen, t] {
            for (int i = 0; i < 25; ++i) seen[t].push_back(counter(record->nextRequestStatisticsDictionary(false), "seq_num"));
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<long long> all;
    for (const auto& list : seen) all.insert(list.begin(), list.end());
    CHECK(all.size() == 100);
    CHECK(record->statistics()->objectForKey("preqs") == platform::Value(99));
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: an ad changed twice goes once, and again after a failed request") {
    slottest::FakeNeighbours fakes;
    auto owner = std::make_shared<slottest::FakeOwner>();
    auto slot = slottest::makeSlot(owner);
    auto ad = ruzave::GADAd::init();
    ad->statistics()->setObject(platform::Value(1), "a", true);
    ad->statistics()->setObject(platform::Value(2), "b", true);
    deliverNotices(ad);

    slot->loadRequest(ruzave::GADRequest::request());
    platform::Value ads = adsSignal(*slot);
    REQUIRE(ads.size() == 1);
    CHECK(ads[0]["a"] == 1);
    CHECK(ads[0]["b"] == 2);
    // Taken: a second build of another request has none to send.
    CHECK(GADApplication::sharedInstance()->pendingAdStatistics().empty());

    // The request fails: the same statistics go with the following one.
    slot->didFailToReceiveAdWithError(std::nullopt, true);
    slot->loadRequest(ruzave::GADRequest::request());
    ads = adsSignal(*slot);
    REQUIRE(ads.size() == 1);
    CHECK(ads[0]["b"] == 2);

    // A valid ad drops them.
    slot->didReceiveValidAd();
    CHECK(slot->takePendingAdStatistics().empty());
    CHECK(GADApplication::sharedInstance()->pendingAdStatistics().empty());
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: a slot torn down mid-request gives its ad statistics back") {
    auto ad = ruzave::GADAd::init();
    {
        slottest::FakeNeighbours fakes;
        auto owner = std::make_shared<slottest::FakeOwner>();
        auto slot = slottest::makeSlot(owner);
        ad->statistics()->setObject(platform::Value(true), "pclb", true);
        deliverNotices(ad);
        slot->loadRequest(ruzave::GADRequest::request());
        CHECK(adsSignal(*slot).size() == 1);
        slot->cancelLoad();
    }
    runUntilIdle();
    auto back = GADApplication::sharedInstance()->pendingAdStatistics();
    CHECK(back.count(ad->statistics()) == 1);
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: coming back from an ad click adds one pair to that ad's tclick") {
    auto record = GADApplication::sharedInstance();
    auto app = platform::Application::sharedApplication();
    auto ad = ruzave::GADAd::init();
    const std::uint64_t start = ruzave::GADAbsoluteTime::absoluteTimeInMilliseconds();
    ad->statistics()->setObject(platform::Value(std::uint64_t(77)), "tclickcurr", true);
    deliverNotices(ad);
    record->pendingAdStatistics();

    // Becoming active without such a click adds nothing.
    app->finishLaunching();
    app->becomeActive();
    runUntilIdle();
    CHECK_FALSE(ad->statistics()->objectForKey("tclick"));

    record->willLeaveApplicationDueToClickOnAd(ad);
    app->resignActive();
    app->enterBackground();
    advance(3);
    app->enterForeground();
    app->becomeActive();
    runUntilIdle();
    auto tclick = ad->statistics()->objectForKey("tclick");
    REQUIRE(tclick);
    REQUIRE(tclick->size() == 1);
    CHECK((*tclick)[0][0] == 77);
    CHECK((*tclick)[0][1].get<std::uint64_t>() >= start + 2999);
    // The change joins the next request.
    deliverNotices(ad);
    CHECK(record->pendingAdStatistics().count(ad->statistics()) == 1);

    // Only once per click.
    app->resignActive();
    app->becomeActive();
    runUntilIdle();
    CHECK(ad->statistics()->objectForKey("tclick")->size() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADApplication+Statistics: slot statistics are made on first use and mapped by identifier") {
    auto record = GADApplication::sharedInstance();
    CHECK(record->slotStatisticsDictionary().empty());
    CHECK_FALSE(record->slotStatisticsForSlotID(std::nullopt));
    auto stats = record->slotStatisticsForSlotID(std::string("unit-a"));
    REQUIRE(stats);
    CHECK(record->slotStatisticsForSlotID(std::string("unit-a")) == stats);
    stats->setObject(platform::Value(3), "n", false);
    CHECK(record->slotStatisticsDictionary() == platform::Value{{"unit-a", {{"n", 3}}}});
}
