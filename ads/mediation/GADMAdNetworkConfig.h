#pragma once
// One ad network of a mediation response: its identifier, credentials, ping templates and the adapter
// class chosen from its list. A value holder once built. Any thread once built.
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADMAdNetworkConfig {
  public:
    // nullptr with code 7 for a missing or unusable "id". A returned configuration may still carry a
    // code 8 error in `error`: no usable adapter was found, and the network is skipped later.
    static std::shared_ptr<GADMAdNetworkConfig> initWithDictionary(const platform::Value& dictionary,
                                                                   platform::Error* error = nullptr);

    const std::string& networkID() const { return networkID_; }
    // "pubid" of the credentials: a string, or the decimal text of a number; nothing else.
    std::optional<std::string> publisherID() const;
    const std::optional<platform::Value>& credentials() const { return credentials_; }
    // The credentials the adapter sees: without "gwhirl_share_location", whose "1" sets `locationShared`.
    platform::Value strippedCredentials(bool* locationShared) const;
    const std::optional<platform::Value>& extras() const { return extras_; }
    const std::optional<platform::Value>& ad() const { return ad_; }
    const std::optional<platform::Value>& adapterList() const { return adapterList_; }
    // The registered class name of the chosen adapter.
    const std::optional<std::string>& adapterClass() const { return adapterClass_; }
    const std::optional<std::string>& allocationID() const { return allocationID_; }
    const std::optional<platform::Value>& impressionURLs() const { return impressionURLs_; }
    const std::optional<platform::Value>& clickURLs() const { return clickURLs_; }
    const std::optional<platform::Value>& videoStartURLs() const { return videoStartURLs_; }
    const std::optional<platform::Value>& rewardedUserURLs() const { return rewardedUserURLs_; }

    std::string description() const;

  private:
    GADMAdNetworkConfig() = default;
    void chooseAdapter(platform::Error* error);

    std::string networkID_;
    std::optional<platform::Value> credentials_, extras_, ad_, adapterList_;
    std::optional<std::string> adapterClass_, allocationID_;
    std::optional<platform::Value> impressionURLs_, clickURLs_, videoStartURLs_, rewardedUserURLs_;
};

} // namespace ruzave
