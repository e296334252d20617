#pragma once
// A document a web view loaded, as what loads for it holds it (a URL a page named, a purchase it
// opened): while the document is open, its loads go through it (WebPage::connectionForPage); once it has
// closed, its pings still go out, admitted as its pings are (WebPage::pingAfterClose), and nothing else
// does. It holds neither the document nor its view, and a later document in the same view is not it. A
// plain value, made and used on the main thread; a copy may be held, and let go of, on any thread.
#include <memory>

#include "platform/base/Error.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLRequest.h"
#include "platform/web/PageLoad.h"

namespace platform {

class URLConnection;
class URLConnectionDelegate;
class WebPage;

class WebDocumentRef {
public:
    // No document: nothing loads for it.
    WebDocumentRef() = default;
    explicit WebDocumentRef(const std::shared_ptr<WebPage>& page);

    bool isNull() const { return !made_; }
    // The document while it lives (closed or not), or null.
    std::shared_ptr<WebPage> page() const { return page_.lock(); }
    // A load the app makes because the document asked (see WebPage::connectionForPage); after its close
    // only a ping. Not started; nullptr, with the reason in `error`, when refused.
    std::shared_ptr<URLConnection> connectionForPage(const URLRequest& request,
                                                     std::weak_ptr<URLConnectionDelegate> delegate,
                                                     Error* error = nullptr,
                                                     PageLoad kind = PageLoad::EndsWithPage) const;

private:
    std::weak_ptr<WebPage> page_;
    bool made_ = false;
    TransferOrigin origin_ = TransferOrigin::app();
};

} // namespace platform
