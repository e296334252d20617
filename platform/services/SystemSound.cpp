#include "platform/services/SystemSound.h"

#include <mutex>
#include <string>

#include "platform/base/Log.h"

namespace platform {
namespace {

struct SoundLog {
    std::mutex mutex;
    std::vector<std::uint32_t> played;
    long vibrations = 0;
};

SoundLog& soundLog() {
    static SoundLog s;
    return s;
}

} // namespace

void SystemSound::playSystemSound(std::uint32_t soundID) {
    {
        auto& s = soundLog();
        std::lock_guard lock(s.mutex);
        s.played.push_back(soundID);
        if (soundID == vibrateSoundID) ++s.vibrations;
    }
    if (soundID == vibrateSoundID)
        logInfo("SystemSound: vibrate");
    else
        logInfo("SystemSound: play sound " + std::to_string(soundID));
}

long SystemSound::vibrationCount() {
    auto& s = soundLog();
    std::lock_guard lock(s.mutex);
    return s.vibrations;
}

std::vector<std::uint32_t> SystemSound::playedSounds() {
    auto& s = soundLog();
    std::lock_guard lock(s.mutex);
    return s.played;
}

void SystemSound::resetForTesting() {
    auto& s = soundLog();
    std::lock_guard lock(s.mutex);
    s.played.clear();
    s.vibrations = 0;
}

} // namespace platform
