#include <doctest/doctest.h>

#include "TrackingHarness.h"
#include "ads/core/net/GADCachedFile.h"
#include "platform/base/HTTPDate.h"
#include "platform/foundation/Sandbox.h"

using tracking_harness::TrackingFixture;

namespace {

struct FileRecorder : ruzave::GADCachedFileDelegate {
    int ended = 0;
    int failed = 0;
    std::optional<platform::Error> error;
    std::optional<platform::Error> cachedFileShouldRedirectToURL(ruzave::GADCachedFile&, const platform::URL&) override {
        return std::nullopt;
    }
    void cachedFileDownloadDidEnd(ruzave::GADCachedFile&) override { ++ended; }
    void cachedFileDownloadDidFail(ruzave::GADCachedFile&, const std::optional<platform::Error>& e) override {
        ++failed;
        error = e;
    }
    bool done() const { return ended + failed > 0; }
};

} // namespace

TEST_CASE_FIXTURE(TrackingFixture, "GADCachedFile: a 200 is stored with the server's date and a repeat load is answered 304") {
    auto recorder = std::make_shared<FileRecorder>();
    auto file = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/track/file")));
    file->setDelegate(recorder);
    file->validate();
    REQUIRE(settle([&] { return recorder->done(); }));
    CHECK(recorder->ended == 1);
    CHECK(file->HTTPStatusCode() == 200);
    CHECK(file->contentAsString() == std::optional<std::string>(adserver::kTrackingFileBody));
    // The stored date is a whole HTTP date, zone included, whatever the server's text was cut to.
    CHECK(file->fileModificationRFC1123DateString() == std::optional<std::string>(adserver::kTrackingFileDate));
    CHECK_FALSE(file->isDownloading());

    // The stored copy is untouched by the 304.
    platform::Sandbox::writeFileAtomically(file->filePath(), std::string_view("kept"));
    platform::Sandbox::setModificationDate(file->filePath(), *platform::parseHTTPDate(adserver::kTrackingFileDate));
    file->validate();
    REQUIRE(settle([&] { return recorder->ended == 2; }));
    CHECK(file->HTTPStatusCode() == 304);
    CHECK(file->contentAsString() == std::optional<std::string>("kept"));
    auto requests = server->requests("/track/file");
    REQUIRE(requests.size() == 2);
    CHECK(requests[0].header("if-modified-since").empty());
    CHECK(requests[1].header("if-modified-since") == adserver::kTrackingFileDate);
}

TEST_CASE_FIXTURE(TrackingFixture, "GADCachedFile: any 2xx succeeds but only a 200 stores a body") {
    auto recorder = std::make_shared<FileRecorder>();
    auto file = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/track/status?code=204")));
    file->setDelegate(recorder);
    file->validate();
    REQUIRE(settle([&] { return recorder->done(); }));
    CHECK(recorder->ended == 1);
    CHECK_FALSE(file->fileExists());
}

TEST_CASE_FIXTURE(TrackingFixture, "GADCachedFile: a 500 fails without an error and a cache buster reloads") {
    auto recorder = std::make_shared<FileRecorder>();
    auto file = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/track/status?code=500")));
    file->setDelegate(recorder);
    file->validateWithCacheBuster();
    // A second start while one runs does nothing.
    file->validate();
    REQUIRE(settle([&] { return recorder->done(); }));
    CHECK(recorder->failed == 1);
    CHECK_FALSE(recorder->error.has_value());
    CHECK(file->cachePolicy() == platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
    auto requests = server->requests("/track/status");
    REQUIRE(requests.size() == 1);
    CHECK_FALSE(requests[0].param("unique").empty());
}

TEST_CASE_FIXTURE(TrackingFixture, "GADCachedFile: file paths never leave the caches folder") {
    const std::string caches = platform::Sandbox::cachesDirectory();
    CHECK(ruzave::GADCachedFile::hostFolderName("..") == "@local");
    CHECK(ruzave::GADCachedFile::hostFolderName(".") == "@local");
    CHECK(ruzave::GADCachedFile::hostFolderName("") == "@local");
    CHECK(ruzave::GADCachedFile::hostFolderName("a/../b") == "a%2F..%2Fb");
    CHECK(ruzave::GADCachedFile::hostFolderName("a\\b") == "a%5Cb");
    CHECK(ruzave::GADCachedFile::hostFolderName("Ads.Example") == "ads.example");

    auto local = ruzave::GADCachedFile::filePathForURL(*platform::URL::parse("about:blank"));
    CHECK(local.rfind(caches + "/@local/", 0) == 0);
    // The same URL always maps to the same file, so two trackers of it share it.
    auto a = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/x?y=1")));
    auto b = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/x?y=1")));
    auto c = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/x?y=2")));
    CHECK(a->filePath() == b->filePath());
    CHECK(a->filePath() != c->filePath());
    CHECK(a->filePath().rfind(caches + "/ping.ruzave.example/", 0) == 0);
    CHECK(a->description().find("HTTP code: 0\n\turl: " + ping("/x?y=1") + "\n\tfile: " + a->filePath()) !=
          std::string::npos);
}

TEST_CASE_FIXTURE(TrackingFixture, "GADCachedFile: invalidate deletes the stored body") {
    auto recorder = std::make_shared<FileRecorder>();
    auto file = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/track/file")));
    file->setDelegate(recorder);
    file->validate();
    REQUIRE(settle([&] { return recorder->done(); }));
    REQUIRE(file->fileExists());
    file->invalidate();
    CHECK_FALSE(file->fileExists());
    CHECK_FALSE(file->fileModificationRFC1123DateString().has_value());
}

TEST_CASE_FIXTURE(TrackingFixture, "GADCachedFile: a stored body reads as a string only when it is UTF-8 text") {
    auto file = ruzave::GADCachedFile::initWithURL(*platform::URL::parse(ping("/track/file")));
    CHECK_FALSE(file->contentAsString().has_value()); // nothing stored yet
    const std::string folder = file->filePath().substr(0, file->filePath().rfind('/'));
    REQUIRE(platform::Sandbox::createDirectory(folder, true));
    REQUIRE(platform::Sandbox::writeFileAtomically(file->filePath(), std::string_view("caf\xC3\xA9")));
    CHECK(file->contentAsString() == std::optional<std::string>("caf\xC3\xA9"));
    // A Latin-1 byte, a lone continuation byte, and a sequence cut short at the end.
    for (std::string_view bytes : {std::string_view("caf\xE9"), std::string_view("\x80"), std::string_view("ok\xE2\x82")}) {
        REQUIRE(platform::Sandbox::writeFileAtomically(file->filePath(), bytes));
        CHECK_FALSE(file->contentAsString().has_value());
    }
}
