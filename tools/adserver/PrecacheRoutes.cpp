#include "tools/adserver/PrecacheRoutes.h"

#include <chrono>
#include <cstdlib>

#include "tools/adserver/AdServer.h"

namespace adserver {
namespace {

// Large enough for the benchmark's files, small enough that a typo cannot exhaust memory.
constexpr std::size_t kMaximumSize = 256u * 1024 * 1024;

std::size_t sizeOf(const Request& request) {
    std::string text = request.param("size");
    unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    return n > kMaximumSize ? kMaximumSize : static_cast<std::size_t>(n);
}

Response file(const Request& request) {
    Response response = Response::text(precacheBody(sizeOf(request)), "video/mp4");
    std::string name = request.param("name");
    if (!name.empty()) response.header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    return response;
}

} // namespace

std::string precacheBody(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i % 251);
    return body;
}

void installPrecacheRoutes(AdServer& server) {
    server.route("/precache/known", [](const Request& request) { return file(request); });
    server.route("/precache/unknown", [](const Request& request) {
        Response response = file(request);
        response.unknownLength = true;
        return response;
    });
    server.route("/precache/slow", [](const Request& request) {
        Response response = file(request);
        response.chunkBytes = 4096;
        response.chunkDelay = std::chrono::milliseconds(5);
        return response;
    });
    server.route("/precache/aborted", [](const Request& request) {
        Response response = file(request);
        response.fault = Fault::Truncate;
        response.truncateAt = response.body.size() / 2;
        return response;
    });
    server.route("/precache/status", [](const Request& request) {
        return Response::text("status body\n", "text/plain", std::atoi(request.param("code").c_str()));
    });
}

} // namespace adserver
