#pragma once
// The 32-bit x86 MurmurHash3 of a byte buffer, 4-byte blocks read little-endian. Pure; any thread.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ruzave {

std::uint32_t GADMurmurHash3(const void* data, std::size_t length, std::uint32_t seed);

inline std::uint32_t GADMurmurHash3(std::string_view bytes, std::uint32_t seed = 0) {
    return GADMurmurHash3(bytes.data(), bytes.size(), seed);
}

} // namespace ruzave
