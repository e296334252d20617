#pragma once
// The two character sets that decide what a token of on-screen text is: characters that are tokens
// on their own (scripts written without spaces) and characters that make up words. Both come from the
// SDK settings, with built-in defaults. Process-wide; any thread (reads are synchronous on the lock
// queue, reloads asynchronous).
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/Value.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

// An immutable set of code points, U+0000 to U+10FFFF.
class GADCharacterSet {
public:
    static constexpr char32_t kMaximumCodePoint = 0x10FFFF;

    // Each pair is a first code point and a count; the caller has checked the bounds.
    static std::shared_ptr<const GADCharacterSet> withRanges(const std::vector<std::pair<char32_t, char32_t>>& ranges);
    // Letters, marks and numbers.
    static std::shared_ptr<const GADCharacterSet> alphanumericCharacterSet();
    // The ideographic, kana and Hangul blocks.
    static std::shared_ptr<const GADCharacterSet> defaultCharacterDelimitedSet();

    bool characterIsMember(char32_t c) const {
        return c <= kMaximumCodePoint && ((bits_[c >> 6] >> (c & 63)) & 1U) != 0;
    }

private:
    GADCharacterSet() : bits_((kMaximumCodePoint + 1) / 64, 0) {}
    std::vector<std::uint64_t> bits_;
};

// A range setting: JSON text of [[location, length], ...]. nullopt for any other shape, a decoding
// error, or a range reaching outside U+0000..U+10FFFF (negative, reversed or too long).
std::optional<std::vector<std::pair<char32_t, char32_t>>> GADCharacterRangesFromSetting(const platform::Value& setting);

class GADCharacterSets {
public:
    static std::shared_ptr<GADCharacterSets> sharedInstance();

    std::shared_ptr<const GADCharacterSet> characterDelimitedSet() const;
    std::shared_ptr<const GADCharacterSet> spaceDelimitedSet() const;
    // Reloads both sets from the settings; a key that is absent leaves its set as it is.
    void updateCharacterSets();

private:
    GADCharacterSets();

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    // Start as the defaults, so a first launch without settings tokenises all the same.
    std::shared_ptr<const GADCharacterSet> characterDelimitedSet_;
    std::shared_ptr<const GADCharacterSet> spaceDelimitedSet_;
};

} // namespace ruzave
