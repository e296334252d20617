#pragma once
// Digests and cryptographic randomness (OpenSSL). Free functions; any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Lower-case hex MD5 of the bytes.
std::string md5Hex(const std::vector<std::uint8_t>& bytes);
std::string md5Hex(std::string_view text);
// `count` cryptographically random bytes.
std::vector<std::uint8_t> randomBytes(size_t count);
// Uniform in [0, upperBound) without modulo bias; 0 when upperBound is 0 or 1.
std::uint32_t uniformRandom(std::uint32_t upperBound);
// A random (version 4) UUID in upper-case hex, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string uuidString();

} // namespace platform
