#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "ads/render/GADVideoPlayer.h"
#include "platform/services/MediaAsset.h"
#include "platform/services/MediaPlayerItem.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADVideoPlayer;

namespace {

struct Delegate : ruzave::GADVideoPlayerDelegate {
    int created = 0;
    bool oldPlayers = false;  // players made without their own volume and mute
    void playerDidCacheFileAtURL(GADVideoPlayer&, const platform::URL&) override {}
    void playerDidCreateMediaPlayer(GADVideoPlayer&, const std::shared_ptr<platform::MediaPlayer>& player) override {
        ++created;
        if (oldPlayers) player->setHasVolumeControlForTesting(false);
    }
};

// The volume of every audio input of the current item's mix; {1} without a mix (full volume).
std::vector<float> mixVolumes(const platform::MediaPlayer& media) {
    const auto& mix = media.currentItem()->audioMix();
    if (!mix) return {1.0f};
    std::vector<float> out;
    for (const auto& input : mix->inputParameters) out.push_back(input.volume);
    return out;
}

struct VideoFixture : Harness {
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
    std::shared_ptr<GADVideoPlayer> player = GADVideoPlayer::initWithAdView(nullptr, delegate);
    std::vector<platform::Value> events;

    VideoFixture() {
        player->setEventObserver([this](const platform::Value& e) { events.push_back(e); });
    }
    int count(const char* name) const {
        int n = 0;
        for (const auto& e : events) n += e["event"] == name;
        return n;
    }
    void settle() {
        runUntilIdle();
        advance(0.01);
        runUntilIdle();
    }
};

} // namespace

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: a source is ready to play once per source, on one player") {
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/a.mp4"));
    settle();
    REQUIRE(count("canplaythrough") == 1);
    const auto& ready = events[0];
    CHECK(ready["duration"] == "10.000000");
    CHECK(ready["videoWidth"] == 640);
    CHECK(ready["videoHeight"] == 360);
    auto media = player->player();
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/b.mp4"));
    settle();
    CHECK(player->player() == media);
    CHECK(delegate->created == 1);
    CHECK(count("canplaythrough") == 2);
}

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: no source or an unparsable one gives a player with no item") {
    player->setSourceURL(platform::URL::parse("http://[bad"));
    REQUIRE(player->player() != nullptr);
    CHECK(player->player()->currentItem() == nullptr);
    CHECK_FALSE(player->sourceURL().has_value());
    player->play();
    player->setMuted(true);
    player->setAudioMixVolume(0.5f);
    settle();
    CHECK(count("canplaythrough") == 0);
    CHECK(delegate->created == 1);
}

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: seeks to negative or non-finite times are refused") {
    CHECK_FALSE(player->seekToTime(1.0));  // no player yet
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/a.mp4"));
    settle();
    CHECK_FALSE(player->seekToTime(-1.0));
    CHECK_FALSE(player->seekToTime(std::numeric_limits<double>::quiet_NaN()));
    CHECK_FALSE(player->seekToTime(std::numeric_limits<double>::infinity()));
    CHECK(player->seekToTime(2.5));
    CHECK(player->player()->currentTime().seconds() == doctest::Approx(2.5));
}

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: a stream without a known duration is never ready") {
    platform::MediaAsset::Script live;
    live.duration = platform::MediaTime::make(0, 0);
    platform::MediaAsset::scriptAsset("https://ads.ruzave.example/live.m3u8", live);
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/live.m3u8"));
    settle();
    CHECK(count("canplaythrough") == 0);
}

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: volume and muting use the player or fall back to the audio mix") {
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/a.mp4"));
    settle();
    auto media = player->player();
    SUBCASE("a player with its own controls") {
        player->setVolume(0.4f);
        player->setMuted(true);
        CHECK(media->isMuted());
        CHECK(media->volume() == doctest::Approx(0.4f));
        player->setVolume(1.5f);
        CHECK(player->volume() == doctest::Approx(1.5f));
        CHECK(media->volume() == doctest::Approx(1.0f));
    }
    SUBCASE("an old player") {
        media->setHasVolumeControlForTesting(false);
        player->setVolume(1.5f);
        CHECK_FALSE(media->currentItem()->audioMix().has_value());
        player->setVolume(0.5f);
        REQUIRE(media->currentItem()->audioMix().has_value());
        CHECK(media->currentItem()->audioMix()->inputParameters.size() == 1);
        player->setMuted(true);
        CHECK(media->currentItem()->audioMix()->inputParameters[0].volume == 0.0f);
        player->setMuted(false);
        CHECK(media->currentItem()->audioMix()->inputParameters[0].volume == doctest::Approx(0.5f));
        player->setAudioMixVolume(1.0f);
        CHECK_FALSE(media->currentItem()->audioMix().has_value());
    }
}

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: a muted video on an old player stays silent through volume changes and new sources") {
    delegate->oldPlayers = true;
    player->setMuted(true);  // before there is a player
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/a.mp4"));
    settle();
    auto media = player->player();
    REQUIRE(media);
    CHECK(mixVolumes(*media) == std::vector<float>{0.0f});
    player->setVolume(0.5f);
    CHECK(mixVolumes(*media) == std::vector<float>{0.0f});
    CHECK(player->muted());
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/b.mp4"));
    settle();
    CHECK(mixVolumes(*media) == std::vector<float>{0.0f});
    // Unmuted, the volume set while muted applies, and a new source keeps it.
    player->setMuted(false);
    CHECK(mixVolumes(*media) == std::vector<float>{0.5f});
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/a.mp4"));
    CHECK(mixVolumes(*media) == std::vector<float>{0.5f});
}

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: a page's mute before its first source reaches a player with its own controls") {
    player->setVolume(0.25f);
    player->setMuted(true);
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/a.mp4"));
    auto media = player->player();
    REQUIRE(media);
    CHECK(media->isMuted());
    CHECK(media->volume() == doctest::Approx(0.25f));
}

TEST_CASE_FIXTURE(VideoFixture, "GADVideoPlayer: playback reports play, time updates, pause and the end") {
    player->setSourceURL(platform::URL::parse("https://ads.ruzave.example/a.mp4"));
    settle();
    player->play();
    settle();
    CHECK(count("play") == 1);
    advance(1.0);
    runUntilIdle();
    CHECK(count("timeupdate") >= 4);
    player->pause();
    settle();
    CHECK(count("pause") == 1);
    player->play();
    advance(20.0);
    runUntilIdle();
    CHECK(count("ended") == 1);
}
