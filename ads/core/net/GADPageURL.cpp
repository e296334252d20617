#include "ads/core/net/GADPageURL.h"

#include "platform/net/TransferOrigin.h"
#include "platform/web/WebView.h"

namespace ruzave {

std::optional<GADPageURL> GADPageURL::parse(const std::string& text, const std::shared_ptr<platform::WebView>& page) {
    // Checked before parsing: a page's text is not copied into a URL it could never load.
    if (text.empty() || text.size() > platform::TransferOrigin::MaximumURLLength) return std::nullopt;
    auto url = platform::URL::parse(text);
    if (!url) return std::nullopt;
    return withURL(*url, page);
}

std::optional<GADPageURL> GADPageURL::withURL(const platform::URL& url, const std::shared_ptr<platform::WebView>& page) {
    const std::string& text = url.absoluteString();
    if (!url.isValid() || text.empty() || text.size() > platform::TransferOrigin::MaximumURLLength) return std::nullopt;
    return GADPageURL(url, page);
}

} // namespace ruzave
