#include "ads/mediation/GADMInnerSlot.h"

#include "ads/core/slot/GADSlot.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"

namespace ruzave {

void GADMInnerSlotCopyAutoClickProtection(const std::shared_ptr<GADSlot>& slot, const GADMAdNetworkConnector& connector) {
    if (!slot) return;
    if (auto delegate = slot->adViewDelegate())
        if (auto opener = delegate->opener()) opener->setAutoClickProtected(connector.isAutoClickProtected());
}

void GADMInnerSlotCancelInFlight(const std::shared_ptr<GADSlot>& slot) {
    if (!slot) return;
    slot->setReloadable(false);
    slot->deactivateReloadTimer();
    if (slot->isMakingRequest()) slot->cancelPendingActions();
}

} // namespace ruzave
