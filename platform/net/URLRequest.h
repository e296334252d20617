#pragma once
// A URL load request: URL, method, header fields, body, cache policy, timeout and cookie handling.
// A plain value; any thread.
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/net/HTTPHeaderFields.h"

namespace platform {

class URLRequest {
public:
    enum class CachePolicy { UseProtocolCachePolicy = 0, ReloadIgnoringLocalCacheData = 1 };
    static constexpr double DefaultTimeoutInterval = 60.0;

    URLRequest() = default;
    explicit URLRequest(URL url, CachePolicy cachePolicy = CachePolicy::UseProtocolCachePolicy,
                        double timeoutInterval = DefaultTimeoutInterval);
    // nullopt when the text is no URL.
    static std::optional<URLRequest> withURLString(std::string_view text);

    const URL& url() const { return url_; }
    void setURL(URL url) { url_ = std::move(url); }

    const std::string& httpMethod() const { return method_; }
    // An empty method reads as GET.
    void setHTTPMethod(std::string method);

    const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    void setAllHTTPHeaderFields(HTTPHeaderFields headers) { headers_ = std::move(headers); }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
    // Replaces the field's value (an empty value removes the field).
    void setValue(std::string_view value, std::string_view field);
    // Appends to the field's value, comma-separated, as one field.
    void addValue(std::string_view value, std::string_view field);

    const Bytes& httpBody() const { return body_; }
    void setHTTPBody(Bytes body) { body_ = std::move(body); }
    void setHTTPBody(std::string_view body) { body_.assign(body.begin(), body.end()); }

    CachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(CachePolicy policy) { cachePolicy_ = policy; }
    double timeoutInterval() const { return timeoutInterval_; }
    // Non-positive or non-finite values read as the default.
    void setTimeoutInterval(double seconds);
    bool httpShouldHandleCookies() const { return handleCookies_; }
    void setHTTPShouldHandleCookies(bool handle) { handleCookies_ = handle; }
    const std::optional<URL>& mainDocumentURL() const { return mainDocumentURL_; }
    void setMainDocumentURL(std::optional<URL> url) { mainDocumentURL_ = std::move(url); }

    bool operator==(const URLRequest& o) const;

private:
    URL url_;
    std::string method_ = "GET";
    HTTPHeaderFields headers_;
    Bytes body_;
    CachePolicy cachePolicy_ = CachePolicy::UseProtocolCachePolicy;
    double timeoutInterval_ = DefaultTimeoutInterval;
    bool handleCookies_ = true;
    std::optional<URL> mainDocumentURL_;
};

} // namespace platform
