#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADPrecacheGMSGHandler.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tests/platform/net/NetTestSupport.h"
#include "tools/adserver/PrecacheRoutes.h"

using ruzave::GADNotification;
using ruzave::GADPrecacheGMSGHandler;

namespace {

struct Events {
    std::mutex mutex;
    std::vector<platform::Value> list;

    std::vector<platform::Value> copy() {
        std::lock_guard<std::mutex> lock(mutex);
        return list;
    }
    bool endedWith(const char* name) {
        std::lock_guard<std::mutex> lock(mutex);
        return !list.empty() && list.back()["event"] == name;
    }
    bool ended() { return endedWith("precacheComplete") || endedWith("precacheCanceled"); }
};

struct PrecacheFixture : nettest::ServerFixture {
    std::shared_ptr<GADPrecacheGMSGHandler> handler = GADPrecacheGMSGHandler::init();
    // The creative's view: a precache is its page's load.
    std::shared_ptr<ruzave::GADAdView> adView = ruzave::GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    Events events;

    PrecacheFixture() {
        adserver::installPrecacheRoutes(*server);
        adView->webView()->evaluate("0");  // a blank document to load for
        handler->setEventObserver([this](const platform::Value& event) {
            std::lock_guard<std::mutex> lock(events.mutex);
            events.list.push_back(event);
        });
    }

    void send(platform::Value parameters) {
        handler->didReceivePrecacheNotification({adView, GADNotification::initWithName("precache", parameters)});
    }
    void precache(const std::string& path) { send(platform::Value{{"src", url(path)}}); }
    bool finish() { return runUntil([&] { return events.ended(); }, 30.0); }

