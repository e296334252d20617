#pragma once
// The base of the option objects an app hands to an ad loader; adapters receive them as they are.
// Main thread.
#include <memory>

namespace ruzave {

class GADAdLoaderOptions {
  public:
    virtual ~GADAdLoaderOptions() = default;
    // A fresh object of the same kind; subclasses with values copy them.
    virtual std::shared_ptr<GADAdLoaderOptions> copyOptions() const { return std::make_shared<GADAdLoaderOptions>(); }
};

} // namespace ruzave
