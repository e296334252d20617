#include "platform/ui/Device.h"

using namespace platform;

TEST_CASE("Device: fixed facts and a settable system version read as a triple") {
    auto d = Device::currentDevice();
    CHECK(d->model() == "iPhone");
    CHECK(d->machine() == "iPhone5,2");
    CHECK(d->systemName() == "iPhone OS");
    CHECK(d->systemVersion() == "9.3");
    CHECK(d->systemVersionTriple() == std::array<int, 3>{9, 3, 0});
    d->setSystemVersion("7.1");
    CHECK(d->systemVersionTriple() == std::array<int, 3>{7, 1, 0});
    CHECK(d->isSystemVersionAtLeast("7.0"));
    CHECK(d->isSystemVersionAtLeast("7.1.0"));
    CHECK_FALSE(d->isSystemVersionAtLeast("8.0"));
    d->setSystemVersion("10.0.2");
    CHECK(d->isSystemVersionAtLeast("9.0")); // numeric, not textual
    CHECK(Device::parseVersion("garbage") == std::array<int, 3>{0, 0, 0});
    CHECK(Device::parseVersion("6.x") == std::array<int, 3>{6, 0, 0});
    CHECK(int(d->userInterfaceIdiom()) == 0);
    CHECK(int(UserInterfaceIdiom::Pad) == 1);
    CHECK(int(UserInterfaceIdiom::Unspecified) == -1);
}

TEST_CASE("Device: the identifier for vendor is a UUID stable within the process") {
    auto d = Device::currentDevice();
    std::string id = d->identifierForVendor();
    CHECK(id.size() == 36);
    CHECK(id[8] == '-');
    CHECK(d->identifierForVendor() == id);
}
