#include <doctest/doctest.h>

#include "platform/base/Log.h"
#include "platform/services/SystemSound.h"

using platform::SystemSound;

TEST_CASE("SystemSound: vibration is the sound 4095, logged and counted apart from other sounds") {
    platform::LogCapture capture;
    SystemSound::playSystemSound(1104);
    SystemSound::vibrate();
    SystemSound::playSystemSound(4095);
    CHECK(SystemSound::vibrationCount() == 2);
    CHECK(SystemSound::playedSounds() == std::vector<std::uint32_t>{1104, 4095, 4095});
    CHECK(capture.contains("vibrate"));
    SystemSound::resetForTesting();
    CHECK(SystemSound::vibrationCount() == 0);
}
