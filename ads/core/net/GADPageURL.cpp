#include "ads/core/net/GADPageURL.h"

#include "platform/net/TransferOrigin.h"
#include "platform/web/WebView.h"

namespace ruzave {

namespace {
platform::WebDocumentRef documentOf(const std::shared_ptr<platform::WebView>& page) {
    return page ? page->currentDocument() : platform::WebDocumentRef();
}
} // namespace

std::optional<GADPageURL> GADPageURL::parse(const std::string& text, const platform::WebDocumentRef& document) {
    // Checked before parsing: a page's text is not copied into a URL it could never load.
    if (text.empty() || text.size() > platform::TransferOrigin::MaximumURLLength) return std::nullopt;
    auto url = platform::URL::parse(text);
    if (!url) return std::nullopt;
    return withURL(*url, document);
}

std::optional<GADPageURL> GADPageURL::parse(const std::string& text, const std::shared_ptr<platform::WebView>& page) {
    return parse(text, documentOf(page));
}

std::optional<GADPageURL> GADPageURL::withURL(const platform::URL& url, const platform::WebDocumentRef& document) {
    const std::string& text = url.absoluteString();
    if (!url.isValid() || text.empty() || text.size() > platform::TransferOrigin::MaximumURLLength) return std::nullopt;
    return GADPageURL(url, document);
}

std::optional<GADPageURL> GADPageURL::withURL(const platform::URL& url, const std::shared_ptr<platform::WebView>& page) {
    return withURL(url, documentOf(page));
}

} // namespace ruzave
