#pragma once
// The library's simple entry points, which forward to the reporters. Caller's thread.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

class RuzaveConversionPing {
public:
    static void pingWithConversionId(const std::string& conversionID, const std::optional<std::string>& label,
                                     const std::optional<std::string>& value, bool isRepeatable);
    // `idfaOnly` is ignored.
    static void pingWithConversionId(const std::string& conversionID, const std::optional<std::string>& label,
                                     const std::optional<std::string>& value, bool isRepeatable, bool idfaOnly);
    // Type 0: a conversion; 1: the second network's conversion (without the label); others: nothing.
    static void pingWithConversionId(const std::string& conversionID, std::int32_t type,
                                     const std::optional<std::string>& label, const std::optional<std::string>& value,
                                     bool isRepeatable);
    // A remarketing report; a non-empty screen name is added as "screen_name". The label is not used.
    static void pingRemarketingWithConversionId(const std::string& conversionID, const std::optional<std::string>& label,
                                                const std::optional<std::string>& screenName,
                                                const platform::Value& customParameters);
    static bool registerReferrer(const platform::URL& url);
    static const std::string& sdkVersion();
};

} // namespace ruzave
