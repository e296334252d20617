#include <doctest/doctest.h>

#include "ads/core/telemetry/GADStatisticsCore.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADStatisticsCore;

TEST_CASE_FIXTURE(Harness, "GADStatisticsCore: a store holding the wrong types reads as lists of strings") {
    auto defaults = platform::UserDefaults::standard();
    defaults->set("ruzave_stats_unit", platform::Value::parse(R"({"adapter_exit":"3,0","adapter_duration":[1,"2",{},null,2.5],"x":7})"));
    auto core = GADStatisticsCore::init();
    core->setIdentifier("unit");
    CHECK_FALSE(core->arrayForKey("adapter_exit").has_value());
    CHECK(core->arrayForKey("adapter_duration") == std::optional<std::vector<std::string>>({"1", "2"}));
    // A non-list under the key is replaced by a fresh one.
    core->appendStringToArrayForKey("4", "adapter_exit");
    CHECK(core->arrayForKey("adapter_exit") == std::optional<std::vector<std::string>>({"4"}));
    core->applicationWillTerminate();
    auto saved = defaults->dictionary("ruzave_stats_unit");
    REQUIRE(saved.has_value());
    CHECK((*saved)["adapter_exit"] == platform::Value::parse(R"(["4"])"));
}

TEST_CASE_FIXTURE(Harness, "GADStatisticsCore: saved lists win over in-memory ones and an empty identifier keeps changes in memory") {
    auto defaults = platform::UserDefaults::standard();
    defaults->set("ruzave_stats_a", platform::Value::parse(R"({"k":["saved"]})"));
    auto core = GADStatisticsCore::init();
    core->appendStringToArrayForKey("memory", "k");
    core->appendStringToArrayForKey("other", "j");
    core->setIdentifier("a");
    CHECK(core->userDefaultsKey() == std::optional<std::string>("ruzave_stats_a"));
    CHECK(core->arrayForKey("k") == std::optional<std::vector<std::string>>({"saved"}));
    CHECK(core->arrayForKey("j") == std::optional<std::vector<std::string>>({"other"}));

    core->setIdentifier("");
    CHECK_FALSE(core->userDefaultsKey().has_value());
    core->removeObjectForKey("k");
    core->applicationWillTerminate();
    CHECK(defaults->dictionary("ruzave_stats_a") == platform::Value::parse(R"({"k":["saved"]})"));
    CHECK_FALSE(core->arrayForKey("k").has_value());
}

TEST_CASE_FIXTURE(Harness, "GADStatisticsCore: a burst of changes is saved together when it is over or the identifier changes or the app terminates") {
    auto defaults = platform::UserDefaults::standard();
    auto core = GADStatisticsCore::init();
    core->setIdentifier("burst");
    for (int i = 0; i < 3000; ++i) core->appendStringToArrayForKey(std::to_string(i), "k");
    core->appendStringsToArrayForKey({"a", "b"}, "k");
    REQUIRE(core->arrayForKey("k").has_value());
    CHECK(core->arrayForKey("k")->size() == 3002);
    // Not one save per change: the burst is written once it is over.
    CHECK_FALSE(defaults->object("ruzave_stats_burst").has_value());
    advance(0.3);
    REQUIRE(runUntil([&] { return defaults->dictionary("ruzave_stats_burst").has_value(); }));
    auto saved = defaults->dictionary("ruzave_stats_burst");
    CHECK((*saved)["k"].size() == 3002);
    CHECK((*saved)["k"][3001] == "b");

    // Changes made under one identifier are saved under it when the identifier changes.
    core->appendStringToArrayForKey("c", "k");
    core->setIdentifier("next");
    CHECK(core->userDefaultsKey() == std::optional<std::string>("ruzave_stats_next"));
    CHECK((*defaults->dictionary("ruzave_stats_burst"))["k"].size() == 3003);

    core->removeObjectForKey("k");
    core->applicationWillTerminate();
    CHECK(defaults->dictionary("ruzave_stats_next") == platform::Value::object());
}

TEST_CASE_FIXTURE(Harness, "GADStatisticsCore: a burst of changes is on disk as soon as the app enters the background") {
    auto defaults = platform::UserDefaults::standard();
    auto core = GADStatisticsCore::init();
    core->setIdentifier("bg");
    for (int i = 0; i < 500; ++i) core->appendStringToArrayForKey(std::to_string(i), "k");
    auto onDisk = [&]() -> platform::Value {
        auto text = platform::Sandbox::readFile(defaults->filePath());
        auto parsed = text ? platform::parseJSON(*text) : std::nullopt;
        return parsed && parsed->is_object() ? parsed->value("ruzave_stats_bg", platform::Value()) : platform::Value();
    };
    REQUIRE(core->arrayForKey("k")->size() == 500);
    CHECK(onDisk().is_null());

    auto app = platform::Application::sharedApplication();
    app->enterForeground();
    app->becomeActive();
    // The clock stands still: only the move to the background writes it, as a phone may kill the app next.
    app->enterBackground();
    const platform::Value saved = onDisk();
    app->enterForeground();
    app->becomeActive();
    REQUIRE(saved.is_object());
    REQUIRE(saved["k"].size() == 500);
    CHECK(saved["k"][499] == "499");
}
