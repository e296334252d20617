#pragma once
// Follows a controller on behalf of something that is not itself presented: a child with no view of
// its own, added to the controller, that runs a block each time the controller leaves the
// presentation chain (children hear it with their parent, however it happened). Main thread.
#include <functional>
#include <memory>

#include "platform/ui/ViewController.h"

namespace ruzave {

class GADPresentationChainWatch : public platform::ViewController {
  public:
    using Block = std::function<void()>;
    // The watch, now a child of `controller`, which owns it; nullptr for a null controller or block.
    static std::shared_ptr<GADPresentationChainWatch> watch(const std::shared_ptr<platform::ViewController>& controller,
                                                            Block block);
    // Takes the watch off its controller: the block does not run again.
    void cancel();
    void didLeavePresentationChain() override;

  private:
    GADPresentationChainWatch() = default;
    Block block_;
};

} // namespace ruzave
