#include <doctest/doctest.h>

#include <cstdlib>

#include "NetTestSupport.h"

using namespace platform;
using nettest::Recorder;
using nettest::ServerFixture;
using Mapping = NetworkConfiguration::HostMapping;

TEST_CASE("NetworkConfiguration: host mappings read both connect-to forms and refuse malformed ones whole") {
    auto config = NetworkConfiguration::sharedInstance();
    config->reset();
    REQUIRE(config->setHostMappings("Ads.Ruzave.Example:443:127.0.0.1:8443, b.example:80=127.0.0.1:8080,"));
    CHECK(config->hostMappings() ==
          std::vector<Mapping>{{"ads.ruzave.example", 443, "127.0.0.1", 8443}, {"b.example", 80, "127.0.0.1", 8080}});
    CHECK(config->connectToEntries() ==
          std::vector<std::string>{"ads.ruzave.example:443:127.0.0.1:8443", "b.example:80:127.0.0.1:8080"});

    for (const char* bad : {"host:443", "host:0:127.0.0.1:1", "host:443:127.0.0.1:70000", ":443:127.0.0.1:1",
                            "host:x:127.0.0.1:1", "host:443=127.0.0.1", "a:1:b:2:c"}) {
        CAPTURE(bad);
        Error error;
        CHECK_FALSE(config->setHostMappings(std::string("ok.example:1:127.0.0.1:2,") + bad, &error));
        CHECK_FALSE(error.description.empty());
        CHECK(config->hostMappings().size() == 2);  // unchanged
    }

    // A later mapping of the same host and port replaces the earlier one.
    config->addHostMapping("b.example", 80, "127.0.0.2", 9090);
    CHECK(config->hostMappings().back() == Mapping{"b.example", 80, "127.0.0.2", 9090});
    CHECK(config->hostMappings().size() == 2);
}

TEST_CASE("NetworkConfiguration: reset goes back to the environment and the default user agent") {
    ::setenv("RUZAVE_CONNECT_TO", "ads.ruzave.example:443:127.0.0.1:9443", 1);
    ::setenv("RUZAVE_CA_FILE", "/tmp/ca.pem", 1);
    auto config = NetworkConfiguration::sharedInstance();
    config->setUserAgent("Other/1");
    config->setTrustedCAFile("");
    auto before = config->generation();
    config->reset();
    CHECK(config->generation() > before);
    CHECK(config->hostMappings() == std::vector<Mapping>{{"ads.ruzave.example", 443, "127.0.0.1", 9443}});
    CHECK(config->trustedCAFile() == "/tmp/ca.pem");
    CHECK(config->userAgent() == NetworkConfiguration::defaultUserAgent());

    ::setenv("RUZAVE_CONNECT_TO", "garbage", 1);
    config->reset();
    CHECK(config->hostMappings().empty());
    ::unsetenv("RUZAVE_CONNECT_TO");
    ::unsetenv("RUZAVE_CA_FILE");
}

TEST_CASE_FIXTURE(ServerFixture, "NetworkConfiguration: mapped hosts keep their name for Host and certificate, and requests carry the set user agent") {
    NetworkConfiguration::sharedInstance()->setUserAgent("RuzaveTest/2.0");
    server->route("/who", [](const adserver::Request& r) { return adserver::Response::text(r.host); });
    auto recorder = std::make_shared<Recorder>();
    auto connection = URLConnection::create(request("/who", nettest::OtherHost), recorder, platform::TransferOrigin::app());
    REQUIRE(nettest::runToEnd(*this, *recorder));
    CHECK(recorder->body == nettest::OtherHost);
    CHECK(server->requests("/who").at(0).header("user-agent") == "RuzaveTest/2.0");

    // Without the mapping the name does not lead to the local server.
    NetworkConfiguration::sharedInstance()->removeAllHostMappings();
    auto unmapped = std::make_shared<Recorder>();
    auto c2 = URLConnection::create(request("/who", "unmapped.invalid"), unmapped, platform::TransferOrigin::app());
    REQUIRE(nettest::runToEnd(*this, *unmapped));
    CHECK(unmapped->failures == 1);
    CHECK(server->requestCount("/who") == 1);
}
