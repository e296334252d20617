#pragma once
// A push button: an image and a title per control state, touch-up-inside actions, highlighting while
// pressed. Main thread.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

class Image;

enum ControlState : unsigned { ControlStateNormal = 0, ControlStateHighlighted = 1, ControlStateDisabled = 2,
                               ControlStateSelected = 4 };

enum class ButtonType { Custom = 0, System = 1, DetailDisclosure = 2, InfoLight = 3, InfoDark = 4, ContactAdd = 5 };

class Button : public View {
public:
    using Action = std::function<void(Button&)>;

    static std::shared_ptr<Button> create(Rect frame = Rect::zero(), ButtonType type = ButtonType::Custom);

    ButtonType buttonType() const { return type_; }
    // The image for a state falls back to the normal state's.
    std::shared_ptr<Image> imageForState(unsigned state) const;
    void setImage(std::shared_ptr<Image> image, unsigned state);
    std::string titleForState(unsigned state) const;
    void setTitle(std::string title, unsigned state);
    std::shared_ptr<Image> currentImage() const { return imageForState(state()); }
    unsigned state() const;

    // Touch-up-inside actions; returns a token for removeTarget.
    std::size_t addTarget(Action action);
    void removeTarget(std::size_t token);
    // Runs the touch-up-inside actions (as a completed tap does).
    void sendActions();

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool h) { highlighted_ = h; }
    bool isSelected() const { return selected_; }
    void setSelected(bool s) { selected_ = s; }
    bool showsTouchWhenHighlighted() const { return showsTouch_; }
    void setShowsTouchWhenHighlighted(bool v) { showsTouch_ = v; }

    std::shared_ptr<View> hitTest(Point point, const Event* event = nullptr) override;
    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;
    void draw(Bitmap& bitmap, const RenderContext& context) const override;

    void touchesBegan(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;
    void touchesMoved(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;
    void touchesEnded(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;
    void touchesCancelled(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event) override;

protected:
    Button(Rect frame, ButtonType type);

private:
    bool inside(const std::vector<std::shared_ptr<Touch>>& touches) const;

    ButtonType type_;
    std::map<unsigned, std::shared_ptr<Image>> images_;
    std::map<unsigned, std::string> titles_;
    std::vector<std::pair<std::size_t, Action>> actions_;
    std::size_t nextToken_ = 1;
    bool enabled_ = true;
    bool highlighted_ = false;
    bool selected_ = false;
    bool showsTouch_ = false;
};

} // namespace platform
