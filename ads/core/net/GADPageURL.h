#pragma once
// A URL that a creative's page named (in a script message, an MRAID call, a tracker it passed along),
// together with the document that named it (never a later one in the same web view). Whatever loads it is
// that document's web content (platform::WebDocumentRef::connectionForPage): bounded, charged and ended
// with the document, but for its pings, which go on past its close. The app's own roads
// (GADClickTrackerCollection::trackURL and trackURLs, GADPinger) take no GADPageURL, and it does not turn
// into a platform::URL by itself, so a URL a page chose cannot land on the app's side by omission. A plain
// value; made and used on the main thread (it holds the document weakly, and a document is the main
// thread's).
#include <memory>
#include <optional>
#include <string>

#include "platform/base/URL.h"
#include "platform/web/WebDocumentRef.h"

namespace platform {
class WebView;
}

namespace ruzave {

class GADPageURL {
  public:
    // nullopt when `text` forms no URL (or an empty one), or when it is longer than web content loads
    // (platform::TransferOrigin::MaximumURLLength). A null document makes a URL that nothing loads. Given
    // a web view, the document it holds now.
    static std::optional<GADPageURL> parse(const std::string& text, const platform::WebDocumentRef& document);
    static std::optional<GADPageURL> parse(const std::string& text, const std::shared_ptr<platform::WebView>& page);
    // A URL derived from one the page named (a click URL with the gesture's details added, say).
    static std::optional<GADPageURL> withURL(const platform::URL& url, const platform::WebDocumentRef& document);
    static std::optional<GADPageURL> withURL(const platform::URL& url, const std::shared_ptr<platform::WebView>& page);

    // Where the page's URL points: for what is not a load (leaving the app, the in-app browser's own page).
    const platform::URL& url() const { return url_; }
    const platform::WebDocumentRef& page() const { return page_; }

  private:
    GADPageURL(platform::URL url, platform::WebDocumentRef page) : url_(std::move(url)), page_(std::move(page)) {}

    platform::URL url_;
    platform::WebDocumentRef page_;
};

} // namespace ruzave
