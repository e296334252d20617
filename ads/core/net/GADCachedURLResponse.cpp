#include "ads/core/net/GADCachedURLResponse.h"

namespace ruzave {

std::shared_ptr<GADCachedURLResponse> GADCachedURLResponse::initWithResponse(
    const std::optional<platform::HTTPURLResponse>& response, const std::optional<platform::Bytes>& data,
    std::optional<double> expirationDate, const std::optional<platform::URL>& destinationURL) {
    if (!response || !data || !expirationDate) return nullptr;
    std::shared_ptr<GADCachedURLResponse> r(new GADCachedURLResponse());
    r->response_ = *response;
    r->data_ = *data;
    r->expirationDate_ = *expirationDate;
    r->destinationURL_ = destinationURL;
    return r;
}

} // namespace ruzave
