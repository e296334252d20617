#pragma once
// A min-heap ordered by a three-way comparator (negative, zero or positive, like strcmp). Without a
// comparator the values' own `<` decides (a type without one must be given a comparator). Not locked: one thread at a time.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace ruzave {

template <class T>
class GADBinaryHeap {
public:
    using Comparator = std::function<int(const T&, const T&)>;

    GADBinaryHeap() : GADBinaryHeap(nullptr) {}
    explicit GADBinaryHeap(Comparator comparator) : compare_(std::move(comparator)) {
        if constexpr (requires(const T& a, const T& b) { a < b; }) {
            if (!compare_) {
                compare_ = [](const T& a, const T& b) { return a < b ? -1 : (b < a ? 1 : 0); };
            }
        }
    }

    void addObject(T value) {
        values_.push_back(std::move(value));
        std::push_heap(values_.begin(), values_.end(), greater());
    }
    bool containsObject(const T& value) const {
        return std::any_of(values_.begin(), values_.end(), [&](const T& v) { return compare_(v, value) == 0; });
    }
    std::uint32_t count() const { return static_cast<std::uint32_t>(values_.size()); }
    // nullopt when empty.
    std::optional<T> minimum() const {
        if (values_.empty()) {
            return std::nullopt;
        }
        return values_.front();
    }
    std::optional<T> removedMinimum() {
        if (values_.empty()) {
            return std::nullopt;
        }
        std::pop_heap(values_.begin(), values_.end(), greater());
        T value = std::move(values_.back());
        values_.pop_back();
        return value;
    }
    // Ascending; nullopt when empty.
    std::optional<std::vector<T>> sortedObjects() const {
        if (values_.empty()) {
            return std::nullopt;
        }
        std::vector<T> sorted = values_;
        std::sort(sorted.begin(), sorted.end(), [this](const T& a, const T& b) { return compare_(a, b) < 0; });
        return sorted;
    }

private:
    // std heaps keep the greatest first; the inverted order keeps the smallest there.
    auto greater() const {
        return [this](const T& a, const T& b) { return compare_(a, b) > 0; };
    }

    Comparator compare_;
    std::vector<T> values_;
};

} // namespace ruzave
