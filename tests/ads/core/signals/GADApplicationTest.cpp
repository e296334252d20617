#include <doctest/doctest.h>

#include <thread>
#include <vector>

#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADSession.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"

using ruzave::GADApplication;

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADApplication: only the background after launching counts as inactive") {
    auto record = GADApplication::sharedInstance();
    auto app = platform::Application::sharedApplication();
    app->setApplicationState(platform::ApplicationState::Background);
    CHECK_FALSE(record->appFinishedLaunching());
    CHECK(record->isAppActive());

    // The launch notification alone sets the flag and starts the SDK.
    app->finishLaunching();
    CHECK(record->appFinishedLaunching());
    CHECK(record->hasRunEarlyActivities());
    CHECK_FALSE(record->isAppActive());

    app->setApplicationState(platform::ApplicationState::Inactive);
    CHECK(record->isAppActive());
    app->setApplicationState(platform::ApplicationState::Active);
    CHECK(record->isAppActive());
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADApplication: statistics carry the session, and sequence numbers are the request counter") {
    auto record = GADApplication::sharedInstance();
    auto statistics = record->statistics();
    REQUIRE(statistics);
    CHECK(statistics == record->statistics());
    CHECK(statistics->objectForKey("session_id") == platform::Value(record->currentSession()->uniqueID()));
    CHECK(statistics->objectForKey("preqs") == platform::Value(-1));

    CHECK(record->nextSequenceNumberAsString() == "-1");
    CHECK(statistics->objectForKey("seq_num") == platform::Value(1));
    statistics->incrementNumberForKey("preqs", false);
    statistics->incrementNumberForKey("preqs", false);
    CHECK(record->nextSequenceNumberAsString() == "1");
    CHECK(statistics->objectForKey("seq_num") == platform::Value(2));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: sequence numbers from many threads are all counted") {
    auto record = GADApplication::sharedInstance();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([record] {
            for (int i = 0; i < 25; ++i)
                record->nextSequenceNumberAsString();
        });
    }
    for (auto& thread : threads)
        thread.join();
    CHECK(record->statistics()->objectForKey("seq_num") == platform::Value(100));
}
