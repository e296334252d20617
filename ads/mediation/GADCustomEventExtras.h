#pragma once
// The network extras of custom events: per label, the extra parameters a publisher hands to the custom
// event registered under that label. Main thread.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADAdNetworkExtras.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADCustomEventExtras : public GADAdNetworkExtras {
  public:
    static constexpr const char* kClassName = "GADCustomEventExtras";
    static std::shared_ptr<GADCustomEventExtras> init() {
        return std::shared_ptr<GADCustomEventExtras>(new GADCustomEventExtras());
    }
    std::string extrasClassName() const override { return kClassName; }

    // setExtras:forLabel: — no extras removes the label's entry; no label stores nothing (and logs).
    void setExtras(const std::optional<platform::Value>& extras, const std::optional<std::string>& label);
    std::optional<platform::Value> extrasForLabel(const std::string& label) const;
    void removeAllExtras() { extras_.clear(); }
    const std::map<std::string, platform::Value>& allExtras() const { return extras_; }

  private:
    GADCustomEventExtras() = default;
    std::map<std::string, platform::Value> extras_;
};

} // namespace ruzave
