#include "tools/adserver/Router.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <random>

using adserver::Handler;
using adserver::Request;
using adserver::Response;
using adserver::Router;

namespace {

Handler answer(const std::string& text) {
    return [text](const Request&) { return Response::text(text); };
}

std::string run(const Router& router, const std::string& host, const std::string& path) {
    Handler h = router.resolve(host, path);
    if (!h) return "<none>";
    Request r;
    r.host = host;
    r.path = path;
    return h(r).body;
}

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        std::random_device rd;
        path = std::filesystem::temp_directory_path() / ("adserver-router-" + std::to_string(rd()));
        std::filesystem::create_directories(path / "sub");
        write("a.js", "var a;");
        write("sub/index.html", "<p>sub</p>");
        std::filesystem::create_directories(path.parent_path() / (path.filename().string() + "-secret"));
        std::ofstream(path.parent_path() / (path.filename().string() + "-secret") / "key") << "secret";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
        std::filesystem::remove_all(path.parent_path() / (path.filename().string() + "-secret"), ec);
    }
    void write(const std::string& name, const std::string& content) const { std::ofstream(path / name) << content; }
};

} // namespace

TEST_CASE("Router: a host's route beats the any-host route, which beats prefixes, which beat folders") {
    TempFolder folder;
    Router router;
    router.serveFolder("/", folder.path.string());
    router.routePrefix("/a", answer("prefix /a"));
    router.routePrefix("/a.js/", answer("prefix /a.js/"));
    router.route("/a.js", answer("exact"));
    router.routeHost("Ads.Example", "/a.js", answer("host"));

    CHECK(run(router, "ads.example", "/a.js") == "host");  // host names compare case-insensitively
    CHECK(run(router, "other.example", "/a.js") == "exact");
    CHECK(run(router, "other.example", "/a.js/more") == "prefix /a.js/");  // longest prefix
    CHECK(run(router, "other.example", "/abc") == "prefix /a");
    CHECK(run(router, "other.example", "/sub/") == "<p>sub</p>");
    CHECK(run(router, "other.example", "/missing") == "<none>");

    router.unroute("/a.js");  // removes the exact and the host route
    CHECK(run(router, "ads.example", "/a.js") == "prefix /a");
    router.unroute("/a");
    CHECK(run(router, "ads.example", "/a.js") == "var a;");
}

TEST_CASE("Router: a later route replaces an earlier one for the same key") {
    Router router;
    router.route("/x", answer("first"));
    router.route("/x", answer("second"));
    router.routePrefix("/p", answer("p1"));
    router.routePrefix("/p", answer("p2"));
    CHECK(run(router, "h", "/x") == "second");
    CHECK(run(router, "h", "/p/q") == "p2");
}

TEST_CASE("Router: folders match whole segments and never serve outside their folder") {
    TempFolder folder;
    Router router;
    router.serveFolder("/static", folder.path.string());
    CHECK(run(router, "h", "/static/a.js") == "var a;");
    CHECK(run(router, "h", "/static//sub") == "<p>sub</p>");
    CHECK(run(router, "h", "/statica.js") == "<none>");
    std::string escape = "/static/../" + folder.path.filename().string() + "-secret/key";
    CHECK(run(router, "h", escape) == "<none>");
    CHECK(Router::fileBelow(folder.path.string(), "sub/../a.js").empty());
    CHECK(Router::fileBelow(folder.path.string(), std::string("a.js\0x", 6)).empty());
    CHECK(Router::fileBelow(folder.path.string(), "./a.js") == folder.path.string() + "/a.js");
}

TEST_CASE("Router: content types follow the file extension") {
    CHECK(Router::contentTypeFor("/x/page.HTML") == "text/html; charset=utf-8");
    CHECK(Router::contentTypeFor("/x/mraid.js") == "application/javascript; charset=utf-8");
    CHECK(Router::contentTypeFor("/x/image.png") == "image/png");
    CHECK(Router::contentTypeFor("/x.d/noextension") == "application/octet-stream");
    CHECK(Router::contentTypeFor("/x/archive.unknown") == "application/octet-stream");
}
