#include "ads/core/telemetry/GADContent.h"

#include <algorithm>

#include "ads/core/signals/GAD_GTMStringEncoding.h"
#include "ads/core/telemetry/GADCharacterSets.h"
#include "ads/core/telemetry/GADMurmurHash3.h"
#include "platform/base/Crypto.h"
#include "platform/base/Unicode.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {

namespace {

constexpr const char* kContentAgeWeightKey = "/ruzave/ads/content_age_weight";
constexpr const char* kContentLengthWeightKey = "/ruzave/ads/content_length_weight";
constexpr const char* kMaximumShingleCountKey = "/ruzave/ads/maximum_shingle_count";
constexpr const char* kMinimumParagraphLengthKey = "/ruzave/ads/minimum_paragraph_length";
constexpr const char* kShingleLengthKey = "/ruzave/ads/shingle_length";

std::size_t utf16Length(const std::vector<char32_t>& codePoints) {
    std::size_t length = 0;
    for (char32_t c : codePoints) {
        length += c > 0xFFFF ? 2 : 1;
    }
    return length;
}

// UTF-8 of UTF-16 units; surrogates without their partner cannot be converted and are lost.
std::string utf8FromUTF16(const std::u16string& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            platform::appendUTF8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (unit < 0xD800 || unit > 0xDFFF) {
            platform::appendUTF8(out, unit);
        }
    }
    return out;
}

std::uint8_t xorOfBytes(std::uint32_t hash) {
    return static_cast<std::uint8_t>((hash ^ (hash >> 8) ^ (hash >> 16) ^ (hash >> 24)) & 0xFF);
}

std::uint8_t hexDigitValue(char c) {
    return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
}

} // namespace

int GADShingleHashTuple::compare(const GADShingleHashTuple& a, const GADShingleHashTuple& b) {
    if (a.shingle_.size() != b.shingle_.size()) {
        return a.shingle_.size() < b.shingle_.size() ? -1 : 1;
    }
    if (a.hashValue_ != b.hashValue_) {
        return a.hashValue_ < b.hashValue_ ? -1 : 1;
    }
    return 0;
}

GADContent::GADContent(std::uint32_t sequenceNumber) : sequenceNumber_(sequenceNumber) {
    auto defaults = platform::UserDefaults::standard();
    auto integerSetting = [&](const char* key) -> std::optional<long long> {
        if (!defaults->object(key)) {
            return std::nullopt;
        }
        return defaults->integer(key);
    };
    if (auto value = integerSetting(kContentAgeWeightKey)) {
        contentAgeWeight_ = static_cast<std::int32_t>(*value);
    }
    if (auto value = integerSetting(kContentLengthWeightKey)) {
        contentLengthWeight_ = static_cast<std::int32_t>(*value);
    }
    // A shingle of no tokens or a heap of no room would hash nothing: such values keep the defaults.
    if (auto value = integerSetting(kMaximumShingleCountKey); value && *value >= 1) {
        maximumShingleCount_ = static_cast<std::uint32_t>(std::min<long long>(*value, UINT32_MAX));
    }
    if (auto value = integerSetting(kMinimumParagraphLengthKey)) {
        minimumParagraphLength_ = static_cast<std::uint32_t>(*value);
    }
    if (auto value = integerSetting(kShingleLengthKey); value && *value >= 1) {
        shingleLength_ = static_cast<std::uint32_t>(std::min<long long>(*value, UINT32_MAX));
    }
}

std::uint64_t GADContent::tokenValue(std::string_view token) {
    const auto hash = static_cast<std::int32_t>(GADMurmurHash3(token, 0));
    const std::int64_t shifted = static_cast<std::int64_t>(hash) + 2147483647LL;
    return static_cast<std::uint64_t>(shifted) % kModulus;
}

std::uint64_t GADContent::power(std::uint64_t base, std::uint64_t exponent) {
    if (exponent == 0) {
        return 1;
    }
    if (exponent == 1) {
        return base;
    }
    const std::uint64_t square = base * base % kModulus;
    std::uint64_t result = power(square, exponent / 2) % kModulus;
    if (exponent % 2 == 1) {
        result = result * base % kModulus;
    }
    return result;
}

