#include "ads/core/telemetry/GADActiveViewGMSGHandler.h"

#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/render/GADNotification.h"
#include "platform/base/Value.h"

namespace ruzave {
namespace {

template <void (GADActiveViewGMSGHandler::*Method)(const GADGMSGHandler::Arguments&)>
void send(GADGMSGHandler& handler, const GADGMSGHandler::Arguments& arguments) {
    (static_cast<GADActiveViewGMSGHandler&>(handler).*Method)(arguments);
}

// Passes verdicts on to the web view, which finds the slot registered under the identifier.
class WebViewRelay : public GADActiveViewGMSGHandlerDelegate {
  public:
    explicit WebViewRelay(std::weak_ptr<GADSDKCoreWebView> webView) : webView_(std::move(webView)) {}
    void activeViewGMSGHandlerDidReceiveVisibilityNotification(GADActiveViewGMSGHandler&, bool visible,
                                                               std::uint32_t activeViewID) override {
        if (auto w = webView_.lock()) w->activeViewDidReceiveVisibilityNotification(visible, activeViewID);
    }
    void activeViewGMSGHandlerDidReceiveUntrackNotification(GADActiveViewGMSGHandler&,
                                                            std::uint32_t activeViewID) override {
        if (auto w = webView_.lock()) w->activeViewDidReceiveUntrackNotification(activeViewID);
    }

  private:
    std::weak_ptr<GADSDKCoreWebView> webView_;
};

std::uint32_t activeViewID(const std::string& text) {
    return static_cast<std::uint32_t>(platform::integerValue(text));
}

} // namespace

std::shared_ptr<GADActiveViewGMSGHandler> GADActiveViewGMSGHandler::init() {
    return std::shared_ptr<GADActiveViewGMSGHandler>(new GADActiveViewGMSGHandler());
}

void GADActiveViewGMSGHandler::attachToSDKCoreWebView(const std::shared_ptr<GADSDKCoreWebView>& webView) {
    if (!webView) return;
    auto handler = init();
    auto relay = std::make_shared<WebViewRelay>(webView);
    handler->setDelegate(relay);
    // The closure owns the handler and its relay; the relay holds the web view weakly, so no cycle.
    webView->setActiveViewMessageHandler([handler, relay](const platform::URLRequest& request) {
        return handler->handleRequest(request, nullptr);
    });
}

const GADGMSGHandler::ActionBlockDictionary* GADActiveViewGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"untrackActiveViewUnit", send<&GADActiveViewGMSGHandler::didReceiveActiveViewUntrackActiveViewNotification>},
        {"visibilityChanged", send<&GADActiveViewGMSGHandler::didReceiveActiveViewVisibilityChangedNotification>},
    };
    return &table;
}

void GADActiveViewGMSGHandler::didReceiveActiveViewVisibilityChangedNotification(const Arguments& arguments) {
    if (!arguments.note) return;
    auto hashCode = arguments.note->parameter("hashCode");
    auto isVisible = arguments.note->parameter("isVisible");
    if (!hashCode || !isVisible) return;
    if (auto d = delegate()) d->activeViewGMSGHandlerDidReceiveVisibilityNotification(*this, *isVisible == "1", activeViewID(*hashCode));
}

void GADActiveViewGMSGHandler::didReceiveActiveViewUntrackActiveViewNotification(const Arguments& arguments) {
    if (!arguments.note) return;
    auto hashCode = arguments.note->parameter("hashCode");
    if (!hashCode) return;
    if (auto d = delegate()) d->activeViewGMSGHandlerDidReceiveUntrackNotification(*this, activeViewID(*hashCode));
}

} // namespace ruzave
