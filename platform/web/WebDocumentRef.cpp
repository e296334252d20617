#include "platform/web/WebDocumentRef.h"

#include "platform/net/URLConnection.h"
#include "platform/web/WebPage.h"

namespace platform {

WebDocumentRef::WebDocumentRef(const std::shared_ptr<WebPage>& page) {
    if (!page) return;
    page_ = page;
    made_ = true;
    origin_ = page->options().origin;
}

std::shared_ptr<URLConnection> WebDocumentRef::connectionForPage(const URLRequest& request,
                                                                 std::weak_ptr<URLConnectionDelegate> delegate,
                                                                 Error* error, PageLoad kind) const {
    auto page = page_.lock();
    // An open document refuses for itself (a page whose scripts were stopped among them).
    if (page && !page->isClosed()) return page->connectionForPage(request, std::move(delegate), error, kind);
    if (kind == PageLoad::Beacon && made_) return WebPage::pingAfterClose(request, std::move(delegate), origin_, error);
    setError(error, Error("WebKitErrorDomain", 102, "the page's load is refused: the page has gone"));
    return nullptr;
}

} // namespace platform
