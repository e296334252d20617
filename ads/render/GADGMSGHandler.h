#pragma once
// The base of every script message handler: a subclass publishes one table, built once per class,
// from action name to the block that serves it. Main thread (the tables themselves may be read
// anywhere once built).
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/base/Value.h"
#include "platform/net/URLRequest.h"

namespace ruzave {

class GADAdView;
class GADNotification;

class GADGMSGHandler : public std::enable_shared_from_this<GADGMSGHandler> {
  public:
    // What a block gets: the view whose page sent the message (may be null) and the message.
    struct Arguments {
        std::shared_ptr<GADAdView> adView;
        std::shared_ptr<GADNotification> note;
        // The message's parameters; an empty dictionary without a message.
        const platform::Value& parameters() const;
    };
    using ActionBlock = std::function<void(GADGMSGHandler& handler, const Arguments& arguments)>;
    using ActionBlockDictionary = std::map<std::string, ActionBlock>;

    virtual ~GADGMSGHandler() = default;

    // The class's table; null in the base class, which handles nothing.
    virtual const ActionBlockDictionary* actionBlockDictionary() const { return nullptr; }
    // Blocks by sub-action, for handlers whose actions dispatch further.
    virtual const ActionBlockDictionary* subActionBlockDictionary() const { return nullptr; }

    // handleRequest:adView: — a message URL is parsed and handled; anything else is not.
    bool handleRequest(const platform::URLRequest& request, const std::shared_ptr<GADAdView>& adView);
    // handleNotification:adView: — true whenever the name is in the table, whatever the block does.
    bool handleNotification(const std::shared_ptr<GADNotification>& note, const std::shared_ptr<GADAdView>& adView);
    // Runs the sub-action block named by `parameterName`'s value; unknown or missing ones do nothing.
    void dispatchSubAction(const std::string& parameterName, const Arguments& arguments);
    // Runs now what the handler queued for a later main-loop turn; the router asks before it lets a
    // page load's end be handled, so work a message started during the load is done by then.
    virtual void performDeferredActions() {}

  protected:
    GADGMSGHandler() = default;
};

} // namespace ruzave
