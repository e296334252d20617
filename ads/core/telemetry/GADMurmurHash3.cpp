#include "ads/core/telemetry/GADMurmurHash3.h"

namespace ruzave {

namespace {

constexpr std::uint32_t kC1 = 0xcc9e2d51;
constexpr std::uint32_t kC2 = 0x1b873593;

constexpr std::uint32_t rotl32(std::uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

constexpr std::uint32_t mixBlock(std::uint32_t k) {
    k *= kC1;
    k = rotl32(k, 15);
    return k * kC2;
}

} // namespace

std::uint32_t GADMurmurHash3(const void* data, std::size_t length, std::uint32_t seed) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr) {
        length = 0;
    }
    std::uint32_t h = seed;
    const std::size_t blocks = length / 4;
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::uint8_t* p = bytes + i * 4;
        const std::uint32_t k = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        h ^= mixBlock(k);
        h = rotl32(h, 13);
        h = h * 5 + 0xe6546b64;
    }
    const std::uint8_t* tail = bytes + blocks * 4;
    std::uint32_t k = 0;
    switch (length & 3) {
    case 3:
        k ^= static_cast<std::uint32_t>(tail[2]) << 16;
        [[fallthrough]];
    case 2:
        k ^= static_cast<std::uint32_t>(tail[1]) << 8;
        [[fallthrough]];
    case 1:
        k ^= tail[0];
        h ^= mixBlock(k);
        break;
    default:
        break;
    }
    h ^= static_cast<std::uint32_t>(length);
    h ^= h >> 16;
    h *= 0x85ebca6b;
    h ^= h >> 13;
    h *= 0xc2b2ae35;
    h ^= h >> 16;
    return h;
}

} // namespace ruzave
