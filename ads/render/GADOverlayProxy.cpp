#include "ads/render/GADOverlayProxy.h"

#include <map>

#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADIntermission.h"
#include "platform/ui/ViewController.h"

namespace ruzave {
namespace {

// Each view controller's proxy, owned on the controller's behalf: an entry goes with its controller.
struct Attachment {
    std::weak_ptr<platform::ViewController> controller;
    std::shared_ptr<GADOverlayProxy> proxy;
};

std::map<const platform::ViewController*, Attachment>& attachments() {
    static std::map<const platform::ViewController*, Attachment> table;
    std::erase_if(table, [](const auto& item) { return item.second.controller.expired(); });
    return table;
}

} // namespace

std::shared_ptr<GADOverlayProxy> GADOverlayProxy::overlayProxyForViewController(const platform::ViewController* vc) {
    auto& table = attachments();
    auto it = table.find(vc);
    return it == table.end() ? nullptr : it->second.proxy;
}

void GADOverlayProxy::takeDownViewController(platform::ViewController& vc, std::function<void()> completion) {
    if (auto proxy = overlayProxyForViewController(&vc)) {
        proxy->relinquishScreenWithCompletion(std::move(completion));
    } else if (auto presenting = vc.presentingViewController()) {
        if (!presenting->dismissViewController(true, completion) && completion) completion();
    } else if (completion) {
        completion();
    }
}

std::shared_ptr<GADOverlayProxy>
GADOverlayProxy::initWithViewController(const std::shared_ptr<platform::ViewController>& vc) {
    if (!vc || overlayProxyForViewController(vc.get())) return nullptr;
    std::shared_ptr<GADOverlayProxy> proxy(new GADOverlayProxy());
    proxy->viewController_ = vc;
    attachments()[vc.get()] = Attachment{vc, proxy};
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
    if (intermission_) intermission_->addParticipant(shared_from_this());
    if (presenting->presentViewController(controller, true, std::move(completion))) return;
    // Refused (another screen is up): nothing covers the app, so the period this one began ends.
    if (auto joined = std::move(intermission_)) {
        intermission_.reset();
        joined->participantDidRelinquishScreen(*this);
    }
}

void GADOverlayProxy::relinquishScreenWithCompletion(Completion completion) {
    auto self = shared_from_this();
    if (intermission_) intermission_->participantWillRelinquishScreen(*this);
    auto finish = [self, completion = std::move(completion)] {
        if (completion) completion();
        if (auto intermission = self->intermission_) intermission->participantDidRelinquishScreen(*self);
        self->intermission_.reset();
    };
    auto controller = viewController_.lock();
    auto presenting = controller ? controller->presentingViewController() : nullptr;
    if (!presenting || !presenting->dismissViewController(true, finish)) finish();
}

} // namespace ruzave
