#include <doctest/doctest.h>

#include "ads/core/net/GADScheduler.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/telemetry/GADContentQueue.h"
#include "ads/core/telemetry/GADViewHierarchyTraverser.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using ruzave::GADApplication;

namespace {

struct Screen : platform::testing::Harness {
    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::ViewController> controller = platform::ViewController::create();
    std::shared_ptr<platform::TextView> text = platform::TextView::create();
    std::shared_ptr<GADApplication> app = GADApplication::sharedInstance();
    Screen() {
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        controller->view()->addSubview(text);
        text->setText("the quick brown fox jumps over the lazy dog");
    }
    ~Screen() { app->stopContentHashing(); }
    bool stored(std::size_t count) {
        return runUntil([&] { return app->contentQueue() && app->contentQueue()->count() == count; });
    }
};

} // namespace

TEST_CASE_FIXTURE(Screen, "GADApplication: content hashing walks each period and serves the best fingerprint") {
    CHECK_FALSE(app->fingerprintWithServedPenaltyDeduction());
    platform::UserDefaults::standard()->set("/ruzave/ads/traversal_interval", 2.0);
    app->startContentHashing();
    auto scheduler = app->contentHashingScheduler();
    REQUIRE(scheduler);
    CHECK(scheduler->interval() == 2.0);
    app->startContentHashing();
    CHECK(app->contentHashingScheduler() == scheduler);
    CHECK(app->contentQueue()->size() == 10);

    advance(2.0);
    REQUIRE(stored(1));
    // The first walk: 43 code units plus sequence number 1.
    auto first = app->fingerprintWithServedPenaltyDeduction();
    REQUIRE(first);
    CHECK(first->size() == 24);
    // The same text again replaces the older content with the newer (number 2, score 45 - 100 < 0 is gone).
    advance(2.0);
    REQUIRE(runUntil([&] { return app->contentQueue()->contentWithSequenceNumber(2) != nullptr; }));
    CHECK(app->contentQueue()->count() == 1);
    CHECK(app->fingerprintWithServedPenaltyDeduction() == first);
    CHECK_FALSE(app->fingerprintWithServedPenaltyDeduction());

    // A stop keeps what is stored.
    app->stopContentHashing();
    CHECK_FALSE(app->contentHashingScheduler());
    CHECK(app->contentQueue()->count() == 1);
}

TEST_CASE_FIXTURE(Screen, "GADApplication: a walk whose text gives no fingerprint stores nothing") {
    text->setText("tiny");
    platform::UserDefaults::standard()->set("/ruzave/ads/content_queue_maximum_capacity", 3);
    app->startContentHashing();
    CHECK(app->contentQueue()->size() == 3);
    // A walk's visits pass through a background queue: idle main thread or not, it has ended only
    // when its walker says so (and a walk started before that is refused).
    auto walked = [&] {
        app->walkViewHierarchyForContent();
        return runUntil([&] { return !app->contentHashingTraverser()->traversing(); });
    };
    REQUIRE(walked());
    text->setText("now a text long enough for a fingerprint");
    REQUIRE(walked());
    // The hashing queue takes each walk's result in order: the tiny text's came first and stored nothing.
    REQUIRE(stored(1));
    runUntilIdle();
    CHECK(app->contentQueue()->count() == 1);
}

TEST_CASE_FIXTURE(Screen, "GADApplication: a stored walk period of 0 or less takes the 10 second default") {
    for (const char* stored : {"0", "-3", "nan"}) {
        platform::UserDefaults::standard()->set("/ruzave/ads/traversal_interval", std::string(stored));
        app->startContentHashing();
        REQUIRE(app->contentHashingScheduler());
        CHECK(app->contentHashingScheduler()->interval() == 10.0);
        app->stopContentHashing();
    }
    platform::UserDefaults::standard()->remove("/ruzave/ads/traversal_interval");
}
