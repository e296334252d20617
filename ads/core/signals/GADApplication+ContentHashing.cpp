// Content hashing: every few seconds the view tree is walked, the text of web and text views becomes
// a GADContent fingerprint on the content-hashing queue, and the walk's content joins a bounded queue.
// Each ad request is served the best-scoring fingerprint, whose score then drops so others get a turn.
#include <cmath>

#include "ads/core/net/GADScheduler.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/telemetry/GADContent.h"
#include "ads/core/telemetry/GADContentQueue.h"
#include "ads/core/telemetry/GADViewHierarchyTraverser.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/WebView.h"

namespace ruzave {

namespace {

constexpr const char* kContentQueueCapacityKey = "/ruzave/ads/content_queue_maximum_capacity";
constexpr const char* kTraversalIntervalKey = "/ruzave/ads/traversal_interval";
constexpr std::uint32_t kDefaultContentQueueCapacity = 10;
constexpr double kDefaultTraversalInterval = 10.0;

std::shared_ptr<platform::View> contentRootView() {
    auto window = platform::Application::sharedApplication()->keyWindow();
    auto controller = window ? window->rootViewController() : nullptr;
    return controller ? controller->view() : nullptr;
}

// Main thread: the text a view shows, "" for views without text.
std::string textOfView(const std::shared_ptr<platform::View>& view) {
    if (auto web = std::dynamic_pointer_cast<platform::WebView>(view)) {
        return web->evaluate("document.body.innerText");
    }
    if (auto text = std::dynamic_pointer_cast<platform::TextView>(view)) {
        return text->text();
    }
    return "";
}

} // namespace

void GADApplication::startContentHashing() {
    if (scheduler_) {
        return;
    }
    auto defaults = platform::UserDefaults::standard();
    contentHashingQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.content-hashing");
    const long long capacity =
        defaults->object(kContentQueueCapacityKey) ? defaults->integer(kContentQueueCapacityKey) : kDefaultContentQueueCapacity;
    // A stored period that is not a positive number would walk the view hierarchy at every turn of the
    // main loop: it takes the default instead.
    const double stored =
        defaults->object(kTraversalIntervalKey) ? defaults->doubleValue(kTraversalIntervalKey) : kDefaultTraversalInterval;
    const double interval = std::isfinite(stored) && stored > 0 ? stored : kDefaultTraversalInterval;
    {
        std::lock_guard lock(contentLock_);
        contentQueue_ = std::make_shared<GADContentQueue>(
            static_cast<std::uint32_t>(std::clamp<long long>(capacity, 0, UINT32_MAX)));
    }
    scheduler_ = GADScheduler::initWithInterval(interval);
    traverser_ = GADViewHierarchyTraverser::create();
    std::weak_ptr<GADApplication> weakSelf = weak_from_this();
    scheduler_->taskIDScheduledOnQueue(platform::DispatchQueue::main(), [weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->walkViewHierarchyForContent();
        }
    });
    scheduler_->start();
}

void GADApplication::stopContentHashing() {
    contentHashingQueue_.reset();
    if (scheduler_) {
        scheduler_->stop();
        scheduler_.reset();
    }
}

std::shared_ptr<GADContentQueue> GADApplication::contentQueue() const {
    std::lock_guard lock(contentLock_);
    return contentQueue_;
}

std::optional<std::string> GADApplication::fingerprintWithServedPenaltyDeduction() {
    std::lock_guard lock(contentLock_);
    if (!contentQueue_) {
        return std::nullopt;
    }
    auto best = contentQueue_->contentWithHighestScore();
    if (!best) {
        return std::nullopt;
    }
    best->deductServedPenalty();
    return best->fingerprint();
}

void GADApplication::walkViewHierarchyForContent() {
    auto queue = contentHashingQueue_;
    auto traverser = traverser_;
    if (!queue || !traverser) {
        return;
    }
    std::weak_ptr<GADContentQueue> weakContents;
    {
        std::lock_guard lock(contentLock_);
        weakContents = contentQueue_;
    }
    // The walk's content, made at its first visit. Only the main thread and then (in order) the
    // hashing queue touch it.
    auto slot = std::make_shared<std::shared_ptr<GADContent>>();
    auto self = shared_from_this();
    traverser->traverseView(
        contentRootView(),
        [slot, queue](const std::shared_ptr<platform::View>& view, std::uint32_t number) {
            if (!*slot) {
                *slot = std::make_shared<GADContent>(number);
            }
            std::string text = textOfView(view);
            if (!text.empty()) {
                queue->async([content = *slot, text = std::move(text)] { content->updateContentWithText(text); });
            }
        },
        [slot, queue, weakContents, self](bool finished) {
            if (!finished) {
                return;
            }
            queue->async([slot, weakContents, self] {
                auto content = *slot;
                if (!content || content->fingerprint().empty()) {
                    return;
                }
                std::lock_guard lock(self->contentLock_);
                if (auto contents = weakContents.lock()) {
                    contents->deduplicate(content);
                    contents->enqueueContent(content);
                }
            });
        });
}

} // namespace ruzave
