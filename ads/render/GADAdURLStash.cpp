#include "ads/render/GADAdURLStash.h"

#include <map>
#include <mutex>

namespace ruzave {
namespace {

struct Entry {
    std::weak_ptr<GADAdView> view;
    const GADAdView* owner = nullptr;
    GADMRAIDScriptKind kind = GADMRAIDScriptKind::ExpandedBanner;
};

struct Stash {
    std::mutex mutex;
    std::map<std::string, Entry> entries;
};

Stash& stash() {
    static Stash* s = new Stash(); // Never destroyed: loading threads may ask during exit.
    return *s;
}

} // namespace

std::optional<std::string> GADAdURLStash::canonicalURLForURL(const platform::URL& url) {
    if (!url.isValid()) return std::nullopt;
    std::string result;
    if (url.host().empty()) {
        result = url.absoluteString();
        if (auto hash = result.find('#'); hash != std::string::npos) result.resize(hash);
    } else {
        result = url.scheme() + "://" + url.host();
        if (std::optional<int> port = url.effectivePort()) result += ":" + std::to_string(*port);
        result += url.percentEncodedPath();
        if (auto query = url.query()) result += "?" + *query;
    }
    if (!result.empty() && result.back() == '/') result.pop_back();
    if (result.empty()) return std::nullopt;
    return result;
}

void GADAdURLStash::add(const platform::URL& url, const std::shared_ptr<GADAdView>& view, GADMRAIDScriptKind kind) {
    auto key = canonicalURLForURL(url);
    if (!key || !view) return;
    std::lock_guard lock(stash().mutex);
    stash().entries[*key] = Entry{view, view.get(), kind};
}

void GADAdURLStash::remove(const platform::URL& url, const GADAdView* view) {
    auto key = canonicalURLForURL(url);
    if (!key) return;
    std::lock_guard lock(stash().mutex);
    auto it = stash().entries.find(*key);
    if (it != stash().entries.end() && it->second.owner == view) stash().entries.erase(it);
}

std::shared_ptr<GADAdView> GADAdURLStash::viewForURL(const platform::URL& url) {
    auto key = canonicalURLForURL(url);
    if (!key) return nullptr;
    std::lock_guard lock(stash().mutex);
    auto it = stash().entries.find(*key);
    return it == stash().entries.end() ? nullptr : it->second.view.lock();
}

std::optional<GADMRAIDScriptKind> GADAdURLStash::scriptKindForURL(const platform::URL& url) {
    auto key = canonicalURLForURL(url);
    if (!key) return std::nullopt;
    std::lock_guard lock(stash().mutex);
    auto it = stash().entries.find(*key);
    // expired() only reads the control block; the view itself is never touched off the main thread.
    if (it == stash().entries.end() || it->second.view.expired()) return std::nullopt;
    return it->second.kind;
}

bool GADAdURLStash::hasStashedURLs() {
    std::lock_guard lock(stash().mutex);
    return !stash().entries.empty();
}

void GADAdURLStash::removeAllForTesting() {
    std::lock_guard lock(stash().mutex);
    stash().entries.clear();
}

} // namespace ruzave
