#include <doctest/doctest.h>

#include <string>

#include "ads/core/telemetry/GADContent.h"
#include "ads/core/telemetry/GADContentQueue.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADContent;
using ruzave::GADContentQueue;

namespace {

// A content with a fingerprint of its own: the words make the shingles.
std::shared_ptr<GADContent> contentWithText(std::uint32_t number, const std::string& text) {
    auto content = std::make_shared<GADContent>(number);
    content->updateContentWithText(text);
    return content;
}

std::string distinctText(int i) {
    return "alpha beta gamma delta epsilon zeta " + std::to_string(i);
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADContentQueue: an eleventh fingerprint evicts the first and capacity 0 stores none") {
    GADContentQueue queue(10);
    for (std::uint32_t i = 1; i <= 11; ++i) {
        auto content = contentWithText(i, distinctText(static_cast<int>(i)));
        queue.deduplicate(content);
        queue.enqueueContent(content);
    }
    CHECK(queue.count() == 10);
    CHECK_FALSE(queue.contentWithSequenceNumber(1));
    CHECK(queue.contentWithSequenceNumber(2));
    CHECK(queue.contentWithSequenceNumber(11));
    queue.enqueueContent(nullptr);
    CHECK(queue.count() == 10);

    GADContentQueue none(0);
    none.enqueueContent(contentWithText(1, distinctText(1)));
    CHECK(none.count() == 0);
    CHECK_FALSE(none.contentWithHighestScore());
}

TEST_CASE_FIXTURE(Harness, "GADContentQueue: the same fingerprint twice keeps only the newer content") {
    GADContentQueue queue(10);
    auto older = contentWithText(1, distinctText(7));
    auto other = contentWithText(2, distinctText(8));
    auto newer = contentWithText(3, distinctText(7));
    REQUIRE(older->fingerprint() == newer->fingerprint());
    for (const auto& content : {older, other, newer}) {
        queue.deduplicate(content);
        queue.enqueueContent(content);
    }
    CHECK(queue.count() == 2);
    CHECK_FALSE(queue.contentWithSequenceNumber(1));
    CHECK(queue.contentWithSequenceNumber(3) == newer);
    queue.deduplicate(nullptr);
    CHECK(queue.count() == 2);
}

TEST_CASE_FIXTURE(Harness, "GADContentQueue: the best positive score is served until another ranks higher") {
    GADContentQueue queue(10);
    CHECK_FALSE(queue.contentWithHighestScore());
    auto low = contentWithText(1, distinctText(1));   // 1 + 38
    auto high = contentWithText(2, distinctText(2));  // 2 + 38
    queue.enqueueContent(low);
    queue.enqueueContent(high);
    CHECK(queue.contentWithHighestScore() == high);
    high->deductServedPenalty();
    CHECK(queue.contentWithHighestScore() == low);
    low->deductServedPenalty();
    CHECK_FALSE(queue.contentWithHighestScore());
}
