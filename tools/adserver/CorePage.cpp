#include "tools/adserver/CorePage.h"

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/adserver/AdServer.h"

#ifndef RUZAVE_ADSERVER_PAGES
#define RUZAVE_ADSERVER_PAGES "tools/adserver/pages"
#endif

namespace adserver {

namespace {

const char* answerName(CorePageScenario::Answer a) {
    using A = CorePageScenario::Answer;
    switch (a) {
    case A::AdURL: return "adURL";
    case A::Ad: return "ad";
    case A::Invalid: return "invalid";
    case A::Error: return "error";
    case A::None: return "none";
    case A::Late: return "late";
    case A::BrokenAd: return "brokenAd";
    case A::Twice: return "twice";
    case A::Garbage: return "garbage";
    case A::NavigateAway: return "navigateAway";
    case A::RunForever: return "runForever";
    case A::Fetch: return "fetch";
    }
    return "none";
}

nlohmann::ordered_json slotJSON(const CorePageScenario::SlotAnswer& a) {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["answer"] = answerName(a.answer);
    if (!a.url.empty()) j["url"] = a.url;
    auto ad = nlohmann::ordered_json::parse(a.fetchedAdJSON, nullptr, false);
    j["fetchedAd"] = ad.is_discarded() ? nlohmann::ordered_json::object() : ad;
    if (!a.fetchedAdText.empty()) j["fetchedAdText"] = a.fetchedAdText;
    if (!a.requestScenario.empty()) j["requestScenario"] = a.requestScenario;
    j["autoClickProtection"] = a.autoClickProtection;
    j["errors"] = a.errors;
    j["lateMs"] = a.lateMs;
    return j;
}

std::string readPage() {
    std::ifstream in(std::string(RUZAVE_ADSERVER_PAGES) + "/sdk-core-v40.html", std::ios::binary);
    if (!in) return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

std::string corePageHTML(const CorePageScenario& scenario) {
    static const std::string page = readPage();
    if (page.empty()) return {};
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["adBase"] = scenario.adBase;
    j["answerConstants"] = scenario.answerConstants;
    nlohmann::ordered_json constants = nlohmann::ordered_json::object();
    for (const auto& [k, v] : scenario.constants) constants[k] = v;
    j["constants"] = constants;
    nlohmann::ordered_json slots = nlohmann::ordered_json::object();
    for (const auto& [name, a] : scenario.slots) slots[name] = slotJSON(a);
    j["slots"] = slots;
    j["fallback"] = slotJSON(scenario.fallback);
    // ASCII-only JSON, and no "</" that would end the script element early.
    std::string json = j.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
    for (std::size_t at = json.find("</"); at != std::string::npos; at = json.find("</", at + 3)) json.replace(at, 2, "<\\/");
    std::string html = page;
    const std::string marker = "/*ZUDO_SCENARIO*/null";
    std::size_t at = html.find(marker);
    if (at == std::string::npos) return {};
    html.replace(at, marker.size(), json);
    return html;
}

void installCorePage(AdServer& server, const CorePageScenario& scenario) {
    std::string html = corePageHTML(scenario);
    int status = html.empty() ? 500 : scenario.pageStatus;
    auto delay = std::chrono::milliseconds(scenario.pageDelayMs);
    server.routeHost(scenario.host, scenario.path, [html, status, delay](const Request&) {
        Response r = Response::html(html, status);
        r.delay = delay;
        return r;
    });
}

} // namespace adserver
