#include "ads/mediation/GADMUtilities.h"

#include <utility>
#include <vector>

#include "ads/core/net/GADPinger.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADSession.h"
#include "ads/core/util/GADReplaceContentAdditions.h"

namespace ruzave {
namespace {

using Keywords = std::vector<std::pair<std::string, std::optional<std::string>>>;

std::string replaceAll(const std::string& text, const Keywords& keywords) {
    std::string out = text;
    gad_replaceAtQuotedKeywords(out, [&](std::string_view name) -> std::optional<std::string_view> {
        for (const auto& [key, value] : keywords) {
            if (key == name) return value ? std::optional<std::string_view>(*value) : std::nullopt;
        }
        return std::nullopt;
    });
    return out;
}

std::string pingHostURL(const char* pathAndQuery) {
    return std::string("https://") + GADHosts::kPingHost + pathAndQuery;
}

} // namespace

std::string GADMUtilities::defaultNoFillTemplate() {
    return pingHostURL("/nofill?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&js=@gw_sdkver@&session_id=@gw_sessid@"
                       "&seq_num=@gw_seqnum@&aec=@gw_aec@&adt=@gw_adt@");
}

std::string GADMUtilities::defaultClickTemplate() {
    return pingHostURL("/clk?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&ad_network_id=@gw_adnetid@&js=@gw_sdkver@"
                       "&session_id=@gw_sessid@&seq_num=@gw_seqnum@&nr=@gw_adnetrefresh@");
}

std::string GADMUtilities::defaultImpressionTemplate() {
    return pingHostURL("/imp?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&ad_network_id=@gw_adnetid@&js=@gw_sdkver@"
                       "&session_id=@gw_sessid@&seq_num=@gw_seqnum@&nr=@gw_adnetrefresh@&adt=@gw_adt@"
                       "&aec=@gw_aec@");
}

std::optional<platform::URL> GADMUtilities::mediationURLFrom(
    const std::string& urlTemplate, const std::optional<std::string>& adLocationID, bool adNetworkRefresh,
    const std::optional<std::string>& allocationID, const std::optional<std::string>& adNetworkID,
    const std::optional<std::string>& qData, const std::optional<std::string>& sessionID,
    const std::optional<std::string>& sequenceNumber, const std::optional<std::string>& exitCodes,
    const std::optional<std::string>& durations) {
    const Keywords keywords = {
        {"gw_adlocid", adLocationID},
        {"gw_qdata", qData},
        {"gw_sdkver", GADRequest::sdkVersion()},
        {"gw_sessid", sessionID},
        {"gw_seqnum", sequenceNumber},
        {"gw_devid", std::string()},
        {"gw_adnetrefresh", std::string(adNetworkRefresh ? "1" : "0")},
        {"gw_adnetid", adNetworkID},
        {"gw_allocid", allocationID},
        {"gw_aec", exitCodes},
        {"gw_adt", durations},
    };
    std::string expanded = replaceAll(urlTemplate, keywords);
    if (expanded.empty()) return std::nullopt;
    return platform::URL::parse(expanded);
}

void GADMUtilities::trackMediationURLsFromTemplates(
    const std::optional<platform::Value>& templates, const std::optional<std::string>& defaultTemplate,
    const std::optional<std::string>& networkID, const std::optional<std::string>& allocationID,
    const std::optional<std::string>& qData, const std::optional<std::string>& appKey, bool refresh,
    const std::optional<std::string>& durations, const std::optional<std::string>& exitCodes) {
    platform::Value list = platform::Value::array();
    if (templates && templates->is_array()) {
        list = *templates;
    } else if (!templates && defaultTemplate) {
        list.push_back(*defaultTemplate);
    }
    const std::string query = qData.value_or(std::string());
    auto application = GADApplication::sharedInstance();
    for (const auto& entry : list) {
        if (!entry.is_string()) continue;
        // One number per template: two pings of one list never share a sequence number.
        std::string sequence = application->nextUniqueSequenceNumberAsString();
        std::string session = application->currentSession()->uniqueID();
        auto url = mediationURLFrom(entry.get<std::string>(), appKey, refresh, allocationID, networkID, query,
                                    session, sequence, exitCodes, durations);
        if (!url) continue;
        GADPinger::sharedInstance()->pingURLString(url->absoluteString(), [](bool) {});
    }
}

} // namespace ruzave
