#include "ads/render/GADDelayPageLoadGMSGHandler.h"

#include <climits>

#include "ads/render/GADDelayLoadDelegate.h"
#include "ads/render/GADNotification.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {

std::shared_ptr<GADDelayPageLoadGMSGHandler>
GADDelayPageLoadGMSGHandler::initWithDelegate(const std::weak_ptr<GADDelayLoadDelegate>& delegate) {
    return std::shared_ptr<GADDelayPageLoadGMSGHandler>(new GADDelayPageLoadGMSGHandler(delegate));
}

const GADGMSGHandler::ActionBlockDictionary* GADDelayPageLoadGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"delayPageLoaded",
         [](GADGMSGHandler& h, const Arguments& a) { static_cast<GADDelayPageLoadGMSGHandler&>(h).delayPageLoadWithArguments(a); }},
    };
    return &table;
}

void GADDelayPageLoadGMSGHandler::delayPageLoadWithArguments(const Arguments& arguments) {
    queuedChanges_.push_back(arguments.parameters());
    std::weak_ptr<GADDelayPageLoadGMSGHandler> weak =
        std::static_pointer_cast<GADDelayPageLoadGMSGHandler>(weak_from_this().lock());
    platform::MainLoop::main().post([weak] {
        if (auto self = weak.lock()) self->performDeferredActions();
    });
}

void GADDelayPageLoadGMSGHandler::performDeferredActions() {
    auto self = weak_from_this().lock();
    while (!queuedChanges_.empty()) {
        platform::Value parameters = std::move(queuedChanges_.front());
        queuedChanges_.pop_front();
        handleDelayLoadWithParameters(parameters);
    }
}

void GADDelayPageLoadGMSGHandler::handleDelayLoadWithParameters(const platform::Value& parameters) {
    if (!parameters.is_object()) return;
    auto self = weak_from_this().lock(); // kept for the delegate's call
    auto has = [&](const char* key) { return parameters.contains(key); };
    if (has("start")) {
        if (delayCount_ == INT_MAX) return;
        int old = delayCount_++;
        if (auto d = delegate_.lock()) d->loadHandlerDidChangeDelay(*this, old, delayCount_);
    } else if (has("stop")) {
        if (delayCount_ < 1) return;
        int old = delayCount_--;
        if (auto d = delegate_.lock()) d->loadHandlerDidChangeDelay(*this, old, delayCount_);
    } else if (has("cancel")) {
        auto d = delegate_.lock();
        delegate_.reset();
        delayCount_ = 0;
        if (d) d->loadHandlerDidCancel(*this);
    }
}

void GADDelayPageLoadGMSGHandler::resetWithDelegate(const std::weak_ptr<GADDelayLoadDelegate>& delegate) {
    // Changes still queued belong to the page before.
    queuedChanges_.clear();
    delayCount_ = 0;
    delegate_ = delegate;
}

} // namespace ruzave
