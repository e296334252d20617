#pragma once
// A spinner: started and stopped, optionally hidden while stopped. Main thread.
#include <memory>

#include "platform/ui/View.h"

namespace platform {

enum class ActivityIndicatorStyle { WhiteLarge = 0, White = 1, Gray = 2 };

class ActivityIndicator : public View {
public:
    static std::shared_ptr<ActivityIndicator> create(ActivityIndicatorStyle style = ActivityIndicatorStyle::White);

    ActivityIndicatorStyle style() const { return style_; }
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool v);
    Size intrinsicContentSize() const override;

protected:
    explicit ActivityIndicator(ActivityIndicatorStyle style);

private:
    ActivityIndicatorStyle style_;
    bool animating_ = false;
    bool hidesWhenStopped_ = true;
};

} // namespace platform
