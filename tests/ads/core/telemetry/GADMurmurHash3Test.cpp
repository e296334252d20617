#include <doctest/doctest.h>

#include <string>

#include "ads/core/telemetry/GADMurmurHash3.h"

using ruzave::GADMurmurHash3;

TEST_CASE("GADMurmurHash3: published x86 32-bit values for every tail length and seed") {
    CHECK(GADMurmurHash3("", 0) == 0u);
    CHECK(GADMurmurHash3("", 1) == 0x514E28B7u);
    CHECK(GADMurmurHash3("", 0xFFFFFFFFu) == 0x81F16F39u);
    CHECK(GADMurmurHash3("hello", 0) == 0x248BFA47u);
    CHECK(GADMurmurHash3("Hello, world!", 1234) == 0xFAF6CDB3u);
    CHECK(GADMurmurHash3("The quick brown fox jumps over the lazy dog", 0) == 0x2E4FF723u);
    // Blocks are read little-endian whatever the alignment of the buffer.
    const std::string shifted = "xhello";
    CHECK(GADMurmurHash3(shifted.data() + 1, 5, 0) == 0x248BFA47u);
    CHECK(GADMurmurHash3(nullptr, 8, 0) == 0u);
}
