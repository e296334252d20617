#include "tools/adserver/FaultyAds.h"

#include <doctest/doctest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tools/adserver/QueryString.h"

using adserver::FaultName;
using adserver::FaultyAdOptions;
using adserver::Request;
using adserver::Response;

namespace {

FaultyAdOptions options() {
    FaultyAdOptions o;
    o.host = "ads.ruzave.example";
    o.crossHost = "report.ruzave.example";
    o.customEventClasses = {"Filling", "Silent"};
    return o;
}

Request request(const std::string& slotname, const std::string& host = "ads.ruzave.example") {
    Request r;
    r.method = "GET";
    r.path = "/mads/gma";
    r.host = host;
    r.query = "slotname=" + slotname + "&request_id=7&js=v1";
    for (const auto& [name, value] : adserver::QueryString::parse(r.query)) r.params.emplace(name, value);
    return r;
}

Response answer(const std::string& fault, const std::string& host = "ads.ruzave.example") {
    return faultyAdResponse(request("chaos%2F" + fault, host), options());
}

std::string header(const Response& r, const std::string& name) {
    for (const auto& [n, v] : r.headers) {
        if (n == name) return v;
    }
    return {};
}

} // namespace

TEST_CASE("FaultName: the last segment of a slot name, with its trailing number split off") {
    CHECK(FaultName::parse("chaos/status-503").name == "status");
    CHECK(FaultName::parse("chaos/status-503").number == 503);
    CHECK(FaultName::parse("a/b/redirect-loop").name == "redirect-loop");
    CHECK(FaultName::parse("a/b/redirect-loop").number == 0);
    CHECK(FaultName::parse("mediation-garbage-12").name == "mediation-garbage");
    CHECK(FaultName::parse("mediation-garbage-12").number == 12);
    // A dash at the end, a number too long for 64 bits and a number with a sign are part of the name.
    CHECK(FaultName::parse("chaos/slow-").name == "slow-");
    CHECK(FaultName::parse("slow-99999999999999999999").name == "slow-99999999999999999999");
    CHECK(FaultName::parse("slow-+5").name == "slow-+5");
    CHECK(FaultName::parse("").name.empty());
}

TEST_CASE("FaultyAds: status, drop, truncation and delay faults") {
    CHECK(answer("status-503").status == 503);
    CHECK(answer("status-404").status == 404);
    // Outside what HTTP allows: a plain server error.
    CHECK(answer("status-7").status == 500);
    CHECK(answer("status-600").status == 500);
    CHECK(answer("drop").fault == adserver::Fault::Drop);
    Response cut = answer("truncate-5");
    CHECK(cut.fault == adserver::Fault::Truncate);
    CHECK(cut.truncateAt == 5);
    // The cut always falls inside the body.
    CHECK(answer("truncate-1000000").truncateAt < answer("truncate-1000000").body.size());
    CHECK(answer("slow-150").delay == std::chrono::milliseconds(150));
    CHECK(answer("slow-999999").delay == std::chrono::milliseconds(2000));
    CHECK(answer("no-such-fault").status == 400);
    // A plain answer has the banner headers and no refresh, so that a banner answers once per load.
    Response ok = answer("ok");
    CHECK(ok.status == 200);
    CHECK(header(ok, "X-Zudo-Ad-Size") == "320x50");
    CHECK(header(ok, "X-Zudo-Refresh-Rate").empty());
}

TEST_CASE("FaultyAds: redirects loop on one host, alternate between hosts, or lead where nothing is fetched") {
    Response loop = answer("redirect-loop");
    CHECK(loop.status == 302);
    CHECK(header(loop, "Location") == "https://ads.ruzave.example/mads/gma?slotname=chaos%2Fredirect-loop&request_id=7&js=v1");

    Response there = answer("redirect-pingpong");
    CHECK(header(there, "Location").rfind("https://report.ruzave.example/mads/gma?slotname=chaos%2Fredirect-pingpong", 0) == 0);
    Response back = answer("redirect-pingpong", "report.ruzave.example");
    CHECK(header(back, "Location").rfind("https://ads.ruzave.example/mads/gma?", 0) == 0);

    // Across hosts once, to a plain ad there.
    Response cross = answer("redirect-cross");
    CHECK(header(cross, "Location") == "https://report.ruzave.example/mads/gma?slotname=chaos%2Fok&request_id=7&js=v1");
    CHECK(answer("redirect-cross", "report.ruzave.example").status == 200);

    CHECK(header(answer("redirect-dead"), "Location").rfind("https://127.0.0.1:1/", 0) == 0);
    CHECK(header(answer("redirect-scheme"), "Location").rfind("ftp://", 0) == 0);
}

TEST_CASE("FaultyAds: garbage is the same bytes for the same number, and nesting is capped") {
    CHECK(adserver::seededBytes(42, 64) == adserver::seededBytes(42, 64));
    CHECK(adserver::seededBytes(42, 64) != adserver::seededBytes(43, 64));
    CHECK(adserver::seededBytes(1, 0).empty());
    Response garbage = answer("garbage-99");
    CHECK(garbage.body.size() == 100);
    CHECK(garbage.body == answer("garbage-99").body);

    Response nested = answer("nested-3");
    CHECK(nested.body == "<html><body><div><div><div>deep</div></div></div></body></html>");
    CHECK(answer("nested-9999999").body.size() < 3'000'000);
    Response json = answer("mediation-nested-4");
    CHECK(json.body == "[[[[]]]]");
    CHECK(header(json, "X-Zudo-Mediation") == "1");
}

TEST_CASE("FaultyAds: mediation answers name the listed custom events, or classes that do not exist") {
    auto network = [](const Response& r) { return nlohmann::json::parse(r.body)["ad_networks"][0]; };
    CHECK(network(answer("mediation-0"))["data"]["class_name"] == "Filling");
    CHECK(network(answer("mediation-3"))["data"]["class_name"] == "Silent");
    CHECK(network(answer("missing-adapter"))["adapters"][0] == "ChaosNoSuchAdapter");
    auto missing = network(answer("missing-custom-event"));
    CHECK(missing["adapters"][0] == "GADMAdapterCustomEvents");
    CHECK(missing["data"]["class_name"] == "ChaosNoSuchCustomEvent");
    // Without custom events to name, the route says so rather than answering with an index out of range.
    FaultyAdOptions none = options();
    none.customEventClasses.clear();
    CHECK(faultyAdResponse(request("chaos%2Fmediation-1"), none).status == 400);
}
