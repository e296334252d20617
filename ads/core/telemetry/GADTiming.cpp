#include "ads/core/telemetry/GADTiming.h"

#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "platform/base/Strings.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

std::uint64_t stampFrom(const platform::Value& dictionary, const char* key) {
    const platform::Value* v = platform::find(dictionary, key);
    if (v == nullptr) return 0;
    if (v->is_number_unsigned()) return v->get<std::uint64_t>();
    if (v->is_number_integer()) return v->get<long long>() > 0 ? static_cast<std::uint64_t>(v->get<long long>()) : 0;
    const double d = platform::doubleValue(*v);
    return d > 0 && d < 1.8e19 ? static_cast<std::uint64_t>(d) : 0;
}

} // namespace

std::shared_ptr<GADTiming> GADTiming::initWithCategory(const std::optional<std::string>& category) {
    std::shared_ptr<GADTiming> t(new GADTiming());
    t->category_ = category ? *category : platform::format("GADTiming (%p)", static_cast<const void*>(t.get()));
    t->lockQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.timing");
    return t;
}

std::shared_ptr<GADTiming> GADTiming::initWithDictionaryRepresentation(const platform::Value& dictionary) {
    const std::string* category = platform::findString(dictionary, "category");
    auto t = initWithCategory(category ? std::optional<std::string>(*category) : std::nullopt);
    t->startTimestamp_ = stampFrom(dictionary, "start");
    t->endTimestamp_ = stampFrom(dictionary, "end");
    if (const platform::Value* user = platform::find(dictionary, "userData"); user && user->is_object()) {
        t->userData_ = *user;
    }
    return t;
}

platform::Value GADTiming::dictionaryRepresentation() const {
    platform::Value out = platform::Value::object();
    lockQueue_->sync([&] {
        out["category"] = category_;
        out["start"] = startTimestamp_;
        out["end"] = endTimestamp_;
        if (!userData_.empty()) out["userData"] = userData_;
    });
    return out;
}

std::shared_ptr<GADTiming> GADTiming::copy() const { return initWithDictionaryRepresentation(dictionaryRepresentation()); }

void GADTiming::start() {
    const std::uint64_t now = GADMonotonicMilliseconds();
    auto self = shared_from_this();
    lockQueue_->async([self, now] {
        self->startTimestamp_ = now;
        self->endTimestamp_ = 0;
    });
}

void GADTiming::end() {
    const std::uint64_t now = GADMonotonicMilliseconds();
    auto self = shared_from_this();
    lockQueue_->async([self, now] {
        if (self->startTimestamp_ != 0) self->endTimestamp_ = now;
    });
}

void GADTiming::reset() {
    auto self = shared_from_this();
    lockQueue_->async([self] {
        self->startTimestamp_ = 0;
        self->endTimestamp_ = 0;
    });
}

std::uint64_t GADTiming::startTimestamp() const {
    std::uint64_t v = 0;
    lockQueue_->sync([&] { v = startTimestamp_; });
    return v;
}

std::uint64_t GADTiming::endTimestamp() const {
    std::uint64_t v = 0;
    lockQueue_->sync([&] { v = endTimestamp_; });
    return v;
}

void GADTiming::setStartTimestamp(std::uint64_t stamp) {
    lockQueue_->sync([&] { startTimestamp_ = stamp; });
}

void GADTiming::setEndTimestamp(std::uint64_t stamp) {
    lockQueue_->sync([&] { endTimestamp_ = stamp; });
}

std::uint32_t GADTiming::elapsedMilliseconds() const {
    std::uint32_t v = 0;
    lockQueue_->sync([&] {
        if (endTimestamp_ >= startTimestamp_) {
            v = static_cast<std::uint32_t>(endTimestamp_ - startTimestamp_);
        } else if (!explicitEnd_) {
            v = static_cast<std::uint32_t>(GADMonotonicMilliseconds() - startTimestamp_);
        }
    });
    return v;
}

std::string GADTiming::elapsedMillisecondsString() const { return std::to_string(elapsedMilliseconds()); }

bool GADTiming::isActive() const {
    bool v = false;
    lockQueue_->sync([&] { v = startTimestamp_ != 0 && endTimestamp_ == 0; });
    return v;
}

bool GADTiming::explicitEnd() const {
    bool v = false;
    lockQueue_->sync([&] { v = explicitEnd_; });
    return v;
}

void GADTiming::setExplicitEnd(bool value) {
    lockQueue_->sync([&] { explicitEnd_ = value; });
}

void GADTiming::setValue(const platform::Value& value, const std::string& key) {
    if (key.empty() || value.is_null()) return;
    auto self = shared_from_this();
    lockQueue_->async([self, value, key] { self->userData_[key] = value; });
}

std::optional<platform::Value> GADTiming::valueForKey(const std::string& key) const {
    std::optional<platform::Value> out;
    lockQueue_->sync([&] {
        auto it = userData_.find(key);
        if (it != userData_.end()) out = *it;
    });
    return out;
}

void GADTiming::removeValueForKey(const std::string& key) {
    auto self = shared_from_this();
    lockQueue_->async([self, key] { self->userData_.erase(key); });
}

std::string GADTiming::description() const {
    return platform::format("GADTiming (%p): %s", static_cast<const void*>(this),
                            platform::toJSON(dictionaryRepresentation()).c_str());
}

} // namespace ruzave
