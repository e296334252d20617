#include "tools/demo/DemoRoad.h"

#include <doctest/doctest.h>

using demo::DemoRoad;
using Observations = demo::DemoRoad::Observations;
using Stage = demo::DemoRoad::Stage;

namespace {

// Every stage of the road seen, one millisecond apart, up to and including `last`.
Observations roadUpTo(Stage last) {
    Observations o;
    o.timeoutSeconds = 10;
    for (std::size_t i = 0; i <= static_cast<std::size_t>(last); ++i) o.see(static_cast<Stage>(i), double(i));
    return o;
}

bool contains(const std::optional<std::string>& text, const std::string& part) {
    return text && text->find(part) != std::string::npos;
}

} // namespace

TEST_CASE("DemoRoad: a whole road with one adViewDidReceiveAd passes") {
    Observations o = roadUpTo(Stage::ReceivedAd);
    CHECK_FALSE(DemoRoad::failureReason(o).has_value());
    CHECK(o.lastStage() == Stage::ReceivedAd);
}

TEST_CASE("DemoRoad: a delegate failure names the error, the last stage and the first missing one") {
    Observations o = roadUpTo(Stage::LoadRequest);
    o.failure = platform::Error("com.ruzave.ads", 2, "Request Error: A network error occurred.");
    auto why = DemoRoad::failureReason(o);
    REQUIRE(why.has_value());
    CHECK(contains(why, "adViewDidFailToReceiveAdWithError"));
    CHECK(contains(why, "(code 2, com.ruzave.ads)"));
    CHECK(contains(why, "after \"loadRequest\""));
    CHECK(contains(why, "the road never reached \"core page requested\""));
}

TEST_CASE("DemoRoad: a failure wins even when adViewDidReceiveAd was also seen") {
    // A load that reports both outcomes is no success.
    Observations o = roadUpTo(Stage::ReceivedAd);
    o.failure = platform::Error("com.ruzave.ads", 1, "Request Error: No ad to show.");
    auto why = DemoRoad::failureReason(o);
    CHECK(contains(why, "code 1"));
    CHECK_FALSE(contains(why, "never reached"));
}

TEST_CASE("DemoRoad: a time-out names the time limit and where the road stopped") {
    Observations o = roadUpTo(Stage::CorePageLoaded);
    o.timedOut = true;
    o.timeoutSeconds = 2.5;
    auto why = DemoRoad::failureReason(o);
    CHECK(contains(why, "no delegate call within 2.5 s"));
    CHECK(contains(why, "after \"core page loaded\""));
    CHECK(contains(why, "(no \"constants\")"));
}

TEST_CASE("DemoRoad: nothing seen at all is a failure before any stage") {
    Observations o;
    o.timedOut = true;
    o.timeoutSeconds = 1;
    CHECK(contains(DemoRoad::failureReason(o), "before any stage"));
    CHECK_FALSE(o.lastStage().has_value());
}

TEST_CASE("DemoRoad: an ad that arrives with a stage unseen fails and names that stage") {
    Observations o = roadUpTo(Stage::ReceivedAd);
    o.at[static_cast<std::size_t>(Stage::Constants)].reset();
    auto why = DemoRoad::failureReason(o);
    CHECK(contains(why, "adViewDidReceiveAd came, but \"constants\" was never seen"));
}

TEST_CASE("DemoRoad: a stage that went wrong fails a road that is otherwise whole") {
    Observations o = roadUpTo(Stage::ReceivedAd);
    o.problems = {"only 1 of 3 constants were stored in the user defaults", "second"};
    CHECK(DemoRoad::failureReason(o) == std::optional<std::string>("only 1 of 3 constants were stored in the user defaults"));
}

TEST_CASE("DemoRoad: a load that ends twice fails") {
    Observations o = roadUpTo(Stage::ReceivedAd);
    o.extraDelegateCalls = 1;
    CHECK(contains(DemoRoad::failureReason(o), "2 delegate calls"));
}

TEST_CASE("DemoRoad: a stage keeps the time it was first seen at") {
    Observations o;
    o.see(Stage::Fetch, 40);
    o.see(Stage::Fetch, 90);
    CHECK(o.at[static_cast<std::size_t>(Stage::Fetch)] == 40);
    // The furthest stage counts, even when an earlier one was missed.
    CHECK(o.lastStage() == Stage::Fetch);
}
