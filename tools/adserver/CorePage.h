#pragma once
// The SDK-core page as the local server serves it, with the scenario a test or the demo gives: what it
// answers for which ad unit ("slotname"), which constants it pushes, and the faults it shows. The
// scenario is written into the page as JSON; the page's script (pages/sdk-core-v40.html) reads it.
// Any thread.
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace adserver {

class AdServer;

struct CorePageScenario {
    enum class Answer {
        AdURL,        // "loadAdURL" with an ad URL
        Ad,           // "loadAd" with `fetchedAdJSON`
        Invalid,      // "invalidRequest"
        Error,        // "loadAdURL" with "errors"
        None,         // no answer at all
        Late,         // "loadAdURL" after `lateMs` on the page's timers
        BrokenAd,     // "loadAd" whose "fetched_ad" is not JSON (or `fetchedAdText`)
        Twice,        // "loadAdURL", twice
        Garbage,      // malformed gmsg messages and unknown ids
        NavigateAway, // navigates the page elsewhere
        RunForever,   // a script that never returns
        Fetch,        // has the SDK fetch the ad URL ("fetchHttpRequest"), then "loadAd" with the body
                      // as "ad_html" on the ad URL as base, or "invalidRequest" when the fetch fails
    };
    struct SlotAnswer {
        Answer answer = Answer::AdURL;
        std::string url;             // the ad URL (default: the ad host's "/mads/gma" with the slot)
        std::string fetchedAdJSON = "{}";
        std::string fetchedAdText;   // BrokenAd: the text sent as "fetched_ad"
        std::string requestScenario; // "request_scenario", when not empty
        bool autoClickProtection = false;
        std::string errors = "invalid request";
        int lateMs = 1000;
    };

    std::string host = "sdkcore.ruzave.example";  // the SDK-core host the page is routed on
    std::string path = "/mads/static/sdk/native/sdk-core-v40.html";
    std::string adBase = "https://ads.ruzave.example";  // where default ad URLs point
    std::map<std::string, SlotAnswer> slots;  // by "slotname"
    SlotAnswer fallback;                      // for every other slot
    // "loadSdkConstants" parameters, as strings (JSON-valued constants carry JSON text).
    std::vector<std::pair<std::string, std::string>> constants;
    bool answerConstants = true;
    int pageStatus = 200;  // the page's own HTTP status
    int pageDelayMs = 0;   // real-time delay before the page is served

    static SlotAnswer answer(Answer kind) {
        SlotAnswer a;
        a.answer = kind;
        return a;
    }
};

// The page's HTML with the scenario written in; "" when the page file cannot be read.
std::string corePageHTML(const CorePageScenario& scenario);
// Routes the scenario's path on its host (replacing an earlier core page).
void installCorePage(AdServer& server, const CorePageScenario& scenario);

} // namespace adserver
