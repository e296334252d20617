#include <doctest/doctest.h>

#include "TrackingHarness.h"
#include "ads/core/net/GADClickTracker.h"
#include "platform/ui/Application.h"

using tracking_harness::TrackerRecorder;
using tracking_harness::TrackingFixture;

namespace {

std::shared_ptr<ruzave::GADClickTracker> track(const std::string& url, const std::shared_ptr<TrackerRecorder>& recorder,
                                               bool cacheEnabled = true) {
    auto tracker = ruzave::GADClickTracker::init();
    tracker->setDelegate(recorder);
    tracker->setCacheEnabled(cacheEnabled);
    tracker->trackURL(platform::URL::parse(url));
    return tracker;
}

} // namespace

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTracker: two http hops to an app-store link report that link without loading it") {
    auto recorder = std::make_shared<TrackerRecorder>();
    const std::string store = "itms-apps://itunes.example/app/id1";
    auto tracker = track(redirectTo(redirectTo(store)), recorder);
    CHECK(tracker->backgroundTaskID() != platform::kBackgroundTaskInvalid);
    REQUIRE(settle([&] { return recorder->reports() > 0; }));
    CHECK(recorder->redirects == std::vector<std::string>{store});
    CHECK(recorder->failures.empty());
    CHECK(tracker->hasTracked());
    CHECK(tracker->backgroundTaskID() == platform::kBackgroundTaskInvalid);
    CHECK(server->requestCount("/track/redirect") == 2);
}

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTracker: a redirect to a file URL ends there and nothing is read") {
    auto recorder = std::make_shared<TrackerRecorder>();
    auto tracker = track(redirectTo("file:///etc/passwd"), recorder);
    REQUIRE(settle([&] { return recorder->reports() > 0; }));
    CHECK(recorder->redirects == std::vector<std::string>{"file:///etc/passwd"});
    CHECK_FALSE(tracker->tracker()->fileExists());
}

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTracker: a redirect loop fails once and a 304 succeeds with the last URL") {
    auto looping = std::make_shared<TrackerRecorder>();
    auto loop = track(ping("/track/loop"), looping);
    REQUIRE(settle([&] { return looping->reports() > 0; }));
    CHECK(looping->redirects.empty());
    CHECK(looping->failures.size() == 1);

    auto stored = std::make_shared<TrackerRecorder>();
    auto first = track(redirectTo(ping("/track/file")), stored);
    REQUIRE(settle([&] { return stored->reports() == 1; }));
    // A second tracker of the same URL finds the stored copy and is answered 304.
    auto second = ruzave::GADClickTracker::init();
    second->setDelegate(stored);
    auto file = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/track/file")));
    second->trackURL(platform::URL::parse(redirectTo(ping("/track/file"))));
    REQUIRE(settle([&] { return stored->reports() == 2; }));
    CHECK(stored->redirects == std::vector<std::string>{ping("/track/file"), ping("/track/file")});
    CHECK(second->tracker()->HTTPStatusCode() == 304);
}

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTracker: tracking without the cache reloads and sends no cache buster") {
    auto recorder = std::make_shared<TrackerRecorder>();
    auto tracker = track(ping("/pagead/imp?a=1"), recorder, false);
    REQUIRE(tracker->tracker());
    CHECK(tracker->tracker()->cachePolicy() == platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
    REQUIRE(settle([&] { return recorder->reports() > 0; }));
    auto requests = server->requests("/pagead/imp");
    REQUIRE(requests.size() == 1);
    CHECK(requests[0].param("unique").empty());
    CHECK(requests[0].query == "a=1");
}

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTracker: it reports once even if the download both fails and ends") {
    auto recorder = std::make_shared<TrackerRecorder>();
    auto tracker = track(ping("/track/status?code=500"), recorder);
    REQUIRE(settle([&] { return recorder->reports() > 0; }));
    REQUIRE(recorder->failures.size() == 1);
    CHECK_FALSE(recorder->failures[0].has_value());
    tracker->cachedFileDownloadDidEnd(*tracker->tracker());
    tracker->cachedFileDownloadDidFail(*tracker->tracker(), platform::Error("x", 1));
    CHECK(recorder->reports() == 1);
}

TEST_CASE_FIXTURE(TrackingFixture, "GADClickTracker: the background task's expiry cancels quietly") {
    auto recorder = std::make_shared<TrackerRecorder>();
    server->route("/pagead/slow", [](const adserver::Request&) {
        adserver::Response r = adserver::Response::text("", "text/plain", 204);
        r.delay = std::chrono::milliseconds(300);
        return r;
    });
    auto tracker = track(ping("/pagead/slow"), recorder);
    platform::Application::sharedApplication()->expireBackgroundTasks();
    CHECK_FALSE(tracker->tracker());
    CHECK(tracker->backgroundTaskID() == platform::kBackgroundTaskInvalid);
    settle([] { return true; });
    CHECK(recorder->reports() == 0);
}
