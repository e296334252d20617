#include "ads/core/net/GADURLRequestAdditions.h"

#include "ads/core/signals/GADDevice.h"

namespace ruzave {

std::optional<platform::URLRequest> gad_requestForURL(const std::optional<platform::URL>& url,
                                                      const std::optional<platform::Bytes>& data,
                                                      const std::optional<platform::Value>& headers,
                                                      const std::optional<std::string>& type) {
    if (!url || !url->isValid()) return std::nullopt;
    platform::URLRequest request(*url);
    platform::HTTPHeaderFields fields;
    if (headers && headers->is_object()) {
        for (auto it = headers->begin(); it != headers->end(); ++it) fields.set(it.key(), platform::stringValue(it.value()));
    }
    request.setAllHTTPHeaderFields(std::move(fields));
    if (auto userAgent = GADDevice::sharedInstance()->userAgentString(); userAgent && !userAgent->empty()) {
        request.setValue(*userAgent, "User-Agent");
    }
    if (data && type) {
        request.setHTTPMethod("POST");
        request.setHTTPBody(*data);
        request.setValue(std::to_string(static_cast<unsigned long>(data->size())), "Content-Length");
        request.setValue(*type, "Content-Type");
    }
    return request;
}

} // namespace ruzave
