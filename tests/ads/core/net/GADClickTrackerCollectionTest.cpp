#include <doctest/doctest.h>

#include "TrackingHarness.h"
#include "ads/core/net/GADClickTrackerCollection.h"
#include "platform/foundation/Sandbox.h"

using tracking_harness::TrackingFixture;

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTrackerCollection: only URL strings are tracked and reported trackers leave with their files") {
    auto collection = ruzave::GADClickTrackerCollection::sharedInstance();
    platform::Value urls = platform::Value::array();
    urls.push_back(ping("/track/file"));
    urls.push_back(42);
    urls.push_back(platform::Value::object());
    urls.push_back("");
    urls.push_back(ping("/pagead/click?x=1"));
    const auto before = collection->trackedCount();
    collection->trackURLs(urls, true);
    CHECK(collection->trackedCount() == before + 2);
    CHECK(collection->runningTrackerCount() == 2);
    REQUIRE(settle([&] { return collection->runningTrackerCount() == 0; }));
    CHECK(server->requestCount("/track/file") == 1);
    CHECK(server->requestCount("/pagead/click") == 1);
    // A dropped tracker deletes what it downloaded.
    auto path = ruzave::GADCachedFile::filePathForURL(*platform::URL::parse(ping("/track/file")));
    CHECK_FALSE(platform::Sandbox::fileExists(path));
}

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTrackerCollection: failed trackers are dropped too, nothing is retried") {
    auto collection = ruzave::GADClickTrackerCollection::sharedInstance();
    collection->trackURLs(std::vector<std::string>{ping("/track/status?code=500"), ping("/track/loop")}, false);
    REQUIRE(settle([&] { return collection->runningTrackerCount() == 0; }));
    CHECK(server->requestCount("/track/status") == 1);
}
