#pragma once
// Lets a creative hold back the moment its load counts as finished: "delayPageLoaded" with "start"
// raises the count, "stop" lowers it (never below 0), "cancel" gives up (the delegate hears it once and
// is forgotten). Main thread.
#include <deque>
#include <memory>

#include "ads/render/GADGMSGHandler.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADDelayLoadDelegate;

class GADDelayPageLoadGMSGHandler : public GADGMSGHandler {
  public:
    static std::shared_ptr<GADDelayPageLoadGMSGHandler> initWithDelegate(const std::weak_ptr<GADDelayLoadDelegate>& delegate);

    const ActionBlockDictionary* actionBlockDictionary() const override;
    // Queues the change on the main loop (it runs one turn later, or when the router asks for
    // deferred work, whichever comes first; changes keep their order).
    void delayPageLoadWithArguments(const Arguments& arguments);
    void handleDelayLoadWithParameters(const platform::Value& parameters);
    void performDeferredActions() override;

    int delayCount() const { return delayCount_; }
    std::shared_ptr<GADDelayLoadDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADDelayLoadDelegate>& delegate) { delegate_ = delegate; }
    // A new ad load starts afresh: count 0, linked to `delegate` again.
    void resetWithDelegate(const std::weak_ptr<GADDelayLoadDelegate>& delegate);

  private:
    explicit GADDelayPageLoadGMSGHandler(const std::weak_ptr<GADDelayLoadDelegate>& delegate) : delegate_(delegate) {}
    int delayCount_ = 0;
    std::weak_ptr<GADDelayLoadDelegate> delegate_;
    std::deque<platform::Value> queuedChanges_;
};

} // namespace ruzave
