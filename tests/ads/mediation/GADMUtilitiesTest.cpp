#include <doctest/doctest.h>

#include "ads/core/public/GADRequest.h"
#include "ads/mediation/GADMUtilities.h"

using ruzave::GADMUtilities;

namespace {
std::string expand(const std::string& t, std::optional<std::string> qdata = std::string("Q"),
                   std::optional<std::string> alloc = std::nullopt) {
    auto url = GADMUtilities::mediationURLFrom(t, std::string("unit"), false, alloc, std::string("net"), qdata,
                                               std::string("S"), std::string("7"), std::string("4,0"),
                                               std::string("5,6"));
    return url ? url->absoluteString() : "<none>";
}
} // namespace

TEST_CASE("GADMUtilities: keywords are replaced and doubled at-signs stay escapes") {
    CHECK(expand("https://p.example/x?a=@gw_qdata@&b=@@gw_qdata@@") == "https://p.example/x?a=Q&b=@@gw_qdata@@");
    CHECK(expand("https://p.example/?l=@gw_adlocid@&s=@gw_sessid@&n=@gw_seqnum@&d=@gw_devid@&r=@gw_adnetrefresh@"
                 "&id=@gw_adnetid@&e=@gw_aec@&t=@gw_adt@&v=@gw_sdkver@") ==
          "https://p.example/?l=unit&s=S&n=7&d=&r=0&id=net&e=4,0&t=5,6&v=" + ruzave::GADRequest::sdkVersion());
}

TEST_CASE("GADMUtilities: missing values and unknown keywords stay as they are") {
    CHECK(expand("https://p.example/?a=@gw_allocid@&u=@gw_unknown@") == "https://p.example/?a=@gw_allocid@&u=@gw_unknown@");
    CHECK(expand("https://p.example/?a=@gw_allocid@", std::string("Q"), std::string("A1")) == "https://p.example/?a=A1");
}

TEST_CASE("GADMUtilities: substituted values are never scanned again") {
    // A query data value that looks like a keyword goes in verbatim.
    CHECK(expand("https://p.example/?q=@gw_qdata@&x=1", std::string("@gw_adlocid@")) ==
          "https://p.example/?q=@gw_adlocid@&x=1");
}

TEST_CASE("GADMUtilities: an empty result or no URL gives none") {
    CHECK(expand("") == "<none>");
    CHECK(expand("@gw_devid@") == "<none>");
}

TEST_CASE("GADMUtilities: the built-in templates address the ping host") {
    CHECK(GADMUtilities::defaultNoFillTemplate().rfind("https://ping.ruzave.example/nofill?ad_loc=@gw_adlocid@", 0) == 0);
    CHECK(GADMUtilities::defaultClickTemplate().find("&nr=@gw_adnetrefresh@") != std::string::npos);
    CHECK(GADMUtilities::defaultImpressionTemplate().find("&adt=@gw_adt@&aec=@gw_aec@") != std::string::npos);
}
