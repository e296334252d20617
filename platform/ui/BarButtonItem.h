#pragma once
// An item of a toolbar: a system item (done, refresh, action, flexible or fixed space, ...), an image,
// a title or a custom view, with an action run when it is tapped. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class Image;
class Button;
class View;

enum class BarButtonSystemItem {
    Done = 0, Cancel = 1, Edit = 2, Save = 3, Add = 4, FlexibleSpace = 5, FixedSpace = 6, Compose = 7,
    Reply = 8, Action = 9, Organize = 10, Bookmarks = 11, Search = 12, Refresh = 13, Stop = 14, Camera = 15,
    Trash = 16, Play = 17, Pause = 18, Rewind = 19, FastForward = 20,
};

enum class BarButtonItemStyle { Plain = 0, Bordered = 1, Done = 2 };

class BarButtonItem : public std::enable_shared_from_this<BarButtonItem> {
public:
    using Action = std::function<void(BarButtonItem&)>;

    static std::shared_ptr<BarButtonItem> initWithBarButtonSystemItem(BarButtonSystemItem item, Action action = nullptr);
    static std::shared_ptr<BarButtonItem> initWithImage(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                        Action action = nullptr);
    static std::shared_ptr<BarButtonItem> initWithTitle(std::string title, BarButtonItemStyle style,
                                                        Action action = nullptr);
    static std::shared_ptr<BarButtonItem> initWithCustomView(std::shared_ptr<View> view);

    std::optional<BarButtonSystemItem> systemItem() const { return systemItem_; }
    bool isSpace() const;
    std::shared_ptr<Image> image() const { return image_; }
    std::string title() const { return title_; }
    BarButtonItemStyle style() const { return style_; }
    // Any item may take a style, a system item too (the done style marks a bar's confirming item).
    void setStyle(BarButtonItemStyle style) { style_ = style; }
    std::shared_ptr<View> customView() const { return customView_; }
    // The item's fixed width; 0 means its natural width.
    float width() const { return width_; }
    void setWidth(float width);
    bool isEnabled() const { return enabled_; }
    // Also enables or disables the item's button in its toolbar.
    void setEnabled(bool enabled);
    // Carried by the item's button in its toolbar.
    std::string accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label);
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    void setAction(Action action) { action_ = std::move(action); }
    // Runs the action when enabled (as a tap does). Returns whether it ran.
    bool perform();

    BarButtonItem() = default;

private:
    friend class Toolbar;
    std::optional<BarButtonSystemItem> systemItem_;
    std::shared_ptr<Image> image_;
    std::string title_;
    BarButtonItemStyle style_ = BarButtonItemStyle::Plain;
    std::shared_ptr<View> customView_;
    float width_ = 0;
    bool enabled_ = true;
    long tag_ = 0;
    Action action_;
    std::string accessibilityLabel_;
    std::weak_ptr<Button> button_;  // the toolbar's button standing for this item, if any
};

} // namespace platform
