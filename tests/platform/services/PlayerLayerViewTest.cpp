#include <doctest/doctest.h>

#include "platform/services/PlayerLayerView.h"
#include "platform/testing/Harness.h"

using platform::MediaAsset;
using platform::MediaPlayer;
using platform::PlayerLayerView;

TEST_CASE_FIXTURE(platform::testing::Harness, "PlayerLayerView: fits the video into its bounds by gravity once the item is ready") {
    MediaAsset::Script wide;
    wide.videoSize = {1280, 720};
    MediaAsset::scriptAsset("wide", wide);
    auto player = MediaPlayer::playerWithURL("wide");
    auto view = PlayerLayerView::playerLayerWithPlayer(player, platform::Rect(0, 0, 320, 320));
    CHECK((view->videoRect() == platform::Rect::zero())); // no size before the item is ready
    runUntilIdle();

    auto fit = view->videoRect();
    CHECK(fit.size.width == doctest::Approx(320));
    CHECK(fit.size.height == doctest::Approx(180));
    CHECK(fit.origin.y == doctest::Approx(70));

    view->setVideoGravity(PlayerLayerView::VideoGravity::ResizeAspectFill);
    auto fill = view->videoRect();
    CHECK(fill.size.height == doctest::Approx(320));
    CHECK(fill.origin.x == doctest::Approx(-124.444f));

    view->setVideoGravity(PlayerLayerView::VideoGravity::Resize);
    CHECK((view->videoRect() == view->bounds()));

    MediaAsset::Script audioOnly;
    audioOnly.videoSize = {0, 0};
    MediaAsset::scriptAsset("audio", audioOnly);
    view->setPlayer(MediaPlayer::playerWithURL("audio"));
    runUntilIdle();
    CHECK((view->videoRect() == platform::Rect::zero()));
}
