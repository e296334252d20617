#pragma once
// What an ad loader asks of a mediated network: the native ad types ("1" content, "2" app install,
// "3" custom template) and the loader's option objects. A value holder. Main thread.
#include <memory>
#include <string>
#include <vector>

#include "ads/native/GADAdLoaderOptions.h"

namespace ruzave {

class GADAdLoaderConfiguration {
  public:
    static std::shared_ptr<GADAdLoaderConfiguration>
    initWithAdTypes(std::vector<std::string> adTypes, std::vector<std::shared_ptr<GADAdLoaderOptions>> options) {
        std::shared_ptr<GADAdLoaderConfiguration> c(new GADAdLoaderConfiguration());
        c->adTypes_ = std::move(adTypes);
        c->options_ = std::move(options);
        return c;
    }
    virtual ~GADAdLoaderConfiguration() = default;

    const std::vector<std::string>& adTypes() const { return adTypes_; }
    const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options() const { return options_; }

  protected:
    GADAdLoaderConfiguration() = default;

  private:
    std::vector<std::string> adTypes_;
    std::vector<std::shared_ptr<GADAdLoaderOptions>> options_;
};

} // namespace ruzave
