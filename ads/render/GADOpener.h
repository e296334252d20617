#pragma once
// Carries out a creative's open actions for one ad view. Only what the slot sets is here so far: its
// delegate and the auto-click protection flag. Main thread.
#include <memory>

namespace ruzave {

class GADAdViewDelegate;

class GADOpener {
  public:
    static std::shared_ptr<GADOpener> init() { return std::shared_ptr<GADOpener>(new GADOpener()); }

    std::shared_ptr<GADAdViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADAdViewDelegate>& delegate) { delegate_ = delegate; }
    // While set, an open action goes ahead only after the user touched the ad view.
    bool isAutoClickProtected() const { return autoClickProtected_; }
    void setAutoClickProtected(bool on) { autoClickProtected_ = on; }

  private:
    GADOpener() = default;
    std::weak_ptr<GADAdViewDelegate> delegate_;
    bool autoClickProtected_ = false;
};

} // namespace ruzave
