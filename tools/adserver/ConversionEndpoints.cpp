#include "tools/adserver/ConversionEndpoints.h"

namespace adserver {

std::vector<std::string> ConversionEndpoints::hostNames() {
    return {kConversionHost, kActivityHost};
}

bool ConversionEndpoints::isConversionPing(const Request& request) {
    return request.path.rfind(kConversionPathPrefix, 0) == 0 || request.path.rfind(kActivityPathPrefix, 0) == 0;
}

std::vector<Request> ConversionEndpoints::pings(const AdServer& server) {
    std::vector<Request> out;
    for (auto& request : server.requests()) {
        if (isConversionPing(request)) out.push_back(std::move(request));
    }
    return out;
}

void installConversionEndpoints(AdServer& server, const ConversionEndpoints& answer) {
    Handler handler = [answer](const Request& request) {
        Response response;
        if (answer.redirectLoop) {
            std::string self = "https://" + request.host + request.path;
            if (!request.query.empty()) self += "?" + request.query;
            response = Response::redirect(self, 302);
        } else {
            response = Response::text(answer.body, "text/plain", answer.status);
        }
        response.delay = answer.delay;
        return response;
    };
    server.routePrefix(ConversionEndpoints::kConversionPathPrefix, handler);
    server.routePrefix(ConversionEndpoints::kActivityPathPrefix, handler);
}

} // namespace adserver
