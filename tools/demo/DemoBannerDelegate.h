#pragma once
// The demo app's banner delegate: puts each call on the timeline by its name and keeps the calls and
// the last error for the verdict. Main thread (the SDK calls its banner delegates there).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/public/GADBannerViewDelegate.h"
#include "platform/base/Error.h"

namespace demo {

class DemoTimeline;

class DemoBannerDelegate : public ruzave::GADBannerViewDelegate {
  public:
    // `label`, when given, goes in front of each line ("mediated banner: adViewDidReceiveAd").
    explicit DemoBannerDelegate(DemoTimeline& timeline, std::string label = {})
        : timeline_(timeline), label_(std::move(label)) {}

    void adViewDidReceiveAd(ruzave::GADBannerView& view) override;
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView& view, const platform::Error& error) override;
    void adViewWillPresentScreen(ruzave::GADBannerView& view) override;
    void adViewWillDismissScreen(ruzave::GADBannerView& view) override;
    void adViewDidDismissScreen(ruzave::GADBannerView& view) override;
    void adViewWillLeaveApplication(ruzave::GADBannerView& view) override;

    const std::vector<std::string>& calls() const { return calls_; }
    std::size_t receivedCount() const { return received_; }
    std::size_t failedCount() const { return failed_; }
    const std::optional<platform::Error>& lastError() const { return lastError_; }
    // The stamp of the first call with this name.
    std::optional<double> firstCallMs(const std::string& name) const;
    // "Request Error: ... (code 2, domain ...)".
    static std::string describe(const platform::Error& error);

  private:
    void record(const std::string& name, const std::string& detail = {});

    DemoTimeline& timeline_;
    std::string label_;
    std::vector<std::string> calls_;
    std::vector<double> stamps_;
    std::size_t received_ = 0;
    std::size_t failed_ = 0;
    std::optional<platform::Error> lastError_;
};

} // namespace demo
