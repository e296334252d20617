#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/services/MediaPlayer.h"
#include "platform/testing/Harness.h"

using platform::MediaAsset;
using platform::MediaPlayer;
using platform::MediaPlayerItem;
using platform::MediaTime;

namespace {

struct KeyPaths : platform::MediaPlayerObserver {
    std::vector<std::string> seen;
    void playerDidChangeValueForKeyPath(MediaPlayer&, const std::string& keyPath) override { seen.push_back(keyPath); }
    int count(const std::string& k) const { return static_cast<int>(std::count(seen.begin(), seen.end(), k)); }
};

MediaAsset::Script fourSeconds(double loadDelay = 0) {
    MediaAsset::Script s;
    s.duration = MediaTime::make(4 * 600, 600);
    s.videoSize = {320, 180};
    s.audioTrackCount = 2;
    s.loadDelay = loadDelay;
    return s;
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "MediaPlayer: the periodic observer and played-to-end follow virtual time") {
    MediaAsset::scriptAsset("https://ads.example/v.mp4", fourSeconds());
    auto player = MediaPlayer::playerWithURL("https://ads.example/v.mp4");
    REQUIRE(player);
    auto item = player->currentItem();
    int ends = 0;
    auto center = platform::NotificationCenter::defaultCenter();
    auto token = center->addObserver(MediaPlayerItem::didPlayToEndTimeNotification, item.get(), nullptr,
                                      [&](const platform::Notification&) { ++ends; });
    std::vector<double> ticks;
    player->addPeriodicTimeObserver(MediaTime::make(1, 4), nullptr, [&](MediaTime t) { ticks.push_back(t.seconds()); });

    runUntilIdle();
    REQUIRE(player->status() == MediaPlayer::ReadyToPlay);
    player->play();
    CHECK(player->currentTime().seconds() == doctest::Approx(0));

    advance(1.0);
    // The start, then each quarter.
    REQUIRE(ticks.size() == 5);
    CHECK(ticks[0] == doctest::Approx(0));
    CHECK(ticks[1] == doctest::Approx(0.25));
    CHECK(ticks[4] == doctest::Approx(1.0));
    CHECK(player->currentTime().seconds() == doctest::Approx(1.0));

    // Paused, time stands still and the observer hears only the stop.
    player->pause();
    advance(5);
    REQUIRE(ticks.size() == 6);
    CHECK(ticks[5] == doctest::Approx(1.0));
    CHECK(player->currentTime().seconds() == doctest::Approx(1.0));

    // Double speed to the end: 3 s of item in 1.5 s of clock, then the end and a pause.
    player->setRate(2.0f);
    advance(1.4);
    CHECK(ends == 0);
    advance(0.2);
    CHECK(ends == 1);
    CHECK(player->rate() == 0.0f);
    CHECK(player->currentTime().seconds() == doctest::Approx(4.0));
    CHECK(ticks.back() == doctest::Approx(4.0));
    // 6, the restart, 12 quarters up to the end (which is due and is not repeated for the stop).
    CHECK(ticks.size() == 19);
    advance(10);
    CHECK(ends == 1);
    center->removeObserver(token);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "MediaPlayer: status, duration and buffer changes reach key-path observers") {
    MediaAsset::scriptAsset("a", fourSeconds(0.5));
    auto player = MediaPlayer::playerWithURL("a");
    auto keys = std::make_shared<KeyPaths>();
    player->addObserver(keys);
    player->play();
    CHECK(player->status() == MediaPlayer::Unknown);
    CHECK_FALSE(player->currentItem()->duration().isNumeric());
    advance(0.5);
    CHECK(player->status() == MediaPlayer::ReadyToPlay);
    // Time runs only from readiness on, although the rate was set before.
    CHECK(player->currentTime().seconds() == doctest::Approx(0));
    advance(0.5);
    CHECK(player->currentTime().seconds() == doctest::Approx(0.5));
    player->pause();
    CHECK(keys->count(MediaPlayer::keyPathStatus) == 1);
    CHECK(keys->count(MediaPlayer::keyPathItemDuration) == 1);
    auto item = player->currentItem();
    CHECK(item->duration() == MediaTime::make(2400, 600));
    CHECK(item->isPlaybackLikelyToKeepUp());
    CHECK(item->presentationSize().width == 320);
    CHECK(item->presentationSize().height == 180);
    CHECK(item->asset()->tracksWithMediaType(platform::MediaAssetTrack::mediaTypeAudio).size() == 2);

    item->setBufferStateForTesting(false, true, true);
    CHECK(keys->count(MediaPlayer::keyPathItemBufferFull) == 2);
    CHECK(keys->count(MediaPlayer::keyPathItemLikelyToKeepUp) == 1); // unchanged: not announced again

    player->play();
    player->play(); // same rate: no second announcement
    advance(1.0);
    CHECK(player->currentTime().seconds() == doctest::Approx(1.5));
    CHECK(keys->count(MediaPlayer::keyPathRate) == 3);
    player->setRate(-3.0f); // reads as a pause
    CHECK(player->rate() == 0.0f);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "MediaPlayer: a failed asset never plays and a seek is clamped to the duration") {
    auto failing = fourSeconds();
    failing.fails = true;
    MediaAsset::scriptAsset("bad", failing);
    auto broken = MediaPlayer::playerWithURL("bad");
    broken->play();
    runUntilIdle();
    CHECK(broken->status() == MediaPlayer::Failed);
    REQUIRE(broken->currentItem()->error());
    advance(10);
    CHECK(broken->currentTime().seconds() == doctest::Approx(0));

    MediaAsset::scriptAsset("good", fourSeconds());
    auto player = MediaPlayer::playerWithURL("good");
    runUntilIdle();
    player->seekToTime(MediaTime::fromSeconds(99, 600));
    CHECK(player->currentTime().seconds() == doctest::Approx(4.0));
    player->seekToTime(MediaTime::invalid()); // ignored
    CHECK(player->currentTime().seconds() == doctest::Approx(4.0));
    player->seekToTime(MediaTime::fromSeconds(1.5, 1000000000));
    CHECK(player->currentTime().seconds() == doctest::Approx(1.5));

    // An item belongs to one player at a time.
    auto other = MediaPlayer::playerWithPlayerItem(nullptr);
    CHECK_FALSE(other->replaceCurrentItemWithPlayerItem(player->currentItem()));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "MediaPlayer: a time observer removed inside its own call stops, and a released player stops its timers") {
    MediaAsset::scriptAsset("v", fourSeconds());
    auto player = MediaPlayer::playerWithURL("v");
    runUntilIdle();
    int calls = 0;
    MediaPlayer::TimeObserverToken token = 0;
    token = player->addPeriodicTimeObserver(MediaTime::make(1, 2), nullptr, [&](MediaTime) {
        ++calls;
        player->removeTimeObserver(token);
    });
    CHECK(player->addPeriodicTimeObserver(MediaTime::make(0, 2), nullptr, [](MediaTime) {}) == 0);
    player->play();
    advance(2);
    CHECK(calls == 1);

    int late = 0;
    player->addPeriodicTimeObserver(MediaTime::make(1, 2), nullptr, [&](MediaTime) { ++late; });
    player.reset();
    advance(3);
    CHECK(late == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "MediaPlayer: volume is clamped and the audio mix is kept on the item") {
    auto player = MediaPlayer::playerWithURL("x");
    player->setVolume(1.5f);
    CHECK(player->volume() == 1.0f);
    player->setVolume(std::nanf(""));
    CHECK(player->volume() == 1.0f);
    player->setVolume(-1);
    CHECK(player->volume() == 0.0f);
    platform::AudioMix mix;
    mix.inputParameters.push_back({2, 0.3f, 0});
    player->currentItem()->setAudioMix(mix);
    REQUIRE(player->currentItem()->audioMix());
    CHECK(player->currentItem()->audioMix()->inputParameters[0].trackID == 2);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "MediaPlayer: time observers hear seeks, starts and stops, and a stop at an odd end") {
    MediaAsset::scriptAsset("https://ads.example/v.mp4", fourSeconds());
    auto player = MediaPlayer::playerWithURL("https://ads.example/v.mp4");
    std::vector<double> ticks;
    player->addPeriodicTimeObserver(MediaTime::make(3, 2), nullptr, [&](MediaTime t) { ticks.push_back(t.seconds()); });
    runUntilIdle();
    CHECK(ticks.empty());  // not playing: nothing to report

    // A seek while paused is a jump of time.
    player->seekToTime(MediaTime::fromSeconds(1, 600));
    runUntilIdle();
    REQUIRE(ticks.size() == 1);
    CHECK(ticks[0] == doctest::Approx(1));

    // A rate change while playing neither starts nor stops.
    player->play();
    player->setRate(2.0f);
    runUntilIdle();
    REQUIRE(ticks.size() == 2);
    CHECK(ticks[1] == doctest::Approx(1));

    // At 2 s of clock the item is at 1 + 2 * 2 = 5 > 4: the 1.5 and 3.0 marks, then the stop at the end,
    // which is no multiple of the interval.
    advance(2);
    REQUIRE(ticks.size() == 5);
    CHECK(ticks[2] == doctest::Approx(1.5));
    CHECK(ticks[3] == doctest::Approx(3.0));
    CHECK(ticks[4] == doctest::Approx(4.0));
    CHECK(player->rate() == 0.0f);

    // A seek while playing is heard too, and the marks go on from the new time.
    player->seekToTime(MediaTime::fromSeconds(0, 600));
    player->play();
    runUntilIdle();
    REQUIRE(ticks.size() == 7);
    CHECK(ticks[5] == doctest::Approx(0));
    CHECK(ticks[6] == doctest::Approx(0));
    advance(1.5);
    REQUIRE(ticks.size() == 8);
    CHECK(ticks[7] == doctest::Approx(1.5));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "MediaPlayer: an observer removed before a pending start call never hears it") {
    MediaAsset::scriptAsset("v", fourSeconds());
    auto player = MediaPlayer::playerWithURL("v");
    runUntilIdle();
    int calls = 0;
    auto token = player->addPeriodicTimeObserver(MediaTime::make(1, 1), nullptr, [&](MediaTime) { ++calls; });
    player->play();
    player->removeTimeObserver(token);
    runUntilIdle();
    advance(2);
    CHECK(calls == 0);
}
