#include "ads/mediation/GADMUtilities.h"

#include <utility>
#include <vector>

#include "ads/core/net/GADPinger.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADSession.h"

namespace ruzave {
namespace {

using Keywords = std::vector<std::pair<std::string, std::optional<std::string>>>;

std::size_t endOfAtRun(const std::string& text, std::size_t i) {
    while (i < text.size() && text[i] == '@') ++i;
    return i;
}

const std::optional<std::string>* lookup(const Keywords& keywords, std::string_view name) {
    for (const auto& [key, value] : keywords) {
        if (key == name) return &value;
    }
    return nullptr;
}

// One left-to-right pass with the escaping rules of the at-quoted templates: an opening "@" ends a run
// of odd length ("@@" pairs before it are escapes and stay), the keyword runs to the next "@", and the
// closing "@" may be followed by escaped pairs. Inserted values are never looked at again.
std::string replaceAll(const std::string& text, const Keywords& keywords) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0, i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        if (text[i] != '@') {
            ++i;
            continue;
        }
        const std::size_t runEnd = endOfAtRun(text, i);
        const std::size_t run = runEnd - i;
        const std::size_t close = runEnd < n ? text.find('@', runEnd) : std::string::npos;
        const std::optional<std::string>* value = nullptr;
        if (run % 2 == 1 && close != std::string::npos)
            value = lookup(keywords, std::string_view(text).substr(runEnd, close - runEnd));
        if (!value || !*value) {
            i = runEnd;
            continue;
        }
        const std::size_t closeRun = endOfAtRun(text, close) - close;
        const std::size_t closingPairs = (closeRun - 1) / 2;
        const std::size_t matchEnd = close + 2 * closingPairs + 1;
        out.append(text, copied, i - copied);
        out.append(run - 1, '@');
        out.append(**value);
        out.append(2 * closingPairs, '@');
        copied = matchEnd;
        i = endOfAtRun(text, matchEnd);
    }
    out.append(text, copied, std::string::npos);
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
        std::string sequence = application->nextSequenceNumberAsString();
        std::string session = application->currentSession()->uniqueID();
        auto url = mediationURLFrom(entry.get<std::string>(), appKey, refresh, allocationID, networkID, query,
                                    session, sequence, exitCodes, durations);
        if (!url) continue;
        GADPinger::sharedInstance()->pingURLString(url->absoluteString(), [](bool) {});
    }
}

} // namespace ruzave
