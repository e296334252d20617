#pragma once
// What an ad loader was asked for: its native ad types ("1" content, "2" app install, "3" custom
// template), the classes they stand for, and one copy of each kind of option object. Mediated networks
// receive it as it is. A value holder. Main thread.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ads/native/GADAdLoaderOptions.h"

namespace ruzave {

class GADAdLoaderConfiguration {
  public:
    // Nil for no ad types or any unknown one. A second option of one kind, or a null one, is logged and
    // ignored.
    static std::shared_ptr<GADAdLoaderConfiguration>
    initWithAdTypes(const std::vector<std::string>& adTypes,
                    const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options);
    virtual ~GADAdLoaderConfiguration() = default;

    const std::vector<std::string>& adTypes() const { return adTypes_; }
    // The native ad class names of the ad types, in the order of the types.
    const std::vector<std::string>& adTypeClasses() const { return adTypeClasses_; }
    const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options() const { return options_; }

  protected:
    GADAdLoaderConfiguration() = default;

  private:
    std::vector<std::string> adTypes_;
    std::vector<std::string> adTypeClasses_;
    std::vector<std::shared_ptr<GADAdLoaderOptions>> options_;
};

} // namespace ruzave
