#include "platform/net/URLRequest.h"

#include <cmath>

namespace platform {

URLRequest::URLRequest(URL url, CachePolicy cachePolicy, double timeoutInterval)
    : url_(std::move(url)), cachePolicy_(cachePolicy) {
    setTimeoutInterval(timeoutInterval);
}

std::optional<URLRequest> URLRequest::withURLString(std::string_view text) {
    auto url = URL::parse(text);
    if (!url) return std::nullopt;
    return URLRequest(std::move(*url));
}

void URLRequest::setHTTPMethod(std::string method) { method_ = method.empty() ? "GET" : std::move(method); }

std::optional<std::string> URLRequest::valueForHTTPHeaderField(std::string_view field) const {
    return headers_.value(field);
}

void URLRequest::setValue(std::string_view value, std::string_view field) {
    if (value.empty()) {
        headers_.remove(field);
    } else {
        headers_.set(field, value);
    }
}

void URLRequest::addValue(std::string_view value, std::string_view field) {
    auto current = headers_.value(field);
    if (!current) {
        headers_.set(field, value);
    } else {
        headers_.set(field, *current + "," + std::string(value));
    }
}

void URLRequest::setTimeoutInterval(double seconds) {
    timeoutInterval_ = (std::isfinite(seconds) && seconds > 0) ? seconds : DefaultTimeoutInterval;
}

bool URLRequest::operator==(const URLRequest& o) const {
    return url_ == o.url_ && method_ == o.method_ && headers_ == o.headers_ && body_ == o.body_ &&
           cachePolicy_ == o.cachePolicy_ && timeoutInterval_ == o.timeoutInterval_ &&
           handleCookies_ == o.handleCookies_ && mainDocumentURL_ == o.mainDocumentURL_;
}

} // namespace platform
