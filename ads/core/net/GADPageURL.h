#pragma once
// A URL that a creative's page named (in a script message, an MRAID call, a tracker it passed along),
// together with that page. Whatever loads it is the page's web content (platform::WebView::connectionForPage):
// bounded, charged and ended with the page. The app's own roads (GADClickTrackerCollection::trackURL and
// trackURLs, GADPinger) take no GADPageURL, and it does not turn into a platform::URL by itself, so a URL a
// page chose cannot land on the app's side by omission. A plain value; made and used on the main thread
// (it holds the page weakly, and a page is the main thread's).
#include <memory>
#include <optional>
#include <string>

#include "platform/base/URL.h"

namespace platform {
class WebView;
}

namespace ruzave {

class GADPageURL {
  public:
    // nullopt when `text` forms no URL (or an empty one), or when it is longer than web content loads
    // (platform::TransferOrigin::MaximumURLLength). A null page makes a URL that nothing loads.
    static std::optional<GADPageURL> parse(const std::string& text, const std::shared_ptr<platform::WebView>& page);
    // A URL derived from one the page named (a click URL with the gesture's details added, say).
    static std::optional<GADPageURL> withURL(const platform::URL& url, const std::shared_ptr<platform::WebView>& page);

    // Where the page's URL points: for what is not a load (leaving the app, the in-app browser's own page).
    const platform::URL& url() const { return url_; }
    const std::weak_ptr<platform::WebView>& page() const { return page_; }

  private:
    GADPageURL(platform::URL url, std::weak_ptr<platform::WebView> page) : url_(std::move(url)), page_(std::move(page)) {}

    platform::URL url_;
    std::weak_ptr<platform::WebView> page_;
};

} // namespace ruzave
