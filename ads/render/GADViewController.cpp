#include "ads/render/GADViewController.h"

#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADLogger.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADIntermission.h"
#include "ads/render/GADModalOverlayPresenter.h"
#include "ads/render/GADOverlayPresenting.h"
#include "ads/render/GADTapWatchGestureRecognizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Color.h"
#include "platform/ui/Touch.h"
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
    closeWanted_ = false;
    takenAway_ = false;
    state_ = ScreenState::Presenting;
    view->setUserInteractionEnabled(false);
    retainCycle_ = self;
    addToCurrentIntermission();
    // Told that the screen comes up, the app may have let go of the ad: the screen was abandoned with it.
    if (state_ != ScreenState::Presenting) return;
    // A screen the creative opened on its own holds no slot, this one's or another's.
    auto slot = slot_.lock();
    if (!slot || slot->isHeldByFullScreen()) announceFullScreen(true);
    slot.reset();
    std::weak_ptr<GADViewController> weak = self;
    auto rollBack = [this, &view] {
        state_ = ScreenState::Idle;
        view->setUserInteractionEnabled(true);
        retainCycle_.reset();
        if (auto intermission = intermission_) {
            intermission->participantDidRelinquishScreen(*this);
            intermission_.reset();
        }
        announceFullScreen(false);
    };
    try {
        presenter_->presentFromViewController(presenting, [weak, completion = std::move(completion)] {
            if (auto controller = weak.lock()) controller->presentationDidEnd();
            if (completion) completion();
        });
    } catch (...) {
        // The caller hears of the failure; nothing stays half up.
        rollBack();
        throw;
    }
    // A presentation the platform refused leaves nothing on screen: undo what was prepared for it.
    bool up = presentingViewController() || (view->window() != nullptr);
    if (!up && state_ == ScreenState::Presenting) rollBack();
}

void GADViewController::presentationDidEnd() {
    if (state_ != ScreenState::Presenting) return;
    state_ = ScreenState::Shown;
    finishAppearing();
    // A close asked for while the screen came up happens now.
    if (closeWanted_) closeNow();
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
    auto self = this->self(); // whatever runs below may drop the last other hold
    if (state_ == ScreenState::Gone || (state_ == ScreenState::Idle && !retainCycle_ && !intermission_)) {
        if (completion) completion();
        return;
    }
    if (completion) closeCompletions_.push_back(std::move(completion));
    if (state_ == ScreenState::Dismissing) return;
    closeWanted_ = true;
    // One that joined a period without coming up through its presenter leaves as a shown one does.
    if (state_ == ScreenState::Idle) state_ = ScreenState::Shown;
    if (state_ == ScreenState::Shown) closeNow();
}

void GADViewController::closeNow() {
    if (state_ != ScreenState::Shown || !closeWanted_) return;
    auto self = this->self();
    std::weak_ptr<GADViewController> weak = self;
    if (presenter_ && !presenter_->canDismissNow()) {
        // A transition is under way: the close waits for its end.
        platform::ViewController::performAfterTransitions([weak] {
            if (auto controller = weak.lock()) controller->closeNow();
        });
        return;
    }
    beginDismissal();
    takeDown();
}

void GADViewController::takeDown() {
    if (state_ != ScreenState::Dismissing) return;
    auto self = this->self();
    // The completion keeps the controller until it has run.
    auto gone = [self] { self->screenGone(); };
    if (!presenter_) {
        gone();
        return;
    }
    if (presenter_->dismissWithCompletionHandler(gone)) return;
    std::weak_ptr<GADViewController> weak = self;
    platform::ViewController::performAfterTransitions([weak] {
        if (auto controller = weak.lock()) controller->takeDown();
    });
}

void GADViewController::beginDismissal() {
    if (state_ == ScreenState::Idle || state_ == ScreenState::Dismissing || state_ == ScreenState::Gone) return;
    state_ = ScreenState::Dismissing;
    if (isViewLoaded()) view()->setUserInteractionEnabled(false);
    willBeginDismissal();
    if (intermission_) intermission_->participantWillRelinquishScreen(*this);
    announceFullScreen(false);
}

