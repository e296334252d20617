#pragma once
// Turns one time recorder into a report URL and sends it as a GET; nothing is retried or stored.
// Any thread (responses arrive on the main loop).
#include <functional>
#include <memory>
#include <optional>

#include "ads/core/telemetry/GADCSIConfiguration.h"
#include "ads/core/telemetry/GADCSITimeRecorder.h"
#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/net/HTTPURLResponse.h"

namespace ruzave {

class GADCSIReporter {
  public:
    using Completion = std::function<void(const std::optional<platform::HTTPURLResponse>& response,
                                          const std::optional<platform::Error>& error)>;

    static std::shared_ptr<GADCSIReporter> initWithConfiguration(const std::shared_ptr<GADCSIConfiguration>& c);

    // The report of the recorder's valid completed variables, which leave the recorder; invalid ones are
    // dropped from it too. nullopt when nothing valid is left to report.
    std::optional<platform::URL> URLForTimeRecorder(const std::shared_ptr<GADCSITimeRecorder>& recorder);
    void reportTimeRecorder(const std::shared_ptr<GADCSITimeRecorder>& recorder, Completion completion);

    // Names a creative may give its extras: [A-Za-z0-9_.-], at most 64 characters.
    static bool isAcceptableParameterName(const std::string& name);

  private:
    GADCSIReporter() = default;
    std::shared_ptr<GADCSIConfiguration> configuration_;
};

} // namespace ruzave
