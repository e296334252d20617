#pragma once
// One entry of the connection's memory cache: the response, its body, when it expires and the URL it
// finally came from. Immutable once made; any thread.
#include <memory>
#include <optional>

#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/net/HTTPURLResponse.h"

namespace ruzave {

class GADCachedURLResponse {
public:
    // nullptr when the response, the data or the expiration date is missing; the destination may be.
    static std::shared_ptr<GADCachedURLResponse> initWithResponse(const std::optional<platform::HTTPURLResponse>& response,
                                                                  const std::optional<platform::Bytes>& data,
                                                                  std::optional<double> expirationDate,
                                                                  const std::optional<platform::URL>& destinationURL);

    const platform::HTTPURLResponse& response() const { return response_; }
    const platform::Bytes& data() const { return data_; }
    // Seconds since 1970.
    double expirationDate() const { return expirationDate_; }
    const std::optional<platform::URL>& destinationURL() const { return destinationURL_; }

private:
    GADCachedURLResponse() = default;

    platform::HTTPURLResponse response_;
    platform::Bytes data_;
    double expirationDate_ = 0;
    std::optional<platform::URL> destinationURL_;
};

} // namespace ruzave
