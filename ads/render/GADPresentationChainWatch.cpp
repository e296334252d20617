#include "ads/render/GADPresentationChainWatch.h"

namespace ruzave {

std::shared_ptr<GADPresentationChainWatch>
GADPresentationChainWatch::watch(const std::shared_ptr<platform::ViewController>& controller, Block block) {
    if (!controller || !block) return nullptr;
    std::shared_ptr<GADPresentationChainWatch> watch(new GADPresentationChainWatch());
    watch->block_ = std::move(block);
    controller->addChildViewController(watch);
    return watch;
}

void GADPresentationChainWatch::cancel() {
    block_ = nullptr;
    removeFromParentViewController();
}

void GADPresentationChainWatch::didLeavePresentationChain() {
    // The block may cancel the watch, or let go of the controller that holds it.
    auto self = shared_from_this();
    if (auto block = block_) block();
}

} // namespace ruzave
