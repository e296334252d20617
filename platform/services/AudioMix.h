#pragma once
// Volume settings for the audio tracks of a player item: one input per track. Any thread (a plain value).
#include <cstdint>
#include <vector>

namespace platform {

struct AudioMix {
    struct InputParameters {
        std::int32_t trackID = 0;
        float volume = 1.0f;
        // Seconds into the item from which the volume applies.
        double atTime = 0;
    };
    std::vector<InputParameters> inputParameters;
};

} // namespace platform
