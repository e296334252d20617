#include "platform/services/PlatformAdBannerView.h"

#include <cmath>

#include "platform/runloop/MainLoop.h"
#include "platform/services/PlatformAdNetwork.h"
#include "platform/ui/Screen.h"

namespace platform {
namespace {

struct BannerNetwork {
    std::deque<PlatformAdOutcome> outcomes;
    bool adTypeInitializer = true;
};

BannerNetwork& network() {
    static BannerNetwork n;
    return n;
}

} // namespace

std::shared_ptr<PlatformAdBannerView> PlatformAdBannerView::create(Rect frame) {
    std::shared_ptr<PlatformAdBannerView> view(new PlatformAdBannerView(frame, Banner));
    view->required_ = {contentSizeIdentifierPortrait, contentSizeIdentifierLandscape};
    view->current_ = contentSizeIdentifierPortrait;
    view->startLoad();
    return view;
}

std::shared_ptr<PlatformAdBannerView> PlatformAdBannerView::initWithAdType(AdType type) {
    if (!network().adTypeInitializer) return nullptr;
    std::shared_ptr<PlatformAdBannerView> view(new PlatformAdBannerView(Rect::zero(), type));
    view->setFrame(Rect(Point::zero(), view->sizeThatFits(Screen::mainScreen()->bounds().size)));
    view->startLoad();
    return view;
}

bool PlatformAdBannerView::adTypeInitializerAvailable() { return network().adTypeInitializer; }

PlatformAdBannerView::PlatformAdBannerView(Rect frame, AdType type) : View(frame), adType_(type) {}

void PlatformAdBannerView::cancelBannerViewAction() {
    if (!actionInProgress_) return;
    actionInProgress_ = false;
    if (auto d = delegate_.lock()) d->bannerViewActionDidFinish(*this);
}

void PlatformAdBannerView::setCurrentContentSizeIdentifier(const std::string& identifier) {
    Size size = sizeFromBannerContentSizeIdentifier(identifier);
    if (size.width <= 0) return;
    current_ = identifier;
    Rect f = frame();
    setFrame(Rect(f.origin, size));
}

Size PlatformAdBannerView::sizeFromBannerContentSizeIdentifier(const std::string& identifier) {
    bool pad = PlatformAdNetwork::isTablet();
    if (identifier == contentSizeIdentifierPortrait) return pad ? Size{768, 66} : Size{320, 50};
    if (identifier == contentSizeIdentifierLandscape) return pad ? Size{1024, 66} : Size{480, 32};
    return Size::zero();
}

Size PlatformAdBannerView::sizeThatFits(Size size) const {
    if (adType_ == MediumRectangle) return {300, 250};
    float width = size.width;
    if (!std::isfinite(width) || width <= 0) width = Screen::mainScreen()->bounds().size.width;
    float height = PlatformAdNetwork::isTablet() ? 66.0f : (width >= 480 ? 32.0f : 50.0f);
    return {width, height};
}

void PlatformAdBannerView::script(const PlatformAdOutcome& outcome) { network().outcomes.push_back(outcome); }
void PlatformAdBannerView::clearScriptForTesting() { network().outcomes.clear(); }
void PlatformAdBannerView::setAdTypeInitializerAvailableForTesting(bool available) {
    network().adTypeInitializer = available;
}

bool PlatformAdBannerView::tapForTesting(bool willLeaveApplication) {
    if (!loaded_ || actionInProgress_) return false;
    auto d = delegate_.lock();
    if (d && !d->bannerViewActionShouldBegin(*this, willLeaveApplication)) return false;
    actionInProgress_ = true;
    return true;
}

void PlatformAdBannerView::startLoad() {
    auto& n = network();
    PlatformAdOutcome outcome = PlatformAdOutcome::failed(PlatformAdOutcome::InventoryUnavailable);
    if (!n.outcomes.empty()) {
        outcome = n.outcomes.front();
        n.outcomes.pop_front();
    }
    auto cycle = ++cycle_;
    std::weak_ptr<PlatformAdBannerView> weak = std::static_pointer_cast<PlatformAdBannerView>(shared_from_this());
    PlatformAdNetwork::deliverLater(outcome.delay, [weak, outcome, cycle] {
        if (auto self = weak.lock()) self->deliver(outcome, cycle);
    });
}

void PlatformAdBannerView::deliver(const PlatformAdOutcome& outcome, unsigned long cycle) {
    if (cycle != cycle_) return; // a newer load replaced this one
    auto d = delegate_.lock();
    if (outcome.loads) {
        if (d) d->bannerViewWillLoadAd(*this);
        loaded_ = true;
        if (auto again = delegate_.lock()) again->bannerViewDidLoadAd(*this);
    } else {
        loaded_ = false;
        if (d) d->bannerViewDidFailToReceiveAdWithError(*this, outcome.error);
    }
}

} // namespace platform