void GADViewController::announceFullScreen(bool up) {
    if (announcedFullScreen_ == up) return;
    announcedFullScreen_ = up;
    platform::NotificationCenter::defaultCenter()->post(
        up ? GADSlot::kAdModalViewControllerWillPresentFullScreen : GADSlot::kAdModalViewControllerDidDismissFullScreen,
        this);
}

void GADViewController::screenGone() {
    if (state_ == ScreenState::Idle || state_ == ScreenState::Gone) return;
    auto self = this->self();
    // Gone without its own dismissal under way: abandoned, or taken out of the chain by another road.
    if (state_ != ScreenState::Dismissing) takenAway_ = true;
    if (takenAway_ && intermission_) intermission_->participantWasTakenAway();
    beginDismissal();
    state_ = ScreenState::Gone;
    closeWanted_ = false;
    finishDismissal();
    auto completions = std::move(closeCompletions_);
    closeCompletions_.clear();
    for (auto& completion : completions)
        if (completion) completion();
    // The hold ends here, on a later turn: this may be running inside a call on this controller.
    if (retainCycle_) platform::mainQueue()->async([keep = std::move(retainCycle_)] {});
    retainCycle_.reset();
}

void GADViewController::close() {
    if (auto slot = slot_.lock()) slot->useUpUserActivation();
    relinquishScreenWithCompletion(nullptr);
}

void GADViewController::leaveAsTakenAway() {
    if (state_ == ScreenState::Idle || state_ == ScreenState::Gone) return;
    takenAway_ = true;
    relinquishScreenWithCompletion(nullptr);
}

void GADViewController::abandonScreen() {
    if (state_ == ScreenState::Idle || state_ == ScreenState::Gone) return;
    auto self = this->self();
    closeWanted_ = true;
    takenAway_ = true;
    // Off the screen without animation, now or as soon as the transition under way allows.
    if (presentingViewController()) platform::ViewController::dismissWhenPossible(self);
    else if (presenter_) presenter_->dismissWithCompletionHandler(nullptr); // laid over the window
    screenGone();
    didAbandonScreen();
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
    std::weak_ptr<GADViewController> weak = self();
    touchWatch_ = GADTapWatchGestureRecognizer::initWithHandler([weak] {
        auto controller = weak.lock();
        if (auto slot = controller ? controller->slot() : nullptr) slot->recordUserTouch();
    });
    touchWatch_->setDelegate(std::weak_ptr<platform::GestureRecognizerDelegate>(
        std::static_pointer_cast<platform::GestureRecognizerDelegate>(self())));
    v->addGestureRecognizer(touchWatch_);
}

bool GADViewController::gestureRecognizerShouldReceiveTouch(platform::GestureRecognizer& recognizer,
                                                            const platform::Touch& touch) {
    if (&recognizer != touchWatch_.get()) return true;
    // The page of the in-app browser, a second page, the expanded ad: a tap there is a tap on the ad. The
    // close button, the close region and the browser's toolbar lie beside the ad view, and are the SDK's.
    auto screenView = isViewLoaded() ? view() : nullptr;
    for (auto v = touch.view(); v && v != screenView; v = v->superview())
        if (dynamic_cast<GADAdView*>(v.get())) return true;
    return false;
}

void GADViewController::viewWillAppear(bool) {
    if (!isBeingPresented() || intermission_) return;
    addToCurrentIntermission();
    // Presented by the platform's own steps rather than through its presenter: it leaves as a shown one.
    if (intermission_ && state_ == ScreenState::Idle) state_ = ScreenState::Shown;
}

void GADViewController::viewWillDisappear(bool) {
    // The app, or this controller's presenter, began taking the screen down.
    if (!isBeingDismissed()) return;
    if (state_ != ScreenState::Dismissing) takenAway_ = true;
    beginDismissal();
}

void GADViewController::didLeavePresentationChain() {
    screenGone();
}

} // namespace ruzave
