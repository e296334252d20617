#pragma once
// A weak holder whose identity is the object's address at wrapping time; the identity outlives the
// object, so sets of references hold one entry per object without owning it. Any thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

namespace ruzave {

class GADWeakReference {
public:
    // nullptr for a null object.
    static std::shared_ptr<GADWeakReference> initWithObject(const std::shared_ptr<void>& object);

    // The object, or nullptr once it is gone.
    std::shared_ptr<void> weakObject() const { return object_.lock(); }
    template <class T>
    std::shared_ptr<T> weakObjectAs() const {
        return std::static_pointer_cast<T>(object_.lock());
    }
    std::uintptr_t uniqueID() const { return uniqueID_; }
    std::size_t hash() const { return static_cast<std::size_t>(uniqueID_); }
    bool isEqual(const GADWeakReference* other) const { return other != nullptr && other->uniqueID_ == uniqueID_; }
    std::string description() const;

    struct Hash {
        std::size_t operator()(const std::shared_ptr<GADWeakReference>& r) const { return r ? r->hash() : 0; }
    };
    struct Equal {
        bool operator()(const std::shared_ptr<GADWeakReference>& a, const std::shared_ptr<GADWeakReference>& b) const {
            return a == b || (a && a->isEqual(b.get()));
        }
    };
    using Set = std::unordered_set<std::shared_ptr<GADWeakReference>, Hash, Equal>;

    // Whether `set` holds a reference to `object`; false for a null object.
    static bool setContainsObject(const Set& set, const std::shared_ptr<void>& object);

private:
    GADWeakReference() = default;
    std::weak_ptr<void> object_;
    std::uintptr_t uniqueID_ = 0;
};

} // namespace ruzave
