#include "tools/adserver/TrackingRoutes.h"

#include <atomic>
#include <cstdlib>
#include <memory>

#include "tools/adserver/AdServer.h"

namespace adserver {

void installTrackingEndpoints(AdServer& server) {
    server.route("/track/redirect", [](const Request& r) { return Response::redirect(r.param("to")); });
    server.route("/track/loop", [](const Request&) { return Response::redirect("/track/loop"); });
    server.route("/track/file", [](const Request& r) {
        // The client stamps its copy with our date, so an unchanged file comes back as the same text.
        if (r.header("if-modified-since") == kTrackingFileDate) return Response::text("", "text/plain", 304);
        return Response::text(kTrackingFileBody).header("Last-Modified", kTrackingFileDate);
    });
    server.route("/track/status", [](const Request& r) {
        int code = std::atoi(r.param("code").c_str());
        return Response::text("", "text/plain", code >= 100 && code <= 599 ? code : 400);
    });
    auto count = std::make_shared<std::atomic<unsigned long>>(0);
    server.route("/track/flaky", [count](const Request&) {
        return Response::text("", "text/plain", (++*count % 2) == 0 ? 500 : 204);
    });
}

} // namespace adserver
