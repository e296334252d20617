#pragma once
// A linear layout relation: item1.attribute1 (==, <= or >=) multiplier * item2.attribute2 + constant,
// held by the common superview and solved when it lays out. Also builds constraints from visual
// format strings ("H:|-8-[a(>=40)][b]-(>=0)-|"). Main thread.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct Error;
class View;

enum class LayoutAttribute {
    NotAnAttribute = 0,
    Left = 1,
    Right = 2,
    Top = 3,
    Bottom = 4,
    Leading = 5,
    Trailing = 6,
    Width = 7,
    Height = 8,
    CenterX = 9,
    CenterY = 10,
};

enum class LayoutRelation { LessThanOrEqual = -1, Equal = 0, GreaterThanOrEqual = 1 };

class LayoutConstraint {
public:
  // nullptr (logged) when item1 is missing or the attributes mix axes; a width may follow a height
  // and a height a width.
  static std::shared_ptr<LayoutConstraint>
  constraintWithItem(const std::shared_ptr<View>& item1, LayoutAttribute attribute1, LayoutRelation relation,
                     const std::shared_ptr<View>& item2, LayoutAttribute attribute2, float multiplier,
                     float constant);
  // Parses a visual format: an optional "H:" or "V:", "|" for the superview's edges, "[name]" or
  // "[name(==50)]"-style sizes, and connections "-", "-N-", "-(>=N)-" between them (a bare "-" is 8
  // points, adjacency is 0). Numbers may be metric names. Malformed text or unknown names give an
  // empty list, fill `error` and log.
  static std::vector<std::shared_ptr<LayoutConstraint>>
  constraintsWithVisualFormat(const std::string& format, const std::map<std::string, float>& metrics,
                              const std::map<std::string, std::shared_ptr<View>>& views,
                              Error* error = nullptr);

  // Adds each constraint to the nearest common ancestor of its items.
  static void activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

  std::shared_ptr<View> firstItem() const { return first_.lock(); }
  std::shared_ptr<View> secondItem() const { return second_.lock(); }
  LayoutAttribute firstAttribute() const { return attribute1_; }
  LayoutAttribute secondAttribute() const { return attribute2_; }
  LayoutRelation relation() const { return relation_; }
  float multiplier() const { return multiplier_; }
  float constant() const { return constant_; }
  void setConstant(float constant);
  float priority() const { return priority_; }
  void setPriority(float priority) { priority_ = priority; }

  // Sets the frames of the container's subviews named by `constraints` (in the container's bounds
  // space). Equalities propagate first; then intrinsic sizes, inequality bounds and finally the
  // current frames settle what is still open; size inequalities are enforced last.
  static void solve(View& container, const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

  LayoutConstraint(std::weak_ptr<View> item1, LayoutAttribute a1, LayoutRelation relation,
                   std::weak_ptr<View> item2, LayoutAttribute a2, float multiplier, float constant);

private:
    std::weak_ptr<View> first_;
    std::weak_ptr<View> second_;
    LayoutAttribute attribute1_;
    LayoutAttribute attribute2_;
    LayoutRelation relation_;
    float multiplier_;
    float constant_;
    float priority_ = 1000;
    bool pendingSuper_ = false; // visual format: the superview is filled in once known
};

} // namespace platform
