#pragma once
// An ad handed to the app to render itself: its HTML and base URL, and the three reports the app makes
// once it shows it (click, impression, rendering finished), passed to the publisher object it came
// from. Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/URL.h"

namespace platform {
class View;
}

namespace ruzave {

class GADAd;
class GADSlot;
class VODCustomRenderedAdDelegate;

class VODCustomRenderedAd {
  public:
    // Only made with its content.
    static std::shared_ptr<VODCustomRenderedAd> init() { return nullptr; }
    static std::shared_ptr<VODCustomRenderedAd> initWithAdHTML(const std::string& adHTML,
                                                               const std::optional<platform::URL>& adBaseURL);

    // The slot's ad as handed over: its HTML, and the root ("/") of its base URL's host as the base
    // (the bare reference "/" without a usable base URL).
    static std::shared_ptr<VODCustomRenderedAd> initWithAd(const std::shared_ptr<GADAd>& ad);

    const std::string& adHTML() const { return adHTML_; }
    const std::optional<platform::URL>& adBaseURL() const { return adBaseURL_; }
    std::shared_ptr<VODCustomRenderedAdDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<VODCustomRenderedAdDelegate>& delegate) { delegate_ = delegate; }

    // The slot's load it was handed over for (GADSlot::appRenderedLoad()). Its word that it has rendered then
    // counts only while that load is live, and its clicks and impressions while the slot still shows it
    // (GADSlot::isAppRenderedAdShown()): once the next ad response has replaced it they change nothing. An
    // ad the app made itself speaks for no load, and its reports always pass on.
    void setLoad(const std::weak_ptr<GADSlot>& slot, std::uint64_t load) {
        slot_ = slot;
        load_ = load;
    }

    void recordClick();
    void recordImpression();
    void finishedRenderingAdView(const std::shared_ptr<platform::View>& view);

  private:
    VODCustomRenderedAd() = default;
    // The delegate, when `counts` holds of the load this ad speaks for (or it speaks for none).
    std::shared_ptr<VODCustomRenderedAdDelegate> delegateIf(bool (GADSlot::*counts)(std::uint64_t)
                                                                const) const;

    std::string adHTML_;
    std::optional<platform::URL> adBaseURL_;
    std::weak_ptr<VODCustomRenderedAdDelegate> delegate_;
    std::weak_ptr<GADSlot> slot_;
    std::uint64_t load_ = 0;
};

} // namespace ruzave
