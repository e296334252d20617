#include "ads/render/GADViewController.h"

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADLogger.h"
#include "ads/render/GADIntermission.h"
#include "ads/render/GADModalOverlayPresenter.h"
#include "ads/render/GADOverlayPresenting.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Color.h"
#include "platform/ui/View.h"

namespace ruzave {

GADViewController::GADViewController() {
    setModalTransitionStyle(platform::ModalTransitionStyle::CoverVertical);
}

std::shared_ptr<GADViewController> GADViewController::init() {
    return std::shared_ptr<GADViewController>(new GADViewController());
}

GADViewController::~GADViewController() {
    if (auto completion = std::move(dismissalCompletion_)) completion();
    recordDismissal();
}

void GADViewController::setPresenter(const std::shared_ptr<GADOverlayPresenting>& presenter) {
    presenter_ = presenter;
    if (presenter_) presenter_->setPresentedViewController(self());
}

void GADViewController::presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                                  Completion completion) {
    if (!presenting) {
        GADLogger::sharedInstance()->logPublicMessage(kNoViewControllerMessage);
        return;
    }
    if (!presenter_) setPresenter(GADModalOverlayPresenter::init());
    if (!presenter_->isReadyToPresent()) return;
    auto self = this->self();
    auto view = this->view();
    dismissalFinished_ = false;
    view->setUserInteractionEnabled(false);
    retainCycle_ = self;
    auto center = platform::NotificationCenter::defaultCenter();
    center->post(GADSlot::kAdModalViewControllerWillPresentFullScreen, this);
    addToCurrentIntermission();
    std::weak_ptr<GADViewController> weak = self;
    auto rollBack = [this, &view, &center] {
        view->setUserInteractionEnabled(true);
        retainCycle_.reset();
        if (auto intermission = intermission_) {
            intermission->participantDidRelinquishScreen(*this);
            intermission_.reset();
        }
        center->post(GADSlot::kAdModalViewControllerDidDismissFullScreen, this);
    };
    try {
        presenter_->presentFromViewController(presenting, [weak, completion = std::move(completion)] {
            if (auto controller = weak.lock()) controller->finishAppearing();
            if (completion) completion();
        });
    } catch (...) {
        // The caller hears of the failure; nothing stays half up.
        rollBack();
        throw;
    }
    // A presentation the platform refused leaves nothing on screen: undo what was prepared for it.
    bool up = presentingViewController() || (view->window() != nullptr);
    if (!up) rollBack();
}

std::shared_ptr<platform::ViewController> GADViewController::standIn() const {
    auto other = presenter_ ? presenter_->presentationViewController() : nullptr;
    return other.get() == this ? nullptr : other;
}

bool GADViewController::presentViewController(const std::shared_ptr<platform::ViewController>& controller,
                                              bool animated, Completion completion) {
    if (auto other = standIn()) return other->presentViewController(controller, animated, std::move(completion));
    return platform::ViewController::presentViewController(controller, animated, std::move(completion));
}

bool GADViewController::dismissViewController(bool animated, Completion completion) {
    if (auto other = standIn()) return other->dismissViewController(animated, std::move(completion));
    return platform::ViewController::dismissViewController(animated, std::move(completion));
}

void GADViewController::addToCurrentIntermission() {
    auto slot = slot_.lock();
    if (!slot) return;
    auto intermission = slot->intermission();
    if (!intermission) {
        intermission = GADIntermission::initWithSlot(slot);
        slot->setIntermission(intermission);
    }
    intermission_ = intermission;
    intermission_->addParticipant(self());
}

void GADViewController::relinquishScreenWithCompletion(Completion completion) {
    auto self = this->self(); // the completion below keeps the controller alive until it has run
    view()->setUserInteractionEnabled(false);
    retainCycle_.reset();
    if (intermission_) intermission_->participantWillRelinquishScreen(*this);
    auto finish = [self, completion = std::move(completion)] {
        self->finishDismissal();
        if (completion) completion();
    };
    if (presenter_) {
        presenter_->dismissWithCompletionHandler(finish);
    } else {
        finish();
    }
    platform::NotificationCenter::defaultCenter()->post(GADSlot::kAdModalViewControllerDidDismissFullScreen, this);
}

void GADViewController::finishAppearing() {
    if (isViewLoaded() && !view()->isUserInteractionEnabled()) view()->setUserInteractionEnabled(true);
}

void GADViewController::finishDismissal() {
    if (dismissalFinished_) return;
    dismissalFinished_ = true;
    if (auto intermission = std::move(intermission_)) intermission->participantDidRelinquishScreen(*this);
    intermission_.reset();
    if (auto completion = std::move(dismissalCompletion_)) {
        dismissalCompletion_ = nullptr;
        completion();
    }
    didFinishDismissal();
}

void GADViewController::recordDismissal() {
    auto slot = slot_.lock();
    auto ad = slot ? slot->ad() : nullptr;
    auto stats = ad ? ad->statistics() : nullptr;
    if (!stats) return;
    double now = static_cast<double>(GADAbsoluteTime::absoluteTimeInMilliseconds());
    stats->setObject(platform::Value(now), "tlanding_page_load_dismiss", true);
    if (auto click = stats->objectForKey("tclickcurr")) {
        platform::Value pair = platform::Value::array();
        pair.push_back(*click);
        pair.push_back(now);
        stats->addObject(pair, "tclick", true);
    }
}

void GADViewController::viewDidLoad() {
    auto v = view();
    v->setAutoresizingMask(platform::AutoresizingFlexibleWidth | platform::AutoresizingFlexibleHeight);
    v->setOpaque(true);
    v->setBackgroundColor(platform::Color::black());
    v->setClipsToBounds(true);
}

void GADViewController::viewWillAppear(bool) {
    if (isBeingPresented() && !intermission_) addToCurrentIntermission();
}

void GADViewController::viewWillDisappear(bool) {
    if (isBeingDismissed() && intermission_) intermission_->participantWillRelinquishScreen(*this);
}

void GADViewController::viewDidDisappear(bool) {
    if (isBeingDismissed()) finishDismissal();
    // Still held for its time on screen: the app dismissed it, or the screen under it, rather than this
    // controller giving the screen up. The platform unlinks it from its presenter after this call, so it
    // is looked at on the next turn; one that is only covered by another screen is still presented then.
    if (!retainCycle_) return;
    std::weak_ptr<GADViewController> weak = self();
    platform::mainQueue()->async([weak] {
        auto controller = weak.lock();
        if (!controller || !controller->retainCycle_ || controller->presentingViewController() ||
            controller->isBeingPresented() || controller->view()->window())
            return;
        // Gone by another road: it leaves as when it gives the screen up itself, so its slot hears the
        // dismissal in full and whatever it borrowed goes back.
        controller->relinquishScreenWithCompletion(nullptr);
    });
}

} // namespace ruzave
