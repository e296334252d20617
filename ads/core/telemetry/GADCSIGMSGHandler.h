#pragma once
// Serves a creative's "instrument" messages: its own timing ticks, experiments and extra parameters
// for the "make_wv" report. Main thread.
#include <memory>

#include "ads/core/telemetry/GADCSI.h"
#include "ads/render/GADGMSGHandler.h"

namespace ruzave {

class GADCSIGMSGHandler : public GADGMSGHandler {
  public:
    static constexpr const char* kDefaultStartLabel = GADCSI::kViewLoadLabel;

    static std::shared_ptr<GADCSIGMSGHandler> init();

    const ActionBlockDictionary* actionBlockDictionary() const override;
    const ActionBlockDictionary* subActionBlockDictionary() const override;

    void didReceiveCSINotification(const Arguments& arguments);
    // "label", "start_label", "timestamp" (milliseconds since 1970 on the creative's clock).
    void didReceiveTickAction(const Arguments& arguments);
    void didReceiveExperimentAction(const Arguments& arguments);
    void didReceiveExtraAction(const Arguments& arguments);

  private:
    GADCSIGMSGHandler() = default;
};

} // namespace ruzave
