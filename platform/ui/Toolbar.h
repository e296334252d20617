#pragma once
// A bar of items laid out left to right: fixed items take their width (44 points by default, a custom
// view its own), flexible spaces share what is left. Each tappable item gets a button. Main thread.
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

class BarButtonItem;

class Toolbar : public View {
public:
    static std::shared_ptr<Toolbar> create(Rect frame = Rect::zero());

    const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);
    // The view standing for an item (its button or custom view), nullptr for spaces.
    std::shared_ptr<View> viewForItem(const std::shared_ptr<BarButtonItem>& item) const;
    bool isTranslucent() const { return translucent_; }
    void setTranslucent(bool v) { translucent_ = v; }
    std::optional<Color> barTintColor() const { return barTint_; }
    void setBarTintColor(std::optional<Color> c) { barTint_ = c; }

    void layoutSubviews() override;
    Size sizeThatFits(Size size) const override;

    static constexpr float kItemWidth = 44.0f;
    static constexpr float kHeight = 44.0f;

protected:
    explicit Toolbar(Rect frame);

private:
    std::vector<std::shared_ptr<BarButtonItem>> items_;
    std::vector<std::shared_ptr<View>> itemViews_; // parallel to items_, nullptr for spaces
    bool translucent_ = true;
    std::optional<Color> barTint_;
};

} // namespace platform
