#pragma once
// An ad delivered by a mediated network outside a view: the click and impression handlers that report
// it, and the adapter class that delivered it. Main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ruzave {

class GADMediatedAd {
  public:
    static std::shared_ptr<GADMediatedAd> init() { return std::shared_ptr<GADMediatedAd>(new GADMediatedAd()); }
    virtual ~GADMediatedAd() = default;

    void addClickHandler(std::function<void()> handler) { clickHandlers_.push_back(std::move(handler)); }
    void addImpressionHandler(std::function<void()> handler) {
        impressionHandlers_.push_back(std::move(handler));
    }
    // Run every handler in the order added; a copy is run, so a handler may add more.
    void reportClick() { run(clickHandlers_); }
    void reportImpression() { run(impressionHandlers_); }

    const std::string& adNetworkClassName() const { return adNetworkClassName_; }
    void setAdNetworkClassName(const std::string& name) { adNetworkClassName_ = name; }

  protected:
    GADMediatedAd() = default;

  private:
    static void run(const std::vector<std::function<void()>>& handlers) {
        auto copy = handlers;
        for (auto& handler : copy)
            if (handler) handler();
    }

    std::vector<std::function<void()>> clickHandlers_;
    std::vector<std::function<void()>> impressionHandlers_;
    std::string adNetworkClassName_;
};

} // namespace ruzave
