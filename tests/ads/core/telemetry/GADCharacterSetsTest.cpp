#include <doctest/doctest.h>

#include "ads/core/telemetry/GADCharacterSets.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADCharacterRangesFromSetting;
using ruzave::GADCharacterSet;
using ruzave::GADCharacterSets;

TEST_CASE("GADCharacterSets: range settings decode only well-formed in-range pairs") {
    auto ranges = GADCharacterRangesFromSetting("[[19968, 100]]");
    REQUIRE(ranges);
    CHECK(ranges->size() == 1);
    CHECK(GADCharacterRangesFromSetting("[]"));
    CHECK_FALSE(GADCharacterRangesFromSetting("[[19968]]"));
    CHECK_FALSE(GADCharacterRangesFromSetting("[[19968, 100, 1]]"));
    CHECK_FALSE(GADCharacterRangesFromSetting("[[\"a\", 1]]"));
    CHECK_FALSE(GADCharacterRangesFromSetting("{\"a\": 1}"));
    CHECK_FALSE(GADCharacterRangesFromSetting("[[1, 2"));
    CHECK_FALSE(GADCharacterRangesFromSetting(42));
    CHECK_FALSE(GADCharacterRangesFromSetting("[[-5, 10]]"));
    CHECK_FALSE(GADCharacterRangesFromSetting("[[100, -10]]"));
    CHECK_FALSE(GADCharacterRangesFromSetting("[[1114111, 2]]"));
    CHECK(GADCharacterRangesFromSetting("[[1114111, 1]]"));
}

TEST_CASE_FIXTURE(Harness, "GADCharacterSets: settings replace the default sets and malformed ones restore them") {
    auto sets = GADCharacterSets::sharedInstance();
    auto defaults = platform::UserDefaults::standard();
    // Without settings the defaults hold.
    sets->updateCharacterSets();
    CHECK(sets->characterDelimitedSet()->characterIsMember(0xAC00));
    CHECK(sets->spaceDelimitedSet()->characterIsMember(U'a'));
    CHECK(sets->spaceDelimitedSet()->characterIsMember(U'7'));
    CHECK_FALSE(sets->spaceDelimitedSet()->characterIsMember(U','));

    defaults->set("/ruzave/ads/character_delimited_unicode_range", "[[19968, 100]]");
    defaults->set("/ruzave/ads/space_delimited_unicode_range", "[[97, 3]]");
    sets->updateCharacterSets();
    CHECK(sets->characterDelimitedSet()->characterIsMember(19968 + 99));
    CHECK_FALSE(sets->characterDelimitedSet()->characterIsMember(19968 + 100));
    CHECK_FALSE(sets->characterDelimitedSet()->characterIsMember(0xAC00));
    CHECK(sets->spaceDelimitedSet()->characterIsMember(U'c'));
    CHECK_FALSE(sets->spaceDelimitedSet()->characterIsMember(U'd'));

    // An absent key leaves its set as it was.
    defaults->remove("/ruzave/ads/space_delimited_unicode_range");
    defaults->set("/ruzave/ads/character_delimited_unicode_range", "[[19968]]");
    sets->updateCharacterSets();
    CHECK(sets->characterDelimitedSet()->characterIsMember(0xAC00));
    CHECK_FALSE(sets->spaceDelimitedSet()->characterIsMember(U'd'));

    defaults->set("/ruzave/ads/space_delimited_unicode_range", "[[2000000, 5]]");
    defaults->remove("/ruzave/ads/character_delimited_unicode_range");
    sets->updateCharacterSets();
    CHECK(sets->spaceDelimitedSet()->characterIsMember(U'd'));
}
