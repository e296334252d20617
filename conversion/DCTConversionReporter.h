#pragma once
// The public conversion reporter of the second network. Caller's thread.
#include <memory>
#include <optional>
#include <string>

#include "conversion/ACTReporter.h"

namespace ruzave {

class DCTConversionReporterPrivate;

class DCTConversionReporter : public ACTReporter {
public:
    // nullptr for an empty identifier.
    static std::shared_ptr<DCTConversionReporter> initWithConversionID(const std::string& conversionID,
                                                                       const std::optional<std::string>& value,
                                                                       bool isRepeatable);
    static void reportWithConversionID(const std::string& conversionID, const std::optional<std::string>& value,
                                       bool isRepeatable);

    std::optional<std::string> value() const;
    void setValue(std::optional<std::string> value);

    explicit DCTConversionReporter(std::shared_ptr<DCTConversionReporterPrivate> reporter);

private:
    std::shared_ptr<DCTConversionReporterPrivate> conversion_;
};

} // namespace ruzave
