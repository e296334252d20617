#pragma once
// One track of a media asset. Any thread (a plain value).
#include <cstdint>
#include <string>

#include "platform/ui/Geometry.h"

namespace platform {

struct MediaAssetTrack {
    static constexpr const char* mediaTypeVideo = "vide";
    static constexpr const char* mediaTypeAudio = "soun";

    std::int32_t trackID = 0;
    std::string mediaType;
    // Zero for audio.
    Size naturalSize;
};

} // namespace platform
