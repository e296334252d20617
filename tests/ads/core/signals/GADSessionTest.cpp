#include <doctest/doctest.h>

#include "ads/core/signals/GADSession.h"

using namespace ruzave;

TEST_CASE("GADSession: identifiers are distinct unsigned decimals") {
    auto a = GADSession::init();
    auto b = GADSession::init();
    CHECK(a->uniqueID() != b->uniqueID());
    for (const auto& id : {a->uniqueID(), b->uniqueID()}) {
        REQUIRE_FALSE(id.empty());
        CHECK(id.size() <= 20);
        CHECK(id.find_first_not_of("0123456789") == std::string::npos);
        CHECK((id == "0" || id[0] != '0'));
    }
}
