#pragma once
// The base of the option objects an app hands to an ad loader; adapters receive them as they are.
// Main thread.
namespace ruzave {

class GADAdLoaderOptions {
  public:
    virtual ~GADAdLoaderOptions() = default;
};

} // namespace ruzave
