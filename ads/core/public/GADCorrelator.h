#pragma once
// The identifier shared by the ads of one page view: the ad server sees the same number with each of
// their requests until the app resets it. Any thread (the identifier lives on the object's own queue).
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADCorrelator {
  public:
    // A uniform draw below the bound; tests replace it. Null restores the platform's random source.
    using RandomSource = std::function<std::uint32_t(std::uint32_t upperBound)>;
    static void setRandomSource(RandomSource source);

    // A fresh identifier from 2 to 4,294,967,294.
    static std::shared_ptr<GADCorrelator> init();
    GADCorrelator(const GADCorrelator&) = delete;
    GADCorrelator& operator=(const GADCorrelator&) = delete;

    // A new identifier, never 0 and never the current one; later reads see it.
    void reset();
    // Never 0.
    std::uint32_t correlationID() const;

  private:
    GADCorrelator() = default;

    std::shared_ptr<platform::DispatchQueue> queue_;
    // Only touched on queue_; shared with the blocks queued there, which may outlive the object.
    std::shared_ptr<std::uint32_t> correlationID_ = std::make_shared<std::uint32_t>(0);
};

} // namespace ruzave
