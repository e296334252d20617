#include "platform/services/AudioSession.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NotificationCenter.h"

namespace platform {

std::shared_ptr<AudioSession> AudioSession::sharedInstance() {
    static std::shared_ptr<AudioSession> session(new AudioSession());
    return session;
}

AudioSession::AudioSession() : outputs_{{portBuiltInSpeaker, "Speaker"}} {}

std::vector<AudioSession::Port> AudioSession::currentRouteOutputs() const {
    std::lock_guard lock(mutex_);
    return outputs_;
}

float AudioSession::outputVolume() const {
    std::lock_guard lock(mutex_);
    return volume_;
}

void AudioSession::setCurrentRouteOutputsForTesting(std::vector<Port> outputs) {
    {
        std::lock_guard lock(mutex_);
        if (outputs_ == outputs) return;
        outputs_ = std::move(outputs);
    }
    NotificationCenter::defaultCenter()->post(routeChangeNotification, this);
}

void AudioSession::setOutputVolumeForTesting(float volume) {
    if (std::isnan(volume)) return;
    std::lock_guard lock(mutex_);
    volume_ = std::clamp(volume, 0.0f, 1.0f);
}

} // namespace platform
