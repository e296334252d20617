#pragma once
// The owner of a slot (banner view, interstitial, ad loader). Every method is optional: the defaults
// are what the slot does for an owner that does not answer (nullopt where not answering changes the
// slot's behaviour). Held weakly. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADAdSize.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/ui/Geometry.h"

namespace platform {
class Screen;
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADAd;
class GADInAppPurchaseDelegate;
class GADRequest;
class GADSlot;

class GADSlotDelegate {
  public:
    virtual ~GADSlotDelegate() = default;

    // slot:shouldLoadRequest:
    virtual std::optional<bool> slotShouldLoadRequest(GADSlot&, const std::shared_ptr<GADRequest>&) {
        return std::nullopt;
    }
    virtual std::optional<bool> slotShouldReloadCurrentRequest(GADSlot&) { return std::nullopt; }
    virtual std::optional<bool> slotShouldPreemptInProgressRequest(GADSlot&) { return std::nullopt; }
    // frame, frameInInterface and bounds; named apart from the view geometry an owner also has.
    virtual std::optional<platform::Rect> ownerFrame() const { return std::nullopt; }
    virtual std::optional<platform::Rect> ownerFrameInInterface() const { return std::nullopt; }
    virtual std::optional<platform::Rect> ownerBounds() const { return std::nullopt; }
    // coordinatesOfContentInScreen:; nullopt for no answer.
    virtual std::optional<platform::Value>
    coordinatesOfContentInScreen(const std::shared_ptr<platform::Screen>&) {
        return std::nullopt;
    }
    // inAppPurchaseDelegate; nullopt for an owner that offers none (a null answer is no delegate either).
    virtual std::optional<std::shared_ptr<GADInAppPurchaseDelegate>> inAppPurchaseDelegate() const {
        return std::nullopt;
    }
    virtual std::shared_ptr<platform::View> swipeToViewControllerView() { return nullptr; }
    virtual std::shared_ptr<platform::ViewController> rootViewController() const { return nullptr; }
    // slot:didReceiveAdView: (the view may be null: the mediated view went away).
    virtual void slotDidReceiveAdView(GADSlot&, const std::shared_ptr<platform::View>&) {}
    // slot:contentSizeDidChange:
    virtual void slotContentSizeDidChange(GADSlot&, platform::Size) {}
    // setAdSize:andReload:
    virtual void setAdSize(const GADAdSize&, bool) {}
    // Boxed GADAdSize values (NSValueFromGADAdSize); nullopt for an owner without a list.
    virtual std::optional<platform::Value> validAdSizes() const { return std::nullopt; }
    // slot:willResizeToAdSize:
    virtual void slotWillResizeToAdSize(GADSlot&, const GADAdSize&) {}
    // slot:didReceiveAppEvent:withInfo:
    virtual void slotDidReceiveAppEventWithInfo(GADSlot&, const std::string&,
                                                const std::optional<std::string>&) {}
    // slot:notifyPublisherToRenderCustomRenderingAd:error:; nullopt for an owner that renders none.
    virtual std::optional<bool>
    slotNotifyPublisherToRenderCustomRenderingAd(GADSlot&, const std::shared_ptr<GADAd>&, platform::Error*) {
        return std::nullopt;
    }
    // slot:willLoadAdWithRequest:
    virtual void slotWillLoadAdWithRequest(GADSlot&, const std::shared_ptr<GADRequest>&) {}
    virtual void slotDidReceiveAdClick(GADSlot&) {}
};

} // namespace ruzave
