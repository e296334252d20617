#include "ads/render/GADMRAIDResizeOverlayPresenter.h"

#include <cmath>

#include "ads/core/slot/GADMRAIDEventHandling.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADUnclickableView.h"
#include "ads/render/GADViewController.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/ui/Screen.h"

namespace ruzave {
namespace {

platform::Rect requestedFrame(const GADMRAIDResizeProperties& p) {
    return {p.offset().x, p.offset().y, p.size().width, p.size().height};
}

bool nearlyEqual(const platform::Rect& a, const platform::Rect& b, float tolerance) {
    return std::fabs(a.minX() - b.minX()) <= tolerance && std::fabs(a.minY() - b.minY()) <= tolerance &&
           std::fabs(a.width() - b.width()) <= tolerance && std::fabs(a.height() - b.height()) <= tolerance;
}

} // namespace

std::shared_ptr<GADMRAIDResizeOverlayPresenter>
GADMRAIDResizeOverlayPresenter::initWithReferenceView(const std::shared_ptr<platform::View>& view) {
    if (!view) return nullptr;
    std::shared_ptr<GADMRAIDResizeOverlayPresenter> presenter(new GADMRAIDResizeOverlayPresenter());
    presenter->referenceView_ = view;
    presenter->dismissToDefaultState_ = true;
    return presenter;
}

void GADMRAIDResizeOverlayPresenter::reportError(const std::string& message, const std::string& action) const {
    if (auto handler = MRAIDEventHandler_.lock()) handler->handleError(message, action);
}

bool GADMRAIDResizeOverlayPresenter::resizePropertiesAreValid(const std::shared_ptr<GADMRAIDResizeProperties>& p,
                                                              const std::shared_ptr<platform::View>& view) const {
    if (!p || !view) return false;
    platform::Rect frame = requestedFrame(*p);
    platform::Rect bounds = view->convertRectFromView(platform::Screen::mainScreen()->applicationFrame(), nullptr);
    if (GADMRAIDResizeProperties::isContentFrameValid(frame, bounds, p->allowOffscreen(), p->customClosePosition()))
        return true;
    if (p->allowOffscreen()) return false;
    return GADMRAIDResizeProperties::isContentFrameValid(adjustedContentFrame(frame, bounds), bounds, false,
                                                         p->customClosePosition());
}

platform::Rect GADMRAIDResizeOverlayPresenter::adjustedContentFrame(platform::Rect frame, platform::Rect bounds) {
    float x = frame.minX(), y = frame.minY();
    if (x < bounds.minX()) {
        x = bounds.minX();
    } else if (frame.maxX() > bounds.maxX()) {
        x -= frame.maxX() - bounds.maxX();
    }
    if (y < bounds.minY()) {
        y = bounds.minY();
    } else if (frame.maxY() > bounds.maxY()) {
        y -= frame.maxY() - bounds.maxY();
    }
    // A frame larger than the bounds ends on their leading edge.
    if (frame.width() > bounds.width()) x = bounds.minX();
    if (frame.height() > bounds.height()) y = bounds.minY();
    return {x, y, frame.width(), frame.height()};
}

void GADMRAIDResizeOverlayPresenter::setResizeProperties(const std::shared_ptr<GADMRAIDResizeProperties>& p) {
    if (resizePropertiesAreValid(p, referenceView_)) {
        resizeProperties_ = p;
        return;
    }
    reportError("Received invalid resize properties " + (p ? p->description() : std::string("(null)")),
                "setResizeProperties");
}

platform::Rect GADMRAIDResizeOverlayPresenter::contentFrame() const {
    if (!resizeProperties_ || !referenceView_) return platform::Rect::zero();
    auto crop = cropView();
    platform::Rect frame = referenceView_->convertRectToView(requestedFrame(*resizeProperties_), crop.get());
    if (!resizeProperties_->allowOffscreen() &&
        !GADMRAIDResizeProperties::isContentFrameValid(frame, crop->bounds(), false,
                                                       resizeProperties_->customClosePosition())) {
        frame = adjustedContentFrame(frame, crop->bounds());
    }
    return frame;
}

bool GADMRAIDResizeOverlayPresenter::isReadyToPresent() {
    if (!resizeProperties_) return false;
    if (!resizePropertiesAreValid(resizeProperties_, referenceView_)) {
        reportError("Tried to resize with invalid resize properties " + resizeProperties_->description(), "resize");
        return false;
    }
    return GADTransparentOverlayPresenter::isReadyToPresent();
}

void GADMRAIDResizeOverlayPresenter::composeTransparentInterstitialViewsForPresentation() {
    GADTransparentOverlayPresenter::composeTransparentInterstitialViewsForPresentation();
    auto presented = presentedViewController();
    if (!presented) return;
    presented->view()->setAutoresizingMask(platform::AutoresizingNone);
    presented->view()->setFrame(contentFrame());
}

void GADMRAIDResizeOverlayPresenter::updateTransparentInterstitialOrientation() {
    GADTransparentOverlayPresenter::updateTransparentInterstitialOrientation();
    repositionContentIfNeeded();
}

void GADMRAIDResizeOverlayPresenter::repositionContentIfNeeded() {
    auto presented = presentedViewController();
    if (!presented || !resizeProperties_) return;
    auto view = presented->view();
    platform::Rect target = contentFrame();
    if (!nearlyEqual(target, view->frame(), kFrameTolerance)) {
        view->setFrame(target);
        auto weak = std::weak_ptr<GADMRAIDResizeOverlayPresenter>(
            std::static_pointer_cast<GADMRAIDResizeOverlayPresenter>(shared_from_this()));
        platform::mainQueue()->asyncAfter(kRepositionDelay, [weak] {
            if (auto self = weak.lock()) self->repositionContentIfNeeded();
        });
        return;
    }
    if (GADMRAIDResizeProperties::isContentFrameValid(view->frame(), cropView()->bounds(),
                                                      resizeProperties_->allowOffscreen(),
                                                      resizeProperties_->customClosePosition()))
        return;
    std::weak_ptr<GADMRAIDEventHandling> handler = MRAIDEventHandler_;
    std::weak_ptr<GADViewController> weakController = presented;
    platform::OperationQueue::mainQueue()->addOperation([handler, weakController] {
        if (auto mraid = handler.lock())
            mraid->handleError("Resize properties became invalid after device rotation.", "resize");
        if (auto controller = weakController.lock()) controller->relinquishScreenWithCompletion(nullptr);
    });
}

} // namespace ruzave
