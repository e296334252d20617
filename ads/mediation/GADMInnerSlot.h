#pragma once
// What the adapters that run an ad of our own SDK inside a mediated one (the own network, the ad-URL
// path) do to that inner ad's slot. Main thread.
#include <memory>

namespace ruzave {

class GADSlot;
class GADMAdNetworkConnector;

// The mediating slot's auto-click protection holds for the inner one too.
void GADMInnerSlotCopyAutoClickProtection(const std::shared_ptr<GADSlot>& slot, const GADMAdNetworkConnector& connector);

// A load still in flight on an inner slot is stopped and it no longer reloads; a shown ad is left alone.
void GADMInnerSlotCancelInFlight(const std::shared_ptr<GADSlot>& slot);

} // namespace ruzave
