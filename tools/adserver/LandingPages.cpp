#include "tools/adserver/LandingPages.h"

#include <cstdlib>

#include "tools/adserver/AdServer.h"

namespace adserver {
namespace {

// Page text goes into HTML: only the characters that could break out are replaced.
std::string escapeHTML(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Hop counts stay small whatever the query says.
int hopsOf(const Request& request) {
    int hops = std::atoi(request.param("hops").c_str());
    if (hops < 1) return 1;
    return hops > 50 ? 50 : hops;
}

} // namespace

void installLandingPages(AdServer& server) {
    server.route("/landing/page", [](const Request& request) {
        std::string title = request.param("title");
        if (title.empty()) title = "Landing";
        return Response::html("<!DOCTYPE html><html><head><title>" + escapeHTML(title) +
                              "</title></head><body><h1 id=\"title\">" + escapeHTML(title) +
                              "</h1><a id=\"next\" href=\"/landing/next\">Next</a> "
                              "<a id=\"call\" href=\"tel:5550100\">Call us</a>"
                              "<form id=\"form\" method=\"post\" action=\"/landing/next\">"
                              "<input type=\"hidden\" name=\"q\" value=\"1\"></form></body></html>");
    });
    server.route("/landing/next", [](const Request&) {
        return Response::html("<!DOCTYPE html><html><head><title>Next</title></head><body>"
                              "<h1 id=\"title\">Next</h1></body></html>");
    });
    server.route("/landing/redirect", [](const Request& request) {
        std::string to = request.param("to");
        if (to.empty()) to = "/landing/page";
        int hops = hopsOf(request);
        if (hops > 1) {
            // The rest of the chain, with the target carried along (percent-coded where it matters).
            std::string coded;
            for (char c : to) {
                if (c == '&' || c == '?' || c == '=' || c == '%' || c == '#' || c == ' ') {
                    static const char* hex = "0123456789ABCDEF";
                    coded += '%';
                    coded += hex[(static_cast<unsigned char>(c) >> 4) & 15];
                    coded += hex[static_cast<unsigned char>(c) & 15];
                } else {
                    coded += c;
                }
            }
            return Response::redirect("/landing/redirect?hops=" + std::to_string(hops - 1) + "&to=" + coded);
        }
        return Response::redirect(to);
    });
    server.route("/landing/loop", [](const Request&) { return Response::redirect("/landing/loop"); });
    server.route("/landing/referer", [](const Request& request) {
        return Response::html("<!DOCTYPE html><html><body><p id=\"referer\">" +
                              escapeHTML(request.header("referer")) + "</p></body></html>");
    });
    server.route("/landing/missing", [](const Request&) {
        return Response::html("<!DOCTYPE html><html><body>Not here</body></html>", 404);
    });
}

} // namespace adserver
