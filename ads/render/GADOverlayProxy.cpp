#include "ads/render/GADOverlayProxy.h"

#include <map>

#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADIntermission.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/ViewController.h"

namespace ruzave {

// The proxy's place in its view controller: a child with no view of its own, so the controller owns its
// proxy and the proxy goes with it. Children share their parent's appearance callbacks, so it also
// hears the controller leave the screen, however that happens.
class GADOverlayProxy::Attachment : public platform::ViewController {
  public:
    static std::shared_ptr<Attachment> create(const std::shared_ptr<GADOverlayProxy>& proxy) {
        std::shared_ptr<Attachment> attachment(new Attachment());
        attachment->proxy_ = proxy;
        return attachment;
    }
    void viewDidDisappear(bool) override {
        // On the next turn: a controller dropped with the screen under it is unlinked from its presenter
        // only after it has been told that it disappeared.
        std::weak_ptr<GADOverlayProxy> weak = proxy_;
        platform::mainQueue()->async([weak] {
            if (auto proxy = weak.lock()) proxy->controllerDidDisappear();
        });
    }

  private:
    Attachment() = default;
    std::shared_ptr<GADOverlayProxy> proxy_;
};

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
    vc->addChildViewController(Attachment::create(proxy));
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
    if (intermission_) intermission_->addParticipant(shared_from_this());
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

void GADOverlayProxy::controllerDidDisappear() {
    auto self = shared_from_this(); // the handler may let go of the controller, which owns this proxy
    auto controller = viewController_.lock();
    if (!up_ || (controller && (controller->presentingViewController() || controller->isBeingPresented()))) return;
    up_ = false;
    if (auto joined = std::move(intermission_)) {
        intermission_.reset();
        joined->participantDidRelinquishScreen(*this);
    }
    opener_.reset();
    if (controller && screenLostHandler_) screenLostHandler_(*controller);
}

void GADOverlayProxy::relinquishScreenWithCompletion(Completion completion) {
    auto self = shared_from_this();
    if (intermission_) intermission_->participantWillRelinquishScreen(*this);
    auto finish = [self, completion = std::move(completion)] {
        self->up_ = false;
        if (completion) completion();
        if (auto intermission = self->intermission_) intermission->participantDidRelinquishScreen(*self);
        self->intermission_.reset();
    };
    auto controller = viewController_.lock();
    auto presenting = controller ? controller->presentingViewController() : nullptr;
    if (!presenting || !presenting->dismissViewController(true, finish)) finish();
}

} // namespace ruzave
