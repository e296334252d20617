#include "tools/adserver/CrashReportRoutes.h"

#include "tools/adserver/AdServer.h"

namespace adserver {

void installCrashReportEndpoint(AdServer& server) {
    server.route("/pagead/gen_204", [](const Request&) { return Response::text("", "text/plain", 204); });
}

} // namespace adserver
