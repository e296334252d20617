#include <doctest/doctest.h>

#include "ads/render/GADAdView.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADVideoPlayer.h"
#include "ads/render/GADVideoPlayerGMSGHandler.h"
#include "platform/services/PlayerLayerView.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADAdView;
using ruzave::GADNotification;
using ruzave::GADVideoPlayerGMSGHandler;

namespace {

struct VideoMessages : Harness {
    std::shared_ptr<GADVideoPlayerGMSGHandler> handler = GADVideoPlayerGMSGHandler::init();
    std::shared_ptr<GADAdView> view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 250));

    bool video(platform::Value parameters) {
        return handler->handleNotification(GADNotification::initWithName("video", parameters), view);
    }
};

} // namespace

TEST_CASE_FIXTURE(VideoMessages, "GADVideoPlayerGMSGHandler: new makes one player and one video view under the page") {
    CHECK(video({{"action", "new"}, {"x", "10"}, {"y", "20"}, {"w", "100"}, {"h", "50"}}));
    auto player = view->videoPlayer();
    REQUIRE(player != nullptr);
    REQUIRE(view->videoPlayerLayer() != nullptr);
    CHECK(view->subviews().front() == view->videoPlayerLayer());
    CHECK(view->videoPlayerLayer()->frame().size.width == 100);
    CHECK(player->player()->currentItem() == nullptr);
    video({{"action", "new"}, {"x", "1"}, {"y", "2"}, {"w", "3"}, {"h", "4"}});
    CHECK(view->videoPlayer() == player);
    CHECK(view->cachedVideoPlayerFrame().size.width == 3);
    // Three of four coordinates: the video fills the view.
    video({{"action", "position"}, {"x", "1"}, {"y", "2"}, {"w", "3"}});
    CHECK(view->cachedVideoPlayerFrame().size.width == 0);
    CHECK(view->videoPlayerLayer()->frame().size.width == 320);
    video({{"action", "hide"}});
    CHECK(view->videoPlayerLayer()->isHidden());
    video({{"action", "show"}});
    CHECK_FALSE(view->videoPlayerLayer()->isHidden());
}

TEST_CASE_FIXTURE(VideoMessages, "GADVideoPlayerGMSGHandler: player actions without a player or arguments do nothing") {
    CHECK(video({{"action", "play"}}));
    CHECK(video({{"action", "volume"}}));
    CHECK(video({{"action", "currentTime"}, {"time", "abc"}}));
    CHECK(video({{"action", "nonsense"}}));
    CHECK(video({{"nothing", "1"}}));
    CHECK(view->videoPlayer() == nullptr);
    video({{"action", "src"}, {"src", "http://[bad"}});
    REQUIRE(view->videoPlayer() != nullptr);
    CHECK(view->videoPlayer()->player()->currentItem() == nullptr);
    video({{"action", "muted"}});
    video({{"action", "volume"}, {"volume", "0.3"}});
    CHECK(view->videoPlayer()->volume() == doctest::Approx(0.3f));
    CHECK_FALSE(view->videoPlayer()->muted());
}

TEST_CASE_FIXTURE(VideoMessages, "GADVideoPlayerGMSGHandler: src, play, muted and seeks reach the player") {
    video({{"action", "src"}, {"src", "https://ads.ruzave.example/v.mp4"}});
    auto player = view->videoPlayer();
    REQUIRE(player != nullptr);
    runUntilIdle();
    advance(0.01);
    runUntilIdle();
    video({{"action", "muted"}, {"muted", "1"}});
    CHECK(player->player()->isMuted());
    CHECK(player->player()->volume() == doctest::Approx(1.0f));
    video({{"action", "currentTime"}, {"time", "3"}});
    CHECK(player->player()->currentTime().seconds() == doctest::Approx(3.0));
    video({{"action", "currentTime"}, {"time", "-5"}});
    CHECK(player->player()->currentTime().seconds() == doctest::Approx(3.0));
    video({{"action", "currentTime"}});
    CHECK(player->player()->currentTime().seconds() == doctest::Approx(0.0));
    video({{"action", "play"}});
    CHECK(player->player()->rate() == 1.0f);
    video({{"action", "pause"}});
    CHECK(player->player()->rate() == 0.0f);
}
