#pragma once
// A request for a publisher that runs its own ad server: adds the publisher's own user identifier,
// custom key-value targeting and category exclusions to the request parameters. Filled on the main
// thread, then copied; parameters() may run on any thread.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/public/GADRequest.h"

namespace ruzave {

class VODRequest : public GADRequest {
  public:
    static std::shared_ptr<VODRequest> request();
    static std::shared_ptr<VODRequest> init() { return request(); }
    // The correlator lives in GADCorrelator; kept for apps that still call it.
    static void updateCorrelator() {}

    std::shared_ptr<GADRequest> copy() const override;
    std::string className() const override { return "VODRequest"; }
    platform::Value parameters() const override;

    const std::optional<std::string>& publisherProvidedID() const { return publisherProvidedID_; }
    void setPublisherProvidedID(const std::optional<std::string>& v) { publisherProvidedID_ = v; }
    const std::optional<std::vector<std::string>>& categoryExclusions() const { return categoryExclusions_; }
    void setCategoryExclusions(const std::optional<std::vector<std::string>>& v) { categoryExclusions_ = v; }
    const std::optional<std::map<std::string, std::string>>& customTargeting() const { return customTargeting_; }
    void setCustomTargeting(const std::optional<std::map<std::string, std::string>>& v) { customTargeting_ = v; }

  protected:
    VODRequest() = default;

  private:
    std::optional<std::string> publisherProvidedID_;
    std::optional<std::vector<std::string>> categoryExclusions_;
    std::optional<std::map<std::string, std::string>> customTargeting_;
};

} // namespace ruzave
