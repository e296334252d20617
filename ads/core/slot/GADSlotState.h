#pragma once
// A slot's life-cycle state. Plain values; any thread.
#include <cstdint>

namespace ruzave {

enum GADSlotState : std::int32_t {
    GADSlotStateReset = 0,
    GADSlotStateSDKCoreFailed = 1,
    GADSlotStateRequestingAdURL = 2,
    GADSlotStateReceivedAdURL = 3,
    GADSlotStateFetchingAdContent = 4,
    GADSlotStateRenderingAd = 5,
    GADSlotStateValidAd = 6,
    GADSlotStateInvalidAd = 7,
    GADSlotStateInvalidated = 8,
};

} // namespace ruzave
