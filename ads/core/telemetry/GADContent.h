#pragma once
// The fingerprint of the text one view-tree walk found on screen. Paragraphs are cut into tokens, every
// run of `shingleLength` consecutive tokens (a shingle) gets a rolling polynomial hash, the shingles
// with the largest hashes are kept in a bounded heap, and the kept shingles are encoded as URL-safe
// Base64. The score grows with the walk's number and the text's length; the content hashing queue
// serves the best-scoring content. Not locked: one thread at a time (the content-hashing queue).
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ads/core/telemetry/GADBinaryHeap.h"

namespace ruzave {

class GADCharacterSet;

// A shingle with its hash.
class GADShingleHashTuple {
public:
    GADShingleHashTuple(std::vector<std::string> shingle, std::uint64_t hashValue)
        : shingle_(std::move(shingle)), hashValue_(hashValue) {}
    const std::vector<std::string>& shingle() const { return shingle_; }
    std::uint64_t hashValue() const { return hashValue_; }

    // Fewer tokens first, then the smaller hash; equal only when both match.
    static int compare(const GADShingleHashTuple& a, const GADShingleHashTuple& b);

private:
    std::vector<std::string> shingle_;
    std::uint64_t hashValue_;
};

class GADContent {
public:
    static constexpr std::uint64_t kModulus = 0x4000FFFF;
    static constexpr std::uint64_t kBase = 0x1001FFF;
    static constexpr std::uint32_t kDefaultMinimumParagraphLength = 6;
    static constexpr std::uint32_t kDefaultShingleLength = 6;
    static constexpr std::uint32_t kDefaultMaximumShingleCount = 10;
    static constexpr std::int32_t kServedPenalty = 100;

    // Reads the weights and sizes from the SDK settings once, here.
    explicit GADContent(std::uint32_t sequenceNumber);
    static std::shared_ptr<GADContent> initWithSequenceNumber(std::uint32_t sequenceNumber) {
        return std::make_shared<GADContent>(sequenceNumber);
    }

    // Adds the text of one view (UTF-8; ill-formed bytes count as U+FFFD).
    void updateContentWithText(std::string_view text);
    void deductServedPenalty() { score_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(score_) - kServedPenalty); }

    const std::string& fingerprint() const { return fingerprint_; }
    std::int32_t score() const { return score_; }
    std::uint32_t sequenceNumber() const { return sequenceNumber_; }
    std::uint32_t contentTotalLength() const { return contentTotalLength_; }
    std::uint32_t shingleLength() const { return shingleLength_; }
    std::uint32_t maximumShingleCount() const { return maximumShingleCount_; }
    std::uint32_t minimumParagraphLength() const { return minimumParagraphLength_; }
    const GADBinaryHeap<GADShingleHashTuple>& heap() const { return heap_; }

    // The steps, open to tests. Tokens are lower-cased UTF-8 strings.
    void selectShinglesFromTokens(const std::vector<std::string>& tokens);
    // Offers every full-length window after the first, rolling on from `baseHash` (the first window's).
    void applyRollingHashToTokens(const std::vector<std::string>& tokens, std::uint64_t baseHash);
    void updateHeapWithHash(std::uint64_t hash, std::span<const std::string> shingle);
    std::string shingleHash() const;

    // A token's value: its MurmurHash3 (seed 0) as signed, plus 2^31 - 1, modulo the modulus.
    static std::uint64_t tokenValue(std::string_view token);
    // base^exponent modulo the modulus.
    static std::uint64_t power(std::uint64_t base, std::uint64_t exponent);
    // The tokens of one paragraph: lower-cased, split by the two sets over UTF-16 code units.
    static std::vector<std::string> tokenize(std::string_view paragraph, const GADCharacterSet& characterDelimited,
                                             const GADCharacterSet& spaceDelimited);

private:
    void applyRollingHashToTokens(const std::vector<std::string>& tokens, const std::vector<std::uint64_t>& values,
                                  std::uint64_t baseHash);

    std::uint32_t sequenceNumber_;
    std::int32_t contentAgeWeight_ = 1;
    std::int32_t contentLengthWeight_ = 1;
    std::uint32_t contentTotalLength_ = 0;
    std::uint32_t minimumParagraphLength_ = kDefaultMinimumParagraphLength;
    std::uint32_t shingleLength_ = kDefaultShingleLength;
    std::uint32_t maximumShingleCount_ = kDefaultMaximumShingleCount;
    GADBinaryHeap<GADShingleHashTuple> heap_{&GADShingleHashTuple::compare};
    std::int32_t score_ = 0;
    std::string fingerprint_;
};

} // namespace ruzave