    static std::string contents(const platform::Value& event) {
        auto file = platform::URL::parse(event["cachedSrc"].get<std::string>());
        REQUIRE(file.has_value());
        std::ifstream in(file->path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool exists(const platform::Value& event) {
        auto file = platform::URL::parse(event["cachedSrc"].get<std::string>());
        return file && std::filesystem::exists(file->path());
    }
    std::size_t requestsFor(const std::string& path) const {
        std::size_t n = 0;
        for (const auto& r : server->requests()) n += r.path == path;
        return n;
    }
};

} // namespace

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: a known length streams to a fresh file in the temporary folder") {
    precache("/precache/known?size=300000");
    REQUIRE(finish());
    auto list = events.copy();
    REQUIRE(list.size() >= 3);
    CHECK(list.front()["event"] == "precacheProgress");
    CHECK(list.front()["bytesLoaded"] == 0);
    const auto& last = list.back();
    CHECK(last["event"] == "precacheComplete");
    CHECK(last["bytesLoaded"] == 300000);
    CHECK(last["totalBytes"] == 300000);
    CHECK(last["src"] == url("/precache/known?size=300000"));
    CHECK(contents(last) == adserver::precacheBody(300000));
    auto folder = ruzave::GADDevice::sharedInstance()->temporaryPathWithCreation(false);
    CHECK(platform::URL::parse(last["cachedSrc"].get<std::string>())->path().rfind(folder + "/", 0) == 0);
    long long previous = -1;
    for (const auto& event : list) {
        CHECK(event["bytesLoaded"].get<long long>() >= previous);
        previous = event["bytesLoaded"].get<long long>();
    }
    CHECK(handler->hasStartedPreloading());
    // Another "src" while one download is done starts nothing new.
    precache("/precache/known?size=10");
    CHECK(requestsFor("/precache/known") == 1);
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: an unknown length reports -1 total bytes in every event") {
    precache("/precache/unknown?size=200000");
    REQUIRE(finish());
    auto list = events.copy();
    CHECK(list.back()["event"] == "precacheComplete");
    CHECK(list.back()["bytesLoaded"] == 200000);
    for (const auto& event : list) CHECK(event["totalBytes"] == -1);
    CHECK(contents(list.back()) == adserver::precacheBody(200000));
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: abort during a slow download removes the file and names no cached file") {
    precache("/precache/slow?size=400000");
    REQUIRE(runUntil([&] {
        auto list = events.copy();
        return !list.empty() && list.back()["bytesLoaded"].get<long long>() > 0;
    }));
    auto cached = handler->cachedURL();
    REQUIRE(cached.has_value());
    CHECK(std::filesystem::exists(cached->path()));
    send(platform::Value{{"abort", "1"}});
    auto last = events.copy().back();
    CHECK(last["event"] == "precacheCanceled");
    CHECK(last["bytesLoaded"].get<long long>() > 0);
    CHECK(last["bytesLoaded"].get<long long>() < 400000);
    CHECK(last["cachedSrc"] == "");
    CHECK_FALSE(handler->cachedURL().has_value());
    CHECK_FALSE(std::filesystem::exists(cached->path()));
    CHECK_FALSE(handler->hasStartedPreloading());
    // Nothing arrives after the clean-up.
    auto count = events.copy().size();
    runUntil([] { return false; }, 0.2);
    CHECK(events.copy().size() == count);
    // A later "src" starts a new download.
    {
        std::lock_guard<std::mutex> lock(events.mutex);
        events.list.clear();
    }
    precache("/precache/known?size=1000");
    REQUIRE(finish());
    CHECK(events.copy().back()["event"] == "precacheComplete");
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: a body cut short leaves no partial file") {
    precache("/precache/aborted?size=300000");
    REQUIRE(finish());
    auto last = events.copy().back();
    CHECK(last["event"] == "precacheCanceled");
    CHECK(last["bytesLoaded"].get<long long>() <= 150000);
    CHECK(last["totalBytes"] == 300000);
    CHECK_FALSE(exists(last));
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: files over the cap are refused announced or not") {
    handler->setMaximumBytes(100000);
    SUBCASE("announced") {
        precache("/precache/known?size=100001");
        REQUIRE(finish());
        auto list = events.copy();
        CHECK(list.size() == 1);
        CHECK(list.back()["event"] == "precacheCanceled");
        CHECK(list.back()["cachedSrc"] == "");
    }
    SUBCASE("streamed") {
        precache("/precache/unknown?size=250000");
        REQUIRE(finish());
        auto last = events.copy().back();
        CHECK(last["event"] == "precacheCanceled");
        CHECK(last["bytesLoaded"].get<long long>() <= 100000);
        CHECK_FALSE(exists(last));
    }
    SUBCASE("exactly the cap") {
        precache("/precache/known?size=100000");
        REQUIRE(finish());
        CHECK(events.copy().back()["event"] == "precacheComplete");
    }
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: error statuses are not cached as the file") {
    precache("/precache/status?code=404");
    REQUIRE(finish());
    auto list = events.copy();
    CHECK(list.back()["event"] == "precacheCanceled");
    CHECK(list.back()["bytesLoaded"] == 0);
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: a refused response after an earlier download names no cached file") {
    precache("/precache/known?size=1000");
    REQUIRE(finish());
    REQUIRE(events.copy().back()["event"] == "precacheComplete");
    send(platform::Value{{"abort", "1"}});
    {
        std::lock_guard<std::mutex> lock(events.mutex);
        events.list.clear();
    }
    precache("/precache/status?code=404");
    REQUIRE(finish());
    auto last = events.copy().back();
    CHECK(last["event"] == "precacheCanceled");
    CHECK(last["cachedSrc"] == "");
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: abort before any src reports nothing known") {
    send(platform::Value{{"abort", ""}});
    auto list = events.copy();
    REQUIRE(list.size() == 1);
    CHECK(list[0] == platform::Value{{"event", "precacheCanceled"},
                                     {"bytesLoaded", 0},
                                     {"totalBytes", 0},
                                     {"src", ""},
                                     {"cachedSrc", ""}});
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: only web sources are fetched") {
    send(platform::Value{{"src", "file:///etc/passwd"}});
    auto list = events.copy();
    REQUIRE(list.size() == 1);
    CHECK(list[0]["event"] == "precacheCanceled");
    CHECK_FALSE(handler->hasStartedPreloading());
    // An unparsable source replaces nothing and fetches nothing.
    send(platform::Value{{"src", "http://[bad"}});
    CHECK(handler->sourceURL()->absoluteString() == "file:///etc/passwd");
    send(platform::Value{{"nothing", "1"}});
    CHECK(events.copy().size() <= 2);
    CHECK(server->requests().empty());
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: a hostile suggested name stays inside a fresh folder") {
    precache("/precache/known?size=64&name=..%2F..%2F..%2Fescape.mp4");
    REQUIRE(finish());
    auto last = events.copy().back();
    REQUIRE(last["event"] == "precacheComplete");
    auto path = std::filesystem::path(platform::URL::parse(last["cachedSrc"].get<std::string>())->path());
    CHECK(path.filename() == "escape.mp4");
    auto folder = ruzave::GADDevice::sharedInstance()->temporaryPathWithCreation(false);
    CHECK(path.parent_path().parent_path() == std::filesystem::path(folder));
}

TEST_CASE("GADPrecacheGMSGHandler: safe file names are one path component") {
    CHECK(GADPrecacheGMSGHandler::safeFileName("video.mp4") == "video.mp4");
    CHECK(GADPrecacheGMSGHandler::safeFileName("../../etc/passwd") == "passwd");
    CHECK(GADPrecacheGMSGHandler::safeFileName("a\\b\\..") == "precache");
    CHECK(GADPrecacheGMSGHandler::safeFileName("..") == "precache");
    CHECK(GADPrecacheGMSGHandler::safeFileName("") == "precache");
    CHECK(GADPrecacheGMSGHandler::safeFileName(std::string("ok\0/x.mp4", 9)) == "x.mp4");
    CHECK(GADPrecacheGMSGHandler::safeFileName(std::string("a\0b", 3)) == "ab");
    CHECK(GADPrecacheGMSGHandler::safeFileName(".hidden") == "hidden");
    CHECK(GADPrecacheGMSGHandler::safeFileName(std::string(500, 'x')).size() == 200);
    // A cut never leaves half a character.
    std::string accented;
    for (int i = 0; i < 150; ++i) accented += "\xC3\xA9";
    CHECK(GADPrecacheGMSGHandler::safeFileName(accented).size() == 200);
    CHECK(GADPrecacheGMSGHandler::safeFileName("x" + accented).size() == 199);
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: events name the URL being fetched and handlers never share a download") {
    auto other = GADPrecacheGMSGHandler::init();
    Events otherEvents;
    other->setEventObserver([&](const platform::Value& event) {
        std::lock_guard<std::mutex> lock(otherEvents.mutex);
        otherEvents.list.push_back(event);
    });
    precache("/precache/slow?size=100000");
    precache("/precache/known?size=5");
    other->didReceivePrecacheNotification(
        {adView, GADNotification::initWithName("precache", platform::Value{{"src", url("/precache/known?size=7")}})});
    REQUIRE(finish());
    REQUIRE(runUntil([&] { return otherEvents.ended(); }));
    CHECK(handler->sourceURL()->absoluteString() == url("/precache/known?size=5"));
    for (const auto& event : events.copy()) CHECK(event["src"] == url("/precache/slow?size=100000"));
    CHECK(events.copy().back()["bytesLoaded"] == 100000);
    CHECK(otherEvents.copy().back()["bytesLoaded"] == 7);
    CHECK(events.copy().back()["cachedSrc"] != otherEvents.copy().back()["cachedSrc"]);
    // Releasing a handler removes its file.
    auto file = otherEvents.copy().back();
    other.reset();
    CHECK_FALSE(exists(file));
}

TEST_CASE_FIXTURE(PrecacheFixture, "GADPrecacheGMSGHandler: a file the creative names is loaded as its page's web content and ends with the page") {
    auto page = adView->webView()->currentPage();
    const std::size_t chargedBefore = page->chargedBytes();
    precache("/precache/slow?size=100000");
    // Under way for the page: counted among its loads and charged to its budget.
    CHECK(page->loadsForPageCount() == 1);
    CHECK(page->chargedBytes() > chargedBefore);
    REQUIRE(runUntil([&] { return !events.copy().empty(); }));
    // The page goes (the view shows another document): the download ends with it, and nothing is kept.
    adView->webView()->loadHTMLString("<p>next</p>", platform::URL::parse("https://ad.example/next"));
    REQUIRE(finish());
    CHECK(events.endedWith("precacheCanceled"));
    CHECK_FALSE(handler->cachedURL().has_value());
    REQUIRE(runUntil([&] { return page->chargedBytes() == chargedBefore; }));
    CHECK(page->loadsForPageCount() == 0);

    // With no page to load for, nothing is fetched.
    auto orphan = GADPrecacheGMSGHandler::init();
    Events orphanEvents;
    orphan->setEventObserver([&](const platform::Value& event) {
        std::lock_guard<std::mutex> lock(orphanEvents.mutex);
        orphanEvents.list.push_back(event);
    });
    const std::size_t heard = requestsFor("/precache/known");
    orphan->didReceivePrecacheNotification(
        {nullptr, GADNotification::initWithName("precache", platform::Value{{"src", url("/precache/known?size=7")}})});
    CHECK(orphanEvents.endedWith("precacheCanceled"));
    CHECK_FALSE(orphan->hasStartedPreloading());
    CHECK(requestsFor("/precache/known") == heard);
}
