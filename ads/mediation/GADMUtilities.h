#pragma once
// Mediation ping templates: "@keyword@" fields filled with the values of the moment, and the sending of
// a list of templates through the pinger. Any thread.
#include <optional>
#include <string>

#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADMUtilities {
  public:
    // The built-in templates on the ping host.
    static std::string defaultNoFillTemplate();
    static std::string defaultClickTemplate();
    static std::string defaultImpressionTemplate();

    // mediationURLFrom:adLocationID:adNetworkRefresh:allocationID:adNetworkID:qData:sessionID:
    // sequenceNumber:exitCodes:durations: — every known keyword is replaced in one pass, values go in
    // verbatim and are never scanned again; a keyword without a value stays as it is. nullopt when the
    // result is empty or no URL.
    static std::optional<platform::URL> mediationURLFrom(
        const std::string& urlTemplate, const std::optional<std::string>& adLocationID, bool adNetworkRefresh,
        const std::optional<std::string>& allocationID, const std::optional<std::string>& adNetworkID,
        const std::optional<std::string>& qData, const std::optional<std::string>& sessionID,
        const std::optional<std::string>& sequenceNumber, const std::optional<std::string>& exitCodes,
        const std::optional<std::string>& durations);

    // trackMediationURLsFromTemplates:defaultTemplate:... of the click tracker collection: each string
    // template gets a new sequence number and the session's identifier, and its URL is pinged. A missing
    // list falls back to the default template; an empty list pings nothing.
    static void trackMediationURLsFromTemplates(
        const std::optional<platform::Value>& templates, const std::optional<std::string>& defaultTemplate,
        const std::optional<std::string>& networkID, const std::optional<std::string>& allocationID,
        const std::optional<std::string>& qData, const std::optional<std::string>& appKey, bool refresh,
        const std::optional<std::string>& durations, const std::optional<std::string>& exitCodes);
};

} // namespace ruzave
