#include "ads/core/signals/GADNetwork.h"

#include "platform/net/Reachability.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

std::shared_ptr<GADNetwork> GADNetwork::init() {
    std::shared_ptr<GADNetwork> n(new GADNetwork());
    n->lockQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.network");
    n->enableCheckingQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.network-enable");
    return n;
}

GADNetwork::~GADNetwork() {
    // Nothing queued from here may reach this object; the callback only holds it weakly anyway.
    if (networkReachabilityRef_) {
        networkReachabilityRef_->stopNotifier();
        networkReachabilityRef_->setCallback(nullptr);
    }
}

std::optional<std::string> GADNetwork::stringForNetworkType(GADNetworkType type) {
    switch (type) {
    case GADNetworkTypeWiFi: return "wi";
    case GADNetworkTypeCellular: return "ed";
    default: return std::nullopt;
    }
}

void GADNetwork::enableNetworkChecking() {
    auto self = shared_from_this();
    lockQueue_->sync([self] {
        if (self->networkReachabilityRef_) return;
        self->setNetworkType(GADNetworkTypeUnknown);
        auto reachability = platform::Reachability::forHostName(kReachabilityHostName);
        if (!reachability) return;
        std::weak_ptr<GADNetwork> weak = self;
        reachability->setCallback(
            [weak](platform::Reachability&, std::uint32_t flags) {
                if (auto network = weak.lock()) network->setNetworkTypeFromFlags(flags);
            },
            self->enableCheckingQueue_);
        if (!reachability->startNotifier()) return;
        self->networkReachabilityRef_ = std::move(reachability);
        self->selfReference_ = self;
    });
}

void GADNetwork::disableNetworkChecking() {
    std::shared_ptr<GADNetwork> released;
    auto self = shared_from_this();
    lockQueue_->sync([&] {
        if (!self->networkReachabilityRef_) return;
        self->networkReachabilityRef_->stopNotifier();
        self->networkReachabilityRef_->setCallback(nullptr);
        self->networkReachabilityRef_.reset();
        self->setNetworkType(GADNetworkTypeUnknown);
        // Dropped after the queue block, so the last reference never goes inside it.
        released = std::move(self->selfReference_);
    });
}

bool GADNetwork::isCheckingEnabled() const {
    bool on = false;
    lockQueue_->sync([&] { on = networkReachabilityRef_ != nullptr; });
    return on;
}

GADNetworkType GADNetwork::networkType() const {
    GADNetworkType t = GADNetworkTypeUnknown;
    lockQueue_->sync([&] { t = networkType_; });
    return t;
}

void GADNetwork::setNetworkType(GADNetworkType type) {
    auto self = shared_from_this();
    lockQueue_->async([self, type] {
        if (type == self->networkType_) return;
        if (type != GADNetworkTypeUnknown) {
            ++self->changeCount_;
            if (type >= GADNetworkTypeWiFi) self->lastKnownNetworkType_ = type;
        }
        self->networkType_ = type;
    });
}

void GADNetwork::setNetworkTypeFromFlags(std::uint32_t flags) {
    if ((flags & kWWANFlag) != 0) {
        setNetworkType(GADNetworkTypeCellular);
    } else if ((flags & kReachableFlag) != 0) {
        setNetworkType(GADNetworkTypeWiFi);
    } else {
        setNetworkType(GADNetworkTypeNone);
    }
}

std::uint32_t GADNetwork::changeCount() const {
    std::uint32_t c = 0;
    lockQueue_->sync([&] { c = changeCount_; });
    return c;
}

GADNetworkType GADNetwork::lastKnownNetworkType() const {
    GADNetworkType t = GADNetworkTypeUnknown;
    lockQueue_->sync([&] { t = lastKnownNetworkType_; });
    return t;
}

std::optional<std::string> GADNetwork::networkTypeString() const { return stringForNetworkType(networkType()); }

std::optional<std::string> GADNetwork::lastKnownNetworkTypeString() const {
    return stringForNetworkType(lastKnownNetworkType());
}

} // namespace ruzave
