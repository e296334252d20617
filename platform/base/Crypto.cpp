#include "platform/base/Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>
#include <random>

#include "platform/base/Log.h"

namespace platform {
namespace {

std::string toHex(const unsigned char* data, size_t size) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(hex[data[i] >> 4]);
        out.push_back(hex[data[i] & 0xF]);
    }
    return out;
}

std::string md5(const void* data, size_t size) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data, size) != 1 || EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        logError("MD5: digest failed");
        return {};
    }
    return toHex(digest, length);
}

// The library's own clean-up at process exit would free its locks while a background thread (a ping
// retried at exit, a queue still drawing a random number) may be inside it. Initialised here first, at
// load time, it registers no such clean-up; the process's end frees everything anyway.
[[maybe_unused]] const bool kCryptoInitialised = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

void fillRandom(unsigned char* out, size_t count) {
    // RAND_bytes takes an int count; feed it in chunks.
    size_t done = 0;
    while (done < count) {
        const size_t chunk = std::min<size_t>(count - done, INT_MAX);
        if (RAND_bytes(out + done, static_cast<int>(chunk)) != 1) {
            // Practically unreachable; the kernel's source still beats returning fewer bytes.
            logError("random: RAND_bytes failed, using the system source");
            std::random_device device;
            for (size_t i = done; i < count; ++i)
                out[i] = static_cast<unsigned char>(device());
            return;
        }
        done += chunk;
    }
}

} // namespace

std::string md5Hex(const std::vector<std::uint8_t>& bytes) {
    return md5(bytes.data(), bytes.size());
}

std::string md5Hex(std::string_view text) {
    return md5(text.data(), text.size());
}

std::vector<std::uint8_t> randomBytes(size_t count) {
    std::vector<std::uint8_t> out(count);
    if (count > 0) fillRandom(out.data(), count);
    return out;
}

std::uint32_t uniformRandom(std::uint32_t upperBound) {
    if (upperBound < 2) return 0;
    // Reject the low values that would make some residues more likely: 2^32 mod bound of them.
    const std::uint32_t threshold = static_cast<std::uint32_t>(-upperBound) % upperBound;
    while (true) {
        std::uint32_t r = 0;
        fillRandom(reinterpret_cast<unsigned char*>(&r), sizeof r);
        if (r >= threshold) return r % upperBound;
    }
}

std::string uuidString() {
    unsigned char b[16];
    fillRandom(b, sizeof b);
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(hex[b[i] >> 4]);
        out.push_back(hex[b[i] & 0xF]);
    }
    return out;
}

} // namespace platform
