#pragma once
// The process-wide table from an ad view's base URL (canonical form) to the views showing a page of
// it, which lets the MRAID interceptor find the page behind a script request. Several ad views may load
// pages of one base URL: each keeps its own entry. Views are held weakly, and each entry also records,
// on the main thread, which script its view needs, so the loading threads never touch a view. Any
// thread (one lock), but for viewsForURL.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/render/GADMRAIDScriptKind.h"
#include "platform/base/URL.h"

namespace ruzave {

class GADAdView;

class GADAdURLStash {
  public:
    // add:forView: — replaces the view's earlier entry of the same URL, beside other views' entries; a
    // URL without canonical form is ignored.
    static void add(const platform::URL& url, const std::shared_ptr<GADAdView>& view, GADMRAIDScriptKind kind);
    // remove: — only the entry that `view` itself made; another view's entry of the same URL stays.
    static void remove(const platform::URL& url, const GADAdView* view);
    // The view stashed last under the URL that is still alive. Main thread (the view may go with the
    // reference handed out).
    static std::shared_ptr<GADAdView> viewForURL(const platform::URL& url);
    // Every live view stashed under the URL with the script it needs, the latest first. Main thread.
    struct Stashed {
        std::shared_ptr<GADAdView> view;
        GADMRAIDScriptKind kind;
    };
    static std::vector<Stashed> viewsForURL(const platform::URL& url);
    // The script the view stashed last under the URL needs; nullopt when no live view is stashed there.
    static std::optional<GADMRAIDScriptKind> scriptKindForURL(const platform::URL& url);
    static bool hasStashedURLs();
    // Scheme, host, port (the scheme's default when none is written), path and query; the fragment
    // dropped and one trailing "/" trimmed. A URL without host is itself, less its fragment.
    static std::optional<std::string> canonicalURLForURL(const platform::URL& url);
    static void removeAllForTesting();

  private:
    GADAdURLStash() = delete;
};

} // namespace ruzave
