// The slot's stages of the ad-load timing report: from the request to the response ("arf_ios"), the
// rendering ("awr_ios") and the whole load ("ttc_ios"), keyed by the slot's CSI identifier.
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADCSI.h"

namespace ruzave {

void GADSlot::CSIRequestWillStart() {
    GADCSI::startLoadAdStage("arf_ios", adResponseKey_);
    GADCSI::startLoadAdStage("ttc_ios", totalTimeKey_);
}

void GADSlot::CSIResponseWillRender() {
    GADCSI::endLoadAdStage("nwl_ios", netWorkLatencyKey_);
    GADCSI::endLoadAdStage("arf_ios", adResponseKey_);
    GADCSI::startLoadAdStage("awr_ios", adRenderingKey_);
}

void GADSlot::CSILoadDidEnd(bool valid) {
    if (valid) {
        GADCSI::endLoadAdStage("awr_ios", adRenderingKey_);
        GADCSI::endLoadAdStage("ttc_ios", totalTimeKey_);
    } else {
        GADCSI::cancelLoadAdStage("awr_ios", adRenderingKey_);
        GADCSI::cancelLoadAdStage("ttc_ios", totalTimeKey_);
    }
    GADCSI::sharedInstance()->sendReport();
}

} // namespace ruzave