std::vector<std::string> GADContent::tokenize(std::string_view paragraph, const GADCharacterSet& characterDelimited,
                                              const GADCharacterSet& spaceDelimited) {
    std::vector<std::string> tokens;
    std::u16string current;
    auto endToken = [&] {
        if (!current.empty()) {
            tokens.push_back(utf8FromUTF16(current));
            current.clear();
        }
    };
    auto visitUnit = [&](char16_t unit) {
        if (characterDelimited.characterIsMember(unit)) {
            endToken();
            current.push_back(unit);
            endToken();
        } else if (spaceDelimited.characterIsMember(unit)) {
            current.push_back(unit);
        } else {
            endToken();
        }
    };
    for (char32_t c : platform::decodeUTF8(platform::toLowerUTF8(paragraph))) {
        if (c > 0xFFFF) {
            visitUnit(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            visitUnit(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            visitUnit(static_cast<char16_t>(c));
        }
    }
    endToken();
    return tokens;
}

void GADContent::updateContentWithText(std::string_view text) {
    if (text.empty()) {
        return;
    }
    std::vector<std::string_view> kept;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view paragraph = text.substr(start, end - start);
        const std::size_t length = utf16Length(platform::decodeUTF8(paragraph));
        if (length >= minimumParagraphLength_) {
            kept.push_back(paragraph);
            contentTotalLength_ += static_cast<std::uint32_t>(length);
        }
        start = end + 1;
    }
    const std::uint32_t newScore = static_cast<std::uint32_t>(contentLengthWeight_) * contentTotalLength_ +
                                   static_cast<std::uint32_t>(contentAgeWeight_) * sequenceNumber_;
    if (newScore <= static_cast<std::uint32_t>(score_)) {
        return;
    }
    score_ = static_cast<std::int32_t>(newScore);
    if (!kept.empty()) {
        auto sets = GADCharacterSets::sharedInstance();
        const auto characterDelimited = sets->characterDelimitedSet();
        const auto spaceDelimited = sets->spaceDelimitedSet();
        for (std::string_view paragraph : kept) {
            selectShinglesFromTokens(tokenize(paragraph, *characterDelimited, *spaceDelimited));
        }
    }
    fingerprint_ = shingleHash();
}

void GADContent::selectShinglesFromTokens(const std::vector<std::string>& tokens) {
    const std::size_t n = tokens.size();
    if (n == 0) {
        return;
    }
    // Each token is hashed once; the rolling step then costs constant arithmetic per shingle.
    std::vector<std::uint64_t> values(n);
    std::transform(tokens.begin(), tokens.end(), values.begin(), [](const std::string& t) { return tokenValue(t); });
    const std::size_t k = std::min<std::size_t>(n, shingleLength_);
    std::uint64_t hash = values[0];
    for (std::size_t i = 1; i < k; ++i) {
        hash = ((hash * kBase) % kModulus + values[i]) % kModulus;
    }
    updateHeapWithHash(hash, std::span<const std::string>(tokens.data(), k));
    if (n > shingleLength_) {
        applyRollingHashToTokens(tokens, values, hash);
    }
}

void GADContent::applyRollingHashToTokens(const std::vector<std::string>& tokens, std::uint64_t baseHash) {
    std::vector<std::uint64_t> values(tokens.size());
    std::transform(tokens.begin(), tokens.end(), values.begin(), [](const std::string& t) { return tokenValue(t); });
    applyRollingHashToTokens(tokens, values, baseHash);
}

void GADContent::applyRollingHashToTokens(const std::vector<std::string>& tokens, const std::vector<std::uint64_t>& values,
                                          std::uint64_t baseHash) {
    const std::size_t length = shingleLength_;
    const std::size_t n = tokens.size();
    if (n < length) {
        return;
    }
    const std::uint64_t leading = power(kBase, length - 1);
    std::uint64_t hash = baseHash;
    for (std::size_t i = 0; i + length < n; ++i) {
        const std::uint64_t out = values[i];
        const std::uint64_t in = values[i + length];
        hash = ((((hash + kModulus - (out * leading) % kModulus) % kModulus) * kBase) % kModulus + in) % kModulus;
        updateHeapWithHash(hash, std::span<const std::string>(tokens.data() + i + 1, length));
    }
}

void GADContent::updateHeapWithHash(std::uint64_t hash, std::span<const std::string> shingle) {
    if (heap_.count() >= maximumShingleCount_) {
        const auto minimum = heap_.minimum();
        if (minimum && minimum->hashValue() >= hash) {
            return;
        }
    }
    GADShingleHashTuple tuple(std::vector<std::string>(shingle.begin(), shingle.end()), hash);
    if (heap_.containsObject(tuple)) {
        return;
    }
    heap_.addObject(std::move(tuple));
    if (heap_.count() > maximumShingleCount_) {
        heap_.removedMinimum();
    }
}

std::string GADContent::shingleHash() const {
    const auto sorted = heap_.sortedObjects();
    if (!sorted) {
        return "";
    }
    std::vector<std::uint8_t> output;
    output.reserve(sorted->size() * 4);
    for (const auto& tuple : *sorted) {
        std::vector<std::uint8_t> bytes;
        bytes.reserve(tuple.shingle().size());
        for (const auto& token : tuple.shingle()) {
            bytes.push_back(xorOfBytes(GADMurmurHash3(token, 0)));
        }
        const std::string digest = platform::md5Hex(bytes);
        for (std::size_t i = 0; i < 4; ++i) {
            output.push_back(static_cast<std::uint8_t>(hexDigitValue(digest[2 * i]) << 4 | hexDigitValue(digest[2 * i + 1])));
        }
    }
    return GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->encode(output);
}

} // namespace ruzave
