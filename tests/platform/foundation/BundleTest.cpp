#include <doctest/doctest.h>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Sandbox.h"
#include "platform/testing/Harness.h"

using platform::Bundle;
using platform::Value;

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "Bundle: info keys are settable and a non-dictionary is refused") {
    auto bundle = Bundle::mainBundle();
    CHECK(bundle->identifier() == "com.ruzave.demo");
    bundle->setValue("CFBundleVersion", "7.3");
    CHECK(bundle->version() == "7.3");
    bundle->setValue("CFBundleVersion", nullptr);
    CHECK(bundle->version().empty());
    CHECK_FALSE(bundle->objectForInfoKey("CFBundleVersion").has_value());

    CHECK_FALSE(bundle->setInfoDictionary(Value::array()));
    CHECK(bundle->identifier() == "com.ruzave.demo");
    // A non-string value reads as empty through the typed accessors, but whole through the dictionary.
    REQUIRE(bundle->setInfoDictionary(Value{{"CFBundleName", 5}}));
    CHECK(bundle->name().empty());
    CHECK(bundle->objectForInfoKey("CFBundleName") == Value(5));

    bool isDirectory = false;
    CHECK(platform::Sandbox::fileExists(bundle->path(), &isDirectory));
    CHECK(isDirectory);
    CHECK(bundle->path().rfind(home(), 0) == 0);
}
