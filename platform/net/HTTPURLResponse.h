#pragma once
// The answer to an HTTP request: status, header fields, final URL, and what they tell of the body.
// A plain value; any thread.
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/URL.h"
#include "platform/net/HTTPHeaderFields.h"

namespace platform {

class HTTPURLResponse {
public:
    HTTPURLResponse() = default;
    HTTPURLResponse(URL url, int statusCode, HTTPHeaderFields headers);

    const URL& url() const { return url_; }
    int statusCode() const { return statusCode_; }
    const HTTPHeaderFields& allHeaderFields() const { return headers_; }
    // Repeated fields read as one, their values joined with ", ".
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;

    // The Content-Type's type, lower-cased ("application/octet-stream" without one).
    const std::string& MIMEType() const { return mimeType_; }
    // The Content-Type's charset, lower-cased, if given.
    const std::optional<std::string>& textEncodingName() const { return textEncoding_; }
    // Content-Length, or -1 when unknown.
    long long expectedContentLength() const { return expectedLength_; }
    // Content-Disposition's file name, else the URL's last path component, else "Unknown".
    // Never contains a path separator.
    std::string suggestedFilename() const;

    // The reason phrase of a status code, lower-case ("not found", "internal server error").
    static std::string localizedStringForStatusCode(int statusCode);

private:
    URL url_;
    int statusCode_ = 0;
    HTTPHeaderFields headers_;
    std::string mimeType_ = "application/octet-stream";
    std::optional<std::string> textEncoding_;
    long long expectedLength_ = -1;
};

} // namespace platform
