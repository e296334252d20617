#pragma once
// The process-wide table from an ad view's base URL (canonical form) to that view, which lets the
// MRAID interceptor find the page behind a script request. Views are held weakly, and each entry also
// records, on the main thread, which script its view needs, so the loading threads never touch a
// view. Any thread (one lock).
#include <memory>
#include <optional>
#include <string>

#include "ads/render/GADMRAIDScriptKind.h"
#include "platform/base/URL.h"

namespace ruzave {

class GADAdView;

class GADAdURLStash {
  public:
    // add:forView: — replaces an earlier entry of the same URL; a URL without canonical form is ignored.
    static void add(const platform::URL& url, const std::shared_ptr<GADAdView>& view, GADMRAIDScriptKind kind);
    // remove: — only the entry that `view` itself made; another view's entry of the same URL stays.
    static void remove(const platform::URL& url, const GADAdView* view);
    static std::shared_ptr<GADAdView> viewForURL(const platform::URL& url);
    // The script the view stashed under the URL needs; nullopt when no live view is stashed there.
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
