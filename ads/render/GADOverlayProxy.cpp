#include "ads/render/GADOverlayProxy.h"

#include <map>

#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADIntermission.h"
#include "ads/render/GADPresentationChainWatch.h"
#include "platform/ui/ViewController.h"

namespace ruzave {

namespace {

// Where each controller's proxy is found again; an entry goes with its controller.
struct Entry {
    std::weak_ptr<platform::ViewController> controller;
    std::weak_ptr<GADOverlayProxy> proxy;
};

std::map<const platform::ViewController*, Entry>& entries() {
    static std::map<const platform::ViewController*, Entry> table;
    std::erase_if(table, [](const auto& item) { return item.second.controller.expired(); });
    return table;
}

} // namespace

std::shared_ptr<GADOverlayProxy> GADOverlayProxy::overlayProxyForViewController(const platform::ViewController* vc) {
    auto& table = entries();
    auto it = table.find(vc);
    return it == table.end() ? nullptr : it->second.proxy.lock();
}

void GADOverlayProxy::takeDownViewController(platform::ViewController& vc, std::function<void()> completion) {
    if (auto proxy = overlayProxyForViewController(&vc)) {
        proxy->relinquishScreenWithCompletion(std::move(completion));
    } else if (auto presenting = vc.presentingViewController()) {
        if (presenting->dismissViewController(true, completion)) return;
        // Refused while a transition is under way: asked again once it is over.
        std::weak_ptr<platform::ViewController> weak = vc.shared_from_this();
        platform::ViewController::performAfterTransitions([weak, completion = std::move(completion)]() mutable {
            if (auto controller = weak.lock()) takeDownViewController(*controller, std::move(completion));
            else if (completion) completion();
        });
    } else if (completion) {
        completion();
    }
}

std::shared_ptr<GADOverlayProxy>
GADOverlayProxy::initWithViewController(const std::shared_ptr<platform::ViewController>& vc) {
    if (!vc || overlayProxyForViewController(vc.get())) return nullptr;
    std::shared_ptr<GADOverlayProxy> proxy(new GADOverlayProxy());
    proxy->viewController_ = vc;
    // The proxy's place in its controller: the controller owns it through the watch, and the proxy
    // hears through it that the controller is no longer presented, however that happened.
    GADPresentationChainWatch::watch(vc, [proxy] { proxy->controllerLeft(); });
    entries()[vc.get()] = Entry{vc, proxy};
    return proxy;
}

void GADOverlayProxy::presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                                Completion completion) {
    if (intermission_) return;
    auto controller = viewController_.lock();
    // Without a presenter nothing goes up, so no period may begin (it would never end).
    if (!presenting || !controller) return;
    auto slot = slot_.lock();
    auto intermission = slot ? slot->intermission() : nullptr;
    if (!intermission && slot) {
        intermission = GADIntermission::initWithSlot(slot);
        slot->setIntermission(intermission);
    }
    intermission_ = intermission;
    dismissing_ = false;
    closeWanted_ = false;
    if (intermission_) intermission_->addParticipant(shared_from_this());
    if (closeWanted_) {
        // Told that the screen comes up, the app let go of the ad, and the period ended without it.
        intermission_.reset();
        return;
    }
    if (presenting->presentViewController(controller, true, std::move(completion))) {
        up_ = true;
        return;
    }
    // Refused (another screen is up): nothing covers the app, so the period this one began ends.
    if (auto joined = std::move(intermission_)) {
        intermission_.reset();
        joined->participantDidRelinquishScreen(*this);
    }
}

void GADOverlayProxy::controllerLeft() {
    auto self = shared_from_this(); // the handler may let go of the controller, which owns this proxy
    if (!up_) return;
    bool byAnotherRoad = !dismissing_;
    if (byAnotherRoad && intermission_) intermission_->participantWasTakenAway();
    screenGone();
    auto controller = viewController_.lock();
    if (byAnotherRoad && controller && screenLostHandler_) screenLostHandler_(*controller);
}

void GADOverlayProxy::screenGone() {
    auto self = shared_from_this();
    up_ = false;
    dismissing_ = false;
    closeWanted_ = false;
    // The callers' completions run while the proxy still belongs to its period, which it leaves after
    // them.
    auto joined = intermission_;
    if (joined) joined->participantWillRelinquishScreen(*this);
    auto completions = std::move(completions_);
    completions_.clear();
    for (auto& completion : completions)
        if (completion) completion();
    if (joined) joined->participantDidRelinquishScreen(*this);
    intermission_.reset();
    opener_.reset();
}

void GADOverlayProxy::relinquishScreenWithCompletion(Completion completion) {
    auto self = shared_from_this();
    if (completion) completions_.push_back(std::move(completion));
    if (dismissing_) return;
    closeWanted_ = true;
    takeDown(true);
}

void GADOverlayProxy::takeDown(bool animated) {
    if (!closeWanted_ || dismissing_) return;
    auto self = shared_from_this();
    auto controller = viewController_.lock();
    auto presenting = controller ? controller->presentingViewController() : nullptr;
    if (!up_ || !presenting) {
        screenGone();
        return;
    }
    if (presenting->dismissViewController(animated, [self] {
            if (self->up_) self->screenGone();
        })) {
        dismissing_ = true;
        if (intermission_) intermission_->participantWillRelinquishScreen(*this);
        return;
    }
    // Refused while a transition is under way: asked again once it is over.
    std::weak_ptr<GADOverlayProxy> weak = self;
    platform::ViewController::performAfterTransitions([weak, animated] {
        if (auto proxy = weak.lock()) proxy->takeDown(animated);
    });
}

void GADOverlayProxy::abandonScreen() {
    auto self = shared_from_this();
    opener_.reset();
    closeWanted_ = true;
    if (!up_) return;
    auto controller = viewController_.lock();
    // Off the screen without animation, now or once the transition under way allows; the period
    // ends now.
    if (!dismissing_ && controller) platform::ViewController::dismissWhenPossible(controller);
    if (!up_) return;
    if (intermission_) intermission_->participantWasTakenAway();
    screenGone();
    // Whoever kept the screen for its time on screen lets go.
    if (controller && screenLostHandler_) screenLostHandler_(*controller);
}

} // namespace ruzave
