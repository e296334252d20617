#pragma once
// Short system sounds and the vibration. Nothing is audible here: each play is logged and counted so tests
// can see it. Any thread.
#include <cstdint>
#include <vector>

namespace platform {

class SystemSound {
public:
    // The sound identifier that makes the device vibrate.
    static constexpr std::uint32_t vibrateSoundID = 4095;

    static void playSystemSound(std::uint32_t soundID);
    static void vibrate() { playSystemSound(vibrateSoundID); }

    static long vibrationCount();
    // Every sound played, vibrations included, in order.
    static std::vector<std::uint32_t> playedSounds();
    static void resetForTesting();
};

} // namespace platform
