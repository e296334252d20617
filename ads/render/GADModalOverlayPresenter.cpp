#include "ads/render/GADModalOverlayPresenter.h"

#include "ads/render/GADIntermission.h"
#include "ads/render/GADViewController.h"
#include "platform/ui/Application.h"

namespace ruzave {

GADModalOverlayPresenter::~GADModalOverlayPresenter() {
    stopObserving();
}

void GADModalOverlayPresenter::stopObserving() {
    if (!observing_) return;
    platform::NotificationCenter::defaultCenter()->removeObserver(appForegroundObserver_);
    observing_ = false;
}

std::shared_ptr<platform::ViewController> GADModalOverlayPresenter::presentationViewController() const {
    return presented_.lock();
}

void GADModalOverlayPresenter::hideStatusBar() {
    auto controller = presented_.lock();
    if (!controller || controller->modalPresentationStyle() != platform::ModalPresentationStyle::FullScreen)
        return;
    if (auto intermission = controller->intermission())
        intermission->participantWillOverrideStatusBarVisibility(*controller);
    platform::Application::sharedApplication()->setStatusBarHidden(true);
}

void GADModalOverlayPresenter::presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                                         Completion completion) {
    hideStatusBar();
    stopObserving();
    std::weak_ptr<GADModalOverlayPresenter> weak = weak_from_this();
    appForegroundObserver_ = platform::NotificationCenter::defaultCenter()->addObserver(
        platform::kApplicationWillEnterForeground, nullptr, nullptr, [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->hideStatusBar();
        });
    observing_ = true;
    auto controller = presented_.lock();
    if (presenting && controller) presenting->presentViewController(controller, true, std::move(completion));
}

bool GADModalOverlayPresenter::canDismissNow() const {
    auto controller = presented_.lock();
    auto presenting = controller ? controller->presentingViewController() : nullptr;
    if (!presenting || presenting->presentedViewController() != controller) return true;
    return !presenting->isInTransition() && !controller->isInTransition();
}

bool GADModalOverlayPresenter::dismissWithCompletionHandler(Completion completion) {
    auto controller = presented_.lock();
    auto presenting = controller ? controller->presentingViewController() : nullptr;
    if (presenting && presenting->presentedViewController() == controller) {
        if (!presenting->dismissViewController(true, std::move(completion))) return false;
        stopObserving();
        return true;
    }
    stopObserving();
    if (completion) completion();
    return true;
}

} // namespace ruzave
