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
    // Per URL, in the order they were stashed (the latest last); views that went are dropped at the
    // next change of their URL's list.
    std::map<std::string, std::vector<Entry>> entries;
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
    auto& list = stash().entries[*key];
    std::erase_if(list, [&](const Entry& e) { return e.owner == view.get() || e.view.expired(); });
    list.push_back(Entry{view, view.get(), kind});
}

void GADAdURLStash::remove(const platform::URL& url, const GADAdView* view) {
    auto key = canonicalURLForURL(url);
    if (!key) return;
    std::lock_guard lock(stash().mutex);
    auto it = stash().entries.find(*key);
    if (it == stash().entries.end()) return;
    // expired() only: a view is never destroyed under the lock.
    std::erase_if(it->second, [&](const Entry& e) { return e.owner == view || e.view.expired(); });
    if (it->second.empty()) stash().entries.erase(it);
}

std::shared_ptr<GADAdView> GADAdURLStash::viewForURL(const platform::URL& url) {
    auto views = viewsForURL(url);
    return views.empty() ? nullptr : views.front().view;
}

std::vector<GADAdURLStash::Stashed> GADAdURLStash::viewsForURL(const platform::URL& url) {
    std::vector<Stashed> views;
    auto key = canonicalURLForURL(url);
    if (!key) return views;
    std::lock_guard lock(stash().mutex);
    auto it = stash().entries.find(*key);
    if (it == stash().entries.end()) return views;
    for (auto e = it->second.rbegin(); e != it->second.rend(); ++e)
        if (auto view = e->view.lock()) views.push_back(Stashed{std::move(view), e->kind});
    return views;
}

std::optional<GADMRAIDScriptKind> GADAdURLStash::scriptKindForURL(const platform::URL& url) {
    auto key = canonicalURLForURL(url);
    if (!key) return std::nullopt;
    std::lock_guard lock(stash().mutex);
    auto it = stash().entries.find(*key);
    if (it == stash().entries.end()) return std::nullopt;
    // expired() only reads the control block; the view itself is never touched off the main thread.
    for (auto e = it->second.rbegin(); e != it->second.rend(); ++e)
        if (!e->view.expired()) return e->kind;
    return std::nullopt;
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
