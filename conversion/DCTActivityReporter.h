#pragma once
// The public activity reporter of the second network. Caller's thread.
#include <memory>
#include <optional>
#include <string>

#include "conversion/ACTReporter.h"
#include "platform/base/Value.h"

namespace ruzave {

class DCTActivityReporterPrivate;

class DCTActivityReporter : public ACTReporter {
public:
    // nullptr without an ad unit.
    static std::shared_ptr<DCTActivityReporter> initWithAdUnitID(const std::optional<std::string>& adUnitID,
                                                                 const std::optional<std::string>& publisherProvidedID,
                                                                 const platform::Value& customParameters);
    static void reportWithAdUnitID(const std::optional<std::string>& adUnitID,
                                   const std::optional<std::string>& publisherProvidedID,
                                   const platform::Value& customParameters);

    explicit DCTActivityReporter(std::shared_ptr<DCTActivityReporterPrivate> reporter);
};

} // namespace ruzave
