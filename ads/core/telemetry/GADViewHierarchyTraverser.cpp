#include "ads/core/telemetry/GADViewHierarchyTraverser.h"

#include <vector>

#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/View.h"

namespace ruzave {

std::shared_ptr<GADViewHierarchyTraverser> GADViewHierarchyTraverser::create() {
    return std::shared_ptr<GADViewHierarchyTraverser>(new GADViewHierarchyTraverser());
}

GADViewHierarchyTraverser::GADViewHierarchyTraverser()
    : lowPrioritySerialQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.view-hierarchy")) {}

void GADViewHierarchyTraverser::traverseView(const std::shared_ptr<platform::View>& root, TraversalBlock traversal,
                                             CompletionBlock completion) {
    if (traversing_ || !root || !traversal) {
        if (completion) {
            platform::DispatchQueue::main()->async([completion = std::move(completion)] { completion(false); });
        }
        return;
    }
    traversing_ = true;
    ++sequenceNumber_;
    const auto number = static_cast<std::uint32_t>(sequenceNumber_);
    auto shared = std::make_shared<TraversalBlock>(std::move(traversal));

    std::vector<std::shared_ptr<platform::View>> stack{root};
    while (!stack.empty()) {
        auto view = std::move(stack.back());
        stack.pop_back();
        std::weak_ptr<platform::View> weakView = view;
        lowPrioritySerialQueue_->async([weakView, shared, number] {
            platform::DispatchQueue::main()->async([weakView, shared, number] {
                if (auto visited = weakView.lock()) {
                    (*shared)(visited, number);
                }
            });
        });
        for (const auto& subview : view->subviews()) {
            stack.push_back(subview);
        }
    }
    auto self = shared_from_this();
    lowPrioritySerialQueue_->async([self, completion = std::move(completion)] {
        platform::DispatchQueue::main()->async([self, completion] {
            if (completion) {
                completion(true);
            }
            self->traversing_ = false;
        });
    });
}

} // namespace ruzave
