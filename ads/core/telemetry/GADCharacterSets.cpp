#include "ads/core/telemetry/GADCharacterSets.h"

#include "ads/core/util/GADJSONAdditions.h"
#include "platform/base/Unicode.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

constexpr const char* kCharacterDelimitedRangeKey = "/ruzave/ads/character_delimited_unicode_range";
constexpr const char* kSpaceDelimitedRangeKey = "/ruzave/ads/space_delimited_unicode_range";

const std::vector<std::pair<char32_t, char32_t>>& defaultCharacterDelimitedRanges() {
    static const std::vector<std::pair<char32_t, char32_t>> ranges = {
        {0x4E00, 20941}, {0x3400, 6582}, {0x20000, 42711}, {0x3300, 256},  {0xF900, 512},   {0x2F800, 544},
        {0x3100, 48},    {0x31A0, 32},   {0x3040, 96},     {0x30A0, 91},   {0x30FC, 4},     {0x3200, 256},
        {0xFF66, 56},    {0xFFA1, 60},   {0x1B000, 256},   {0x31F0, 16},   {0xAC00, 11184}, {0x1100, 256},
    };
    return ranges;
}

// The set a setting describes, or the default when it is malformed.
std::shared_ptr<const GADCharacterSet> setFromSetting(const platform::Value& setting,
                                                      std::shared_ptr<const GADCharacterSet> (*fallback)()) {
    auto ranges = GADCharacterRangesFromSetting(setting);
    return ranges ? GADCharacterSet::withRanges(*ranges) : fallback();
}

} // namespace

std::shared_ptr<const GADCharacterSet> GADCharacterSet::withRanges(const std::vector<std::pair<char32_t, char32_t>>& ranges) {
    auto set = std::shared_ptr<GADCharacterSet>(new GADCharacterSet());
    for (const auto& [first, count] : ranges) {
        for (char32_t c = first; c < first + count && c <= kMaximumCodePoint; ++c) {
            set->bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
        }
    }
    return set;
}

std::shared_ptr<const GADCharacterSet> GADCharacterSet::alphanumericCharacterSet() {
    static const std::shared_ptr<const GADCharacterSet> shared = [] {
        auto set = std::shared_ptr<GADCharacterSet>(new GADCharacterSet());
        for (char32_t c = 0; c <= kMaximumCodePoint; ++c) {
            if (platform::isLetter(c) || platform::isMark(c) || platform::isNumber(c)) {
                set->bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
            }
        }
        return std::shared_ptr<const GADCharacterSet>(set);
    }();
    return shared;
}

std::shared_ptr<const GADCharacterSet> GADCharacterSet::defaultCharacterDelimitedSet() {
    static const std::shared_ptr<const GADCharacterSet> shared = withRanges(defaultCharacterDelimitedRanges());
    return shared;
}

std::optional<std::vector<std::pair<char32_t, char32_t>>> GADCharacterRangesFromSetting(const platform::Value& setting) {
    std::optional<platform::Value> decoded;
    if (setting.is_string()) {
        decoded = gad_decodedJSONObjectError(setting.get_ref<const std::string&>());
    }
    if (!decoded || !decoded->is_array()) {
        return std::nullopt;
    }
    std::vector<std::pair<char32_t, char32_t>> ranges;
    for (const auto& pair : *decoded) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_number() || !pair[1].is_number()) {
            return std::nullopt;
        }
        const double location = pair[0].get<double>();
        const double length = pair[1].get<double>();
        // NaN fails every comparison and so is refused here too.
        if (!(location >= 0 && length >= 0 && location + length <= GADCharacterSet::kMaximumCodePoint + 1.0)) {
            return std::nullopt;
        }
        ranges.emplace_back(static_cast<char32_t>(location), static_cast<char32_t>(length));
    }
    return ranges;
}

std::shared_ptr<GADCharacterSets> GADCharacterSets::sharedInstance() {
    static const std::shared_ptr<GADCharacterSets> shared = [] {
        auto sets = std::shared_ptr<GADCharacterSets>(new GADCharacterSets());
        sets->updateCharacterSets();
        return sets;
    }();
    return shared;
}

GADCharacterSets::GADCharacterSets()
    : lockQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.character-sets")),
      characterDelimitedSet_(GADCharacterSet::defaultCharacterDelimitedSet()),
      spaceDelimitedSet_(GADCharacterSet::alphanumericCharacterSet()) {}

std::shared_ptr<const GADCharacterSet> GADCharacterSets::characterDelimitedSet() const {
    std::shared_ptr<const GADCharacterSet> set;
    lockQueue_->sync([&] { set = characterDelimitedSet_; });
    return set;
}

std::shared_ptr<const GADCharacterSet> GADCharacterSets::spaceDelimitedSet() const {
    std::shared_ptr<const GADCharacterSet> set;
    lockQueue_->sync([&] { set = spaceDelimitedSet_; });
    return set;
}

void GADCharacterSets::updateCharacterSets() {
    auto defaults = platform::UserDefaults::standard();
    auto characterSetting = defaults->object(kCharacterDelimitedRangeKey);
    auto spaceSetting = defaults->object(kSpaceDelimitedRangeKey);
    // Process-wide: the singleton outlives every queued reload.
    lockQueue_->async([this, characterSetting = std::move(characterSetting), spaceSetting = std::move(spaceSetting)] {
        if (characterSetting) {
            characterDelimitedSet_ = setFromSetting(*characterSetting, &GADCharacterSet::defaultCharacterDelimitedSet);
        }
        if (spaceSetting) {
            spaceDelimitedSet_ = setFromSetting(*spaceSetting, &GADCharacterSet::alphanumericCharacterSet);
        }
    });
}

} // namespace ruzave
