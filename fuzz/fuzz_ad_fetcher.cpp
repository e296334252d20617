// The ad fetcher against any answer a server may give: the input is the status code on its first
// line, header lines up to an empty line, then the body. Whatever arrives, the fetcher tells its
// delegate exactly once.
#include <charconv>

#include "ads/core/net/GADAdFetcher.h"
#include "ads/core/net/GADURLConnection.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADAd.h"
#include "fuzz/FuzzSupport.h"

namespace {

struct Answers : ruzave::GADAdFetcherDelegate {
    int calls = 0;
    void adFetcher(ruzave::GADAdFetcher&, const std::shared_ptr<ruzave::GADAd>&) override { ++calls; }
    void adFetcher(ruzave::GADAdFetcher&, const std::shared_ptr<ruzave::GADAd>&, const platform::Error&,
                   long) override {
        ++calls;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& harness = fuzz::harness();
    auto& canned = fuzz::CannedAnswers::install();
    auto [statusLine, rest] = fuzz::splitLine(fuzz::text(data, size));
    int status = 200;
    std::from_chars(statusLine.data(), statusLine.data() + statusLine.size(), status);
    if (status < 100 || status > 999) return 0;
    canned.status = status;
    canned.headers = {};
    while (!rest.empty()) {
        auto [line, next] = fuzz::splitLine(rest);
        rest = next;
        if (line.empty() || line == "\r") break;
        auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        auto value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        canned.headers.add(line.substr(0, colon), value);
    }
    canned.body = std::string(rest);

    ruzave::GADURLConnection::clearCache();
    auto answers = std::make_shared<Answers>();
    {
        auto fetcher = ruzave::GADAdFetcher::init();
        auto ad = ruzave::GADAd::init();
        ad->setAdURL(platform::URL::parse(std::string("https://") + ruzave::GADHosts::kAdServerHost + "/ad"));
        if (fetcher->fetchRemainingContentForAd(ad, std::nullopt, answers, nullptr, nullptr)) {
            harness.runUntil([&] { return answers->calls > 0; }, 5.0);
        }
        harness.runUntilIdle();
        fuzz::require(answers->calls == 1);
    }
    harness.runUntilIdle();
    return 0;
}
