#pragma once

#include <memory>

#include "ads/render/GADOverlayProxy.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/ViewController.h"

namespace ruzave {

// A composer whose listener has gone takes itself down on the next main-queue turn: through its overlay
// proxy when it has one (so the ad's full-screen period ends too), else through its presenter. The proxy
// that kept it stops proxying once the composer is down. Nothing happens when the proxy has gone meanwhile.
template <class Proxy>
void GADTearDownUnattendedComposer(const std::shared_ptr<Proxy>& proxy, platform::ViewController& composer) {
    std::weak_ptr<Proxy> weak = proxy;
    std::weak_ptr<platform::ViewController> weakComposer = composer.shared_from_this();
    platform::mainQueue()->async([weak, weakComposer] {
        auto self = weak.lock();
        auto controller = weakComposer.lock();
        if (!self) return;
        auto done = [weak] {
            if (auto kept = weak.lock()) kept->stopProxying();
        };
        if (!controller) {
            done();
            return;
        }
        GADOverlayProxy::takeDownViewController(*controller, done);
    });
}

} // namespace ruzave
