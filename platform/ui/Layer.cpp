#include "platform/ui/Layer.h"

#include <algorithm>
#include <cmath>

#include "platform/runloop/MainLoop.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/RenderContext.h"
#include "platform/ui/View.h"

namespace platform {

std::shared_ptr<Layer> Layer::create() { return std::shared_ptr<Layer>(new Layer()); }

Layer::~Layer() = default;

Rect Layer::frame() const {
    if (auto v = view_.lock()) return v->frame();
    return frame_;
}

void Layer::setFrame(Rect frame) {
    if (auto v = view_.lock()) return v->setFrame(frame);
    frame_ = frame.sanitized();
}

Rect Layer::bounds() const {
    if (auto v = view_.lock()) return v->bounds();
    return Rect(0, 0, frame_.size.width, frame_.size.height);
}

std::optional<Color> Layer::backgroundColor() const { return backgroundColor_; }
void Layer::setBackgroundColor(std::optional<Color> color) { backgroundColor_ = color; }

void Layer::setCornerRadius(float radius) { cornerRadius_ = std::isfinite(radius) && radius > 0 ? radius : 0; }
bool Layer::masksToBounds() const { return masksToBounds_; }
void Layer::setMasksToBounds(bool masks) { masksToBounds_ = masks; }
float Layer::opacity() const { return opacity_; }
void Layer::setOpacity(float opacity) { opacity_ = std::isfinite(opacity) ? std::clamp(opacity, 0.0f, 1.0f) : 0.0f; }
bool Layer::isHidden() const { return hidden_; }
void Layer::setHidden(bool hidden) { hidden_ = hidden; }
void Layer::setBorderWidth(float width) { borderWidth_ = std::isfinite(width) && width > 0 ? width : 0; }

void Layer::addSublayer(const std::shared_ptr<Layer>& layer) {
    if (!layer || layer.get() == this) return;
    for (auto a = superlayer(); a; a = a->superlayer())
        if (a == layer) return; // would make a cycle
    layer->removeFromSuperlayer();
    sublayers_.push_back(layer);
    layer->superlayer_ = weak_from_this();
}

void Layer::removeFromSuperlayer() {
    auto sup = superlayer();
    if (!sup) return;
    auto self = shared_from_this();
    auto& list = sup->sublayers_;
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
    superlayer_.reset();
}

void Layer::addAnimation(const Transition& transition, const std::string& key) {
    animations_[key] = transition;
    unsigned long generation = ++nextGeneration_;
    animationGenerations_[key] = generation;
    double duration = std::isfinite(transition.duration) && transition.duration > 0 ? transition.duration : 0;
    std::weak_ptr<Layer> weak = weak_from_this();
    MainLoop::main().postAfter(duration, [weak, key, generation] {
        auto self = weak.lock();
        if (!self) return;
        auto it = self->animationGenerations_.find(key);
        if (it == self->animationGenerations_.end() || it->second != generation) return;
        self->animationGenerations_.erase(it);
        self->animations_.erase(key);
    });
}

std::optional<Transition> Layer::animationForKey(const std::string& key) const {
    auto it = animations_.find(key);
    if (it == animations_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> Layer::animationKeys() const {
    std::vector<std::string> keys;
    for (auto& [k, v] : animations_) keys.push_back(k);
    return keys;
}

void Layer::removeAnimationForKey(const std::string& key) {
    animations_.erase(key);
    animationGenerations_.erase(key);
}

void Layer::removeAllAnimations() {
    animations_.clear();
    animationGenerations_.clear();
}

void Layer::render(Bitmap& bitmap, float scale) const {
    if (!(std::isfinite(scale) && scale > 0)) scale = 1;
    Rect b = bounds();
    RenderContext context =
        RenderContext(AffineTransform::scale(scale, scale)).concat(AffineTransform::translation(-b.origin.x, -b.origin.y));
    render(bitmap, context);
}

void Layer::render(Bitmap& bitmap, const RenderContext& context) const {
    if (hidden_ || opacity_ <= 0) return;
    RenderContext c = context.withAlpha(opacity_);
    if (mask_) {
        Rect m = mask_->frame();
        c = c.clipped(m, mask_->cornerRadius());
    }
    renderOwnContent(bitmap, c);
    if (masksToBounds_) c = c.clipped(bounds(), cornerRadius_);
    renderSublayers(bitmap, c);
}

void Layer::renderOwnContent(Bitmap& bitmap, const RenderContext& c) const {
    Rect b = bounds();
    if (backgroundColor_) c.fillRect(bitmap, b, *backgroundColor_, cornerRadius_);
    if (borderWidth_ > 0 && borderColor_) {
        float w = std::min({borderWidth_, b.width() / 2, b.height() / 2});
        c.fillRect(bitmap, Rect(b.minX(), b.minY(), b.width(), w), *borderColor_);
        c.fillRect(bitmap, Rect(b.minX(), b.maxY() - w, b.width(), w), *borderColor_);
        c.fillRect(bitmap, Rect(b.minX(), b.minY() + w, w, b.height() - 2 * w), *borderColor_);
        c.fillRect(bitmap, Rect(b.maxX() - w, b.minY() + w, w, b.height() - 2 * w), *borderColor_);
    }
    if (auto v = view_.lock()) v->draw(bitmap, c);
}

void Layer::renderSublayers(Bitmap& bitmap, const RenderContext& c) const {
    for (auto& sub : sublayers_) {
        Rect f = sub->frame();
        Rect sb = sub->bounds();
        sub->render(bitmap, c.concat(AffineTransform::translation(f.origin.x - sb.origin.x, f.origin.y - sb.origin.y)));
    }
    if (auto v = view_.lock()) {
        for (auto& sub : v->subviews()) sub->layer()->render(bitmap, c.concat(sub->transformToSuperview()));
    }
}

} // namespace platform
