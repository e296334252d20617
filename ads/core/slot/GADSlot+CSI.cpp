// The slot's stages of the ad-load timing report: from the request to the response ("arf_ios"), the
// rendering ("awr_ios") and the whole load ("ttc_ios"), keyed by the slot's CSI identifier.
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADCSI.h"

namespace ruzave {
namespace {

std::shared_ptr<GADCSITimeRecorder> loadAdRecorder() {
    return GADCSI::sharedInstance()->timeRecorderForAction(std::string(GADCSI::kLoadAdAction));
}

} // namespace

void GADSlot::CSIRequestWillStart() {
    auto recorder = loadAdRecorder();
    if (!recorder) return;
    recorder->startTimingVariableWithName("arf_ios", adResponseKey_);
    recorder->startTimingVariableWithName("ttc_ios", totalTimeKey_);
}

void GADSlot::CSIResponseWillRender() {
    auto recorder = loadAdRecorder();
    if (!recorder) return;
    recorder->endTimingVariableWithName("nwl_ios", netWorkLatencyKey_);
    recorder->endTimingVariableWithName("arf_ios", adResponseKey_);
    recorder->startTimingVariableWithName("awr_ios", adRenderingKey_);
}

void GADSlot::CSILoadDidEnd(bool valid) {
    if (auto recorder = loadAdRecorder()) {
        if (valid) {
            recorder->endTimingVariableWithName("awr_ios", adRenderingKey_);
            recorder->endTimingVariableWithName("ttc_ios", totalTimeKey_);
        } else {
            recorder->cancelTimingVariableWithName("awr_ios", adRenderingKey_);
            recorder->cancelTimingVariableWithName("ttc_ios", totalTimeKey_);
        }
    }
    GADCSI::sharedInstance()->sendReport();
}

} // namespace ruzave
