#pragma once
// A layer: the paintable side of a view (each view owns one) or a free-standing sublayer with its own
// frame and colour. Corner radius, masking to bounds, a mask layer, sublayers, transitions recorded by
// key, and rendering into a bitmap. Main thread.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Transition.h"

namespace platform {

class Bitmap;
class RenderContext;
class View;

class Layer : public std::enable_shared_from_this<Layer> {
public:
    static std::shared_ptr<Layer> create();
    virtual ~Layer();

    // The owning view, when this is a view's layer.
    std::shared_ptr<View> view() const { return view_.lock(); }

    // A view's layer reads its geometry from the view; a free-standing layer keeps its own.
    Rect frame() const;
    void setFrame(Rect frame);
    Rect bounds() const;

    std::optional<Color> backgroundColor() const;
    void setBackgroundColor(std::optional<Color> color);
    float cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(float radius); // negative or non-finite: 0
    bool masksToBounds() const;
    void setMasksToBounds(bool masks);
    float opacity() const;
    void setOpacity(float opacity);
    bool isHidden() const;
    void setHidden(bool hidden);
    float borderWidth() const { return borderWidth_; }
    void setBorderWidth(float width);
    std::optional<Color> borderColor() const { return borderColor_; }
    void setBorderColor(std::optional<Color> color) { borderColor_ = color; }
    // Only the mask's painted area (its frame, round corners included) shows.
    std::shared_ptr<Layer> mask() const { return mask_; }
    void setMask(std::shared_ptr<Layer> mask) { mask_ = std::move(mask); }

    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
    std::shared_ptr<Layer> superlayer() const { return superlayer_.lock(); }
    void addSublayer(const std::shared_ptr<Layer>& layer);
    void removeFromSuperlayer();

    // Transitions and animations by key; adding under a used key replaces it. Each is dropped when its
    // duration has passed on the clock.
    void addAnimation(const Transition& transition, const std::string& key);
    std::optional<Transition> animationForKey(const std::string& key) const;
    std::vector<std::string> animationKeys() const;
    void removeAnimationForKey(const std::string& key);
    void removeAllAnimations();

    // Paints this layer (and, for a view's layer, the view's subtree) with its bounds origin at pixel
    // (0, 0), `scale` pixels per point.
    void render(Bitmap& bitmap, float scale = 1.0f) const;
    // Paints into a context whose local space is this layer's bounds space.
    void render(Bitmap& bitmap, const RenderContext& context) const;

protected:
    Layer() = default;

private:
    friend class View;
    void renderOwnContent(Bitmap& bitmap, const RenderContext& context) const;
    void renderSublayers(Bitmap& bitmap, const RenderContext& context) const;

    std::weak_ptr<View> view_;
    Rect frame_;
    std::optional<Color> backgroundColor_;
    float cornerRadius_ = 0;
    bool masksToBounds_ = false;
    float opacity_ = 1.0f;
    bool hidden_ = false;
    float borderWidth_ = 0;
    std::optional<Color> borderColor_;
    std::shared_ptr<Layer> mask_;
    std::vector<std::shared_ptr<Layer>> sublayers_;
    std::weak_ptr<Layer> superlayer_;
    std::map<std::string, Transition> animations_;
    std::map<std::string, unsigned long> animationGenerations_;
    unsigned long nextGeneration_ = 0;
};

} // namespace platform
