#pragma once
// The base of the conversion reporters: value, repeatable flag, the click referrer stored for its
// identifier, and the once-only rule of conversions that are not repeatable. Also the store of click
// referrers. Reports on the caller's thread; pinger callbacks on the main thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "conversion/ACTPingerDelegate.h"
#include "conversion/ACTReporterPrivate.h"
#include "conversion/ACTReportingInfoDelegate.h"
#include "platform/base/Value.h"

namespace ruzave {

inline constexpr const char* kACTClickReferrerKeyPrefix = "ruzave_conversion_click_referrer";
inline constexpr const char* kACTClickReferrerCountKey = "ruzave_conversion_click_referrer_count";

class ACTConversionReporterPrivate : public ACTReporterPrivate,
                                     public ACTReportingInfoDelegate,
                                     public ACTPingerDelegate {
public:
    static constexpr long long kMaxClickReferrers = 100;

    // nullptr for an empty suffix.
    static std::shared_ptr<ACTConversionReporterPrivate> initWithValue(const std::optional<std::string>& value,
                                                                       const std::string& referrerKeySuffix,
                                                                       bool isRepeatable);

    const char* className() const override { return "ACTConversionReporterPrivate"; }
    bool isRepeatable() const { return isRepeatable_; }
    void setIsRepeatable(bool repeatable) { isRepeatable_ = repeatable; }
    const std::optional<std::string>& value() const { return value_; }
    void setValue(std::optional<std::string> value) { value_ = std::move(value); }
    const std::optional<std::string>& clickID() const { return clickID_; }
    void setClickID(std::optional<std::string> id) { clickID_ = std::move(id); }
    const std::optional<std::string>& clickString() const { return clickString_; }
    void setClickString(std::optional<std::string> s) { clickString_ = std::move(s); }

    // "prefix:value" of the kind; "" for this base class.
    virtual std::string deduplicationID() const { return {}; }
    std::string pingDeduplicationKey() const override;

    // Not repeatable: not once the flag is set, nor while a ping with the same flag is pending.
    bool shouldReport() override;
    // "lat", "value" and, when both are set, "gclid" and "ai".
    platform::Value queryParameters() override;
    std::string queryParameterSeparator() override { return "&"; }
    std::string reportingURLPrefix() override;
    void pingDidSucceed(const std::shared_ptr<ACTPinger>& pinger) override;
    void ping(const std::shared_ptr<ACTPinger>& pinger, const platform::Error& error) override;

    // Click referrers: stores {"gclid", "ai"} under the "conv" identifier's key; false for missing parts
    // or when 100 identifiers already have one (an existing one is still replaced).
    static bool saveReferrerComponents(const std::optional<platform::Value>& components);
    static std::string clickReferrerUserDefaultKey(const std::string& conversionID);
    static std::optional<platform::Value> referrerComponentsForReferrerKeyWithSuffix(const std::string& suffix);

    ACTConversionReporterPrivate() = default;

protected:
    // False for an empty suffix.
    bool initialise(const std::optional<std::string>& value, const std::string& referrerKeySuffix, bool isRepeatable);

private:
    static std::mutex& referrerLock();

    bool isRepeatable_ = true;
    std::optional<std::string> value_;
    std::optional<std::string> clickID_;
    std::optional<std::string> clickString_;
};

} // namespace ruzave
