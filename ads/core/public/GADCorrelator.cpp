#include "ads/core/public/GADCorrelator.h"

#include <mutex>

#include "platform/base/Crypto.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {
namespace {

// Draws stay below this bound so that the identifier, at most the draw plus 2, never wraps to 0.
constexpr std::uint32_t kDrawBound = 4294967293u;

std::mutex& randomMutex() {
    static std::mutex m;
    return m;
}

GADCorrelator::RandomSource& randomSourceSlot() {
    static GADCorrelator::RandomSource source;
    return source;
}

std::uint32_t draw() {
    GADCorrelator::RandomSource source;
    {
        std::lock_guard lock(randomMutex());
        source = randomSourceSlot();
    }
    std::uint32_t r = source ? source(kDrawBound) : platform::uniformRandom(kDrawBound);
    // A replaced source that overshoots is folded back into range rather than trusted.
    return r < kDrawBound ? r : r % kDrawBound;
}

} // namespace

void GADCorrelator::setRandomSource(RandomSource source) {
    std::lock_guard lock(randomMutex());
    randomSourceSlot() = std::move(source);
}

std::shared_ptr<GADCorrelator> GADCorrelator::init() {
    std::shared_ptr<GADCorrelator> self(new GADCorrelator());
    self->queue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.correlator");
    *self->correlationID_ = 2 + draw();
    return self;
}

void GADCorrelator::reset() {
    queue_->async([id = correlationID_] {
        std::uint32_t next = draw() + 1;
        if (next == *id) ++next;
        *id = next;
    });
}

std::uint32_t GADCorrelator::correlationID() const {
    std::uint32_t id = 0;
    queue_->sync([&] { id = *correlationID_; });
    return id;
}

} // namespace ruzave
