#include "ads/core/public/VODRequest.h"

#include "platform/base/Strings.h"

namespace ruzave {

std::shared_ptr<VODRequest> VODRequest::request() {
    willCreateRequest();
    return std::shared_ptr<VODRequest>(new VODRequest());
}

std::shared_ptr<GADRequest> VODRequest::copy() const {
    auto c = request();
    copyInto(*c);
    c->setPublisherProvidedID(publisherProvidedID_);
    c->setCategoryExclusions(categoryExclusions_);
    c->setCustomTargeting(customTargeting_);
    return c;
}

platform::Value VODRequest::parameters() const {
    platform::Value p = GADRequest::parameters();
    if (publisherProvidedID_) {
        std::string ppid = platform::trim(*publisherProvidedID_);
        if (!ppid.empty()) p["ppid"] = std::move(ppid);
    }
    if (customTargeting_ && !customTargeting_->empty()) {
        platform::Value targeting = platform::Value::object();
        for (const auto& [key, value] : *customTargeting_) targeting[key] = value;
        p["custom_targeting"] = std::move(targeting);
    }
    if (categoryExclusions_ && !categoryExclusions_->empty()) {
        platform::Value exclusions = platform::Value::array();
        for (const auto& category : *categoryExclusions_) exclusions.push_back(category);
        p["category_exclusions"] = std::move(exclusions);
    }
    return p;
}

} // namespace ruzave
