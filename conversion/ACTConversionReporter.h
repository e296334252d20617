#pragma once
// The public conversion reporter: a conversion identifier and label, or an in-app purchase's product
// identifier, with a value and a repeatable flag; also registers click referrers. Caller's thread.
#include <memory>
#include <optional>
#include <string>

#include "conversion/ACTReporter.h"
#include "platform/base/URL.h"

namespace ruzave {

class ACTConversionReporterPrivate;

class ACTConversionReporter : public ACTReporter {
public:
    // nullptr for an empty identifier.
    static std::shared_ptr<ACTConversionReporter> initWithConversionID(const std::string& conversionID,
                                                                       const std::optional<std::string>& label,
                                                                       const std::optional<std::string>& value,
                                                                       bool isRepeatable);
    static std::shared_ptr<ACTConversionReporter> initWithProductID(const std::string& productID,
                                                                    const std::optional<std::string>& value,
                                                                    bool isRepeatable);
    // Make, report and drop one reporter.
    static void reportWithConversionID(const std::string& conversionID, const std::optional<std::string>& label,
                                       const std::optional<std::string>& value, bool isRepeatable);
    static void reportWithProductID(const std::string& productID, const std::optional<std::string>& value,
                                    bool isRepeatable);
    // Stores the click referrer the URL carries; true when one was stored.
    static bool registerReferrer(const platform::URL& url);

    std::optional<std::string> value() const;
    void setValue(std::optional<std::string> value);

    explicit ACTConversionReporter(std::shared_ptr<ACTConversionReporterPrivate> reporter);

private:
    std::shared_ptr<ACTConversionReporterPrivate> conversion_;
};

} // namespace ruzave
