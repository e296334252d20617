#include "tools/adserver/AdServer.h"

#include "tests/tools/adserver/ConnectBurst.h"

#include <doctest/doctest.h>

#include <curl/curl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <thread>

using adserver::AdServer;
using adserver::Fault;
using adserver::Options;
using adserver::Request;
using adserver::Response;

namespace {

const std::string kHost = "ads.ruzave.example";

struct Fetched {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // names lower-cased
    double seconds = 0;

    std::vector<std::string> header(const std::string& lowerName) const {
        std::vector<std::string> out;
        for (const auto& [name, value] : headers) {
            if (name == lowerName) out.push_back(value);
        }
        return out;
    }
};

struct Fetch {
    std::string method = "GET";
    std::string body;
    std::vector<std::string> headers;
    std::string connectTo;  // "" : the server's own spec
    long timeoutMs = 10000;
};

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<Fetched*>(target)->body.append(data, size * count);
    return size * count;
}

std::size_t collectHeader(char* data, std::size_t size, std::size_t count, void* target) {
    std::string line(data, size * count);
    std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n") + 1);
        static_cast<Fetched*>(target)->headers.emplace_back(name, value);
    }
    return size * count;
}

// One request with a fresh handle: the server's CA as the only trust, its host names mapped to it.
Fetched fetch(const AdServer& server, const std::string& url, const Fetch& options = {}) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    REQUIRE(initialised);
    Fetched out;
    CURL* curl = curl_easy_init();
    REQUIRE(curl);
    std::string caFile = server.caFile();
    std::string connectTo = options.connectTo.empty() ? server.connectToSpec(443) : options.connectTo;
    curl_slist* connect = nullptr;
    std::size_t start = 0;
    while (start < connectTo.size()) {  // one list entry per host
        std::size_t comma = connectTo.find(',', start);
        if (comma == std::string::npos) comma = connectTo.size();
        connect = curl_slist_append(connect, connectTo.substr(start, comma - start).c_str());
        start = comma + 1;
    }
    curl_slist* headers = nullptr;
    for (const auto& h : options.headers) headers = curl_slist_append(headers, h.c_str());

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connect);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &out);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.timeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (options.method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (options.method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, options.method.c_str());
    }
    if (!options.body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(options.body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, options.body.data());
    }
    auto begin = std::chrono::steady_clock::now();
    out.code = curl_easy_perform(curl);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(connect);
    curl_slist_free_all(headers);
    return out;
}

std::unique_ptr<AdServer> startServer(std::vector<std::string> hosts = {kHost}) {
    Options options;
    options.hostNames = std::move(hosts);
    auto server = AdServer::start(options);
    REQUIRE(server);
    return server;
}

std::string url(const std::string& path, const std::string& host = kHost) { return "https://" + host + path; }

} // namespace

TEST_CASE("AdServer: serves TLS for its host names through connect-to, validated against its CA") {
    auto server = startServer({kHost, "cdn.ruzave.example"});
    server->route("/hello", Response::text("hello", "text/plain"));

    auto named = fetch(*server, url("/hello"));
    CHECK(named.code == CURLE_OK);
    CHECK(named.status == 200);
    CHECK(named.body == "hello");
    CHECK(fetch(*server, url("/hello", "cdn.ruzave.example")).body == "hello");
    // The address itself and localhost are in the certificate too.
    CHECK(fetch(*server, server->baseURL() + "/hello").body == "hello");
    CHECK(fetch(*server, server->baseURL("localhost") + "/hello").body == "hello");

    Fetch unnamed;
    unnamed.connectTo = "other.example:443:127.0.0.1:" + std::to_string(server->port());
    auto wrongHost = fetch(*server, "https://other.example/hello", unnamed);
    CHECK(wrongHost.code == CURLE_PEER_FAILED_VERIFICATION);
    CHECK(server->requestCount("/hello") == 4);  // the refused handshake never reached the server
}

TEST_CASE("AdServer: connectToSpec maps every host name to the server's port in curl's form") {
    auto server = startServer({"a.example", "b.example"});
    std::string port = std::to_string(server->port());
    CHECK(server->connectToSpec() == "a.example:443:127.0.0.1:" + port + ",b.example:443:127.0.0.1:" + port);
    CHECK(server->connectToSpec(80) == "a.example:80:127.0.0.1:" + port + ",b.example:80:127.0.0.1:" + port);
    CHECK(server->address() == "127.0.0.1");
    CHECK(server->baseURL("a.example") == "https://a.example:" + port);
}

TEST_CASE("AdServer: routes by host, exact path, longest prefix, and answers 404 otherwise") {
    auto server = startServer({kHost, "other.ruzave.example"});
    server->route("/ad", Response::text("exact"));
    server->routeHost("other.ruzave.example", "/ad", [](const Request&) { return Response::text("host"); });
    server->routePrefix("/ad", [](const Request& r) { return Response::text("prefix " + r.path); });
    server->routePrefix("/ad/native", [](const Request&) { return Response::text("longer prefix"); });

    CHECK(fetch(*server, url("/ad?x=1")).body == "exact");
    CHECK(fetch(*server, url("/ad", "other.ruzave.example")).body == "host");
    CHECK(fetch(*server, url("/ad/banner")).body == "prefix /ad/banner");
    CHECK(fetch(*server, url("/ad/native/1")).body == "longer prefix");

    auto missing = fetch(*server, url("/nothing/here"));
    CHECK(missing.status == 404);
    CHECK_FALSE(missing.body.empty());
    CHECK(missing.body.size() < 100);
    CHECK(server->requestCount("/nothing/here") == 1);  // 404s are logged too

    server->unroute("/ad");
    CHECK(fetch(*server, url("/ad")).status == 404);
}

TEST_CASE("AdServer: serves a folder's files with their content types") {
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("adserver-files-" + std::to_string(rd()));
    std::filesystem::create_directories(dir / "js");
    std::ofstream(dir / "js" / "app.js") << "var x = 1;";
    auto server = startServer();
    server->serveFolder("/static", dir.string());

    auto file = fetch(*server, url("/static/js/app.js"));
    CHECK(file.status == 200);
    CHECK(file.body == "var x = 1;");
    CHECK(file.header("content-type") == std::vector<std::string>{"application/javascript; charset=utf-8"});
    CHECK(fetch(*server, url("/static/js/none.js")).status == 404);
    std::filesystem::remove_all(dir);
}

TEST_CASE("AdServer: logs method, path, raw query, decoded params, lower-cased headers, form body and host") {
    auto server = startServer();
    server->route("/report", Response::text("ok"));

    Fetch post;
    post.method = "POST";
    post.body = "c=3&d=%E2%82%AC+x&a=form";
    post.headers = {"X-Custom-Thing: Value One", "Content-Type: application/x-www-form-urlencoded"};
    auto answer = fetch(*server, url("/report?a=1&b=x+y%21&a=2"), post);
    REQUIRE(answer.code == CURLE_OK);

    auto logged = server->requests("/report");
    REQUIRE(logged.size() == 1);
    const Request& r = logged[0];
    CHECK(r.method == "POST");
    CHECK(r.path == "/report");
    CHECK(r.query == "a=1&b=x+y%21&a=2");
    CHECK(r.body == post.body);
    CHECK(r.host == kHost);  // without the port
    CHECK(r.header("x-custom-thing") == "Value One");
    CHECK(r.header("X-Custom-Thing") == "Value One");
    CHECK(r.headers.count("x-custom-thing") == 1);
    CHECK(r.param("b") == "x y!");
    CHECK(r.param("d") == "\xE2\x82\xAC x");
    CHECK(r.param("missing").empty());
    auto [from, to] = r.params.equal_range("a");
    std::vector<std::string> as;
    for (auto it = from; it != to; ++it) as.push_back(it->second);
    CHECK(as == std::vector<std::string>{"1", "2", "form"});  // query first, then the form body
    CHECK(r.time >= 0);

    // A body that is not a form adds no parameters.
    Fetch json;
    json.method = "POST";
    json.body = "e=5";
    json.headers = {"Content-Type: application/json"};
    fetch(*server, url("/report"), json);
    auto all = server->requests();
    REQUIRE(all.size() == 2);
    CHECK(all[1].param("e").empty());
    CHECK(all[1].time >= all[0].time);

    server->clearLog();
    CHECK(server->requests().empty());
    CHECK(server->requestCount("/report") == 0);
}

TEST_CASE("AdServer: every method routes alike") {
    auto server = startServer();
    server->route("/any", [](const Request& r) { return Response::text("method " + r.method); });
    for (const std::string method : {"GET", "POST", "PUT", "PATCH", "DELETE", "OPTIONS"}) {
        Fetch f;
        f.method = method;
        if (method != "GET") f.body = "x";
        auto answer = fetch(*server, url("/any"), f);
        CHECK_MESSAGE(answer.body == "method " + method, method);
    }
    Fetch head;
    head.method = "HEAD";
    auto answer = fetch(*server, url("/any"), head);
    CHECK(answer.status == 200);
    CHECK(answer.body.empty());
    CHECK(answer.header("content-length") == std::vector<std::string>{"11"});  // "method HEAD", as GET would send
    auto logged = server->requests("/any");
    REQUIRE(logged.size() == 7);
    CHECK(logged.back().method == "HEAD");
}

TEST_CASE("AdServer: waitForRequest returns once the count is reached, and false at the timeout") {
    auto server = startServer();
    server->route("/ping", Response::text(""));
    CHECK_FALSE(server->waitForRequest("/ping", 1, std::chrono::milliseconds(20)));

    auto client = std::async(std::launch::async, [&] {
        fetch(*server, url("/ping"));
        fetch(*server, url("/ping"));
    });
    CHECK(server->waitForRequest("/ping", 2, std::chrono::seconds(10)));
    client.get();
    CHECK(server->requestCount("/ping") == 2);
    CHECK_FALSE(server->waitForRequest("/ping", 3, std::chrono::milliseconds(20)));
}

TEST_CASE("AdServer: a delayed answer arrives after the delay, and a client may time out first") {
    auto server = startServer();
    Response slow = Response::text("late");
    slow.delay = std::chrono::milliseconds(250);
    server->route("/slow", slow);

    auto answer = fetch(*server, url("/slow"));
    CHECK(answer.code == CURLE_OK);
    CHECK(answer.body == "late");
    CHECK(answer.seconds >= 0.25);

    slow.delay = std::chrono::seconds(30);
    server->route("/slow", slow);
    Fetch impatient;
    impatient.timeoutMs = 300;
    auto timedOut = fetch(*server, url("/slow"), impatient);
    CHECK(timedOut.code == CURLE_OPERATION_TIMEDOUT);
    CHECK(timedOut.seconds < 10);
}

TEST_CASE("AdServer: stopping cuts a pending delay short") {
    auto server = startServer();
    Response stuck = Response::text("never");
    stuck.delay = std::chrono::seconds(60);
    server->route("/stuck", stuck);
    const AdServer& peer = *server;
    auto client = std::async(std::launch::async, [&peer] { return fetch(peer, url("/stuck")); });
    REQUIRE(server->waitForRequest("/stuck"));  // logged on arrival, not after the delay

    auto begin = std::chrono::steady_clock::now();
    server.reset();
    CHECK(std::chrono::steady_clock::now() - begin < std::chrono::seconds(5));
    // The client gets whatever the server sent on the way down, never a 60 s wait.
    auto answer = client.get();
    CHECK(answer.seconds < 10);
}

TEST_CASE("AdServer: a delay ends when its client gives up, so answers that never come hold no thread") {
    auto server = startServer();
    Response never = Response::text("never");
    never.delay = std::chrono::hours(1);
    server->route("/never", never);
    server->route("/fine", Response::text("fine"));

    // More impatient clients than the server has threads, all at once.
    const AdServer& peer = *server;
    std::vector<std::future<Fetched>> clients;
    for (int i = 0; i < 24; ++i) {
        clients.push_back(std::async(std::launch::async, [&peer] {
            Fetch impatient;
            // Long enough for a secure connection on a loaded machine in an instrumented build.
            impatient.timeoutMs = 4000;
            return fetch(peer, url("/never"), impatient);
        }));
    }
    for (auto& client : clients)
        CHECK(client.get().code == CURLE_OPERATION_TIMEDOUT);
    CHECK(server->requestCount("/never") >= 16);

    auto answer = fetch(*server, url("/fine"));
    CHECK(answer.code == CURLE_OK);
    CHECK(answer.body == "fine");
}

TEST_CASE("AdServer: a dropped connection reaches the client as an error without an answer") {
    auto server = startServer();
    Response drop;
    drop.fault = Fault::Drop;
    drop.body = "must not arrive";
    server->route("/drop", drop);
    server->route("/fine", Response::text("fine"));

    auto answer = fetch(*server, url("/drop"));
    CHECK((answer.code == CURLE_GOT_NOTHING || answer.code == CURLE_RECV_ERROR));
    CHECK(answer.status == 0);
    CHECK(answer.body.empty());
    CHECK(server->requestCount("/drop") == 1);
    CHECK(fetch(*server, url("/fine")).body == "fine");  // the server keeps serving
}

TEST_CASE("AdServer: a truncated body announces the full length and ends early") {
    auto server = startServer();
    Response cut = Response::text(std::string(10000, 'x'));
    cut.fault = Fault::Truncate;
    cut.truncateAt = 100;
    server->route("/cut", cut);

    auto answer = fetch(*server, url("/cut"));
    CHECK(answer.code == CURLE_PARTIAL_FILE);
    CHECK(answer.status == 200);
    CHECK(answer.header("content-length") == std::vector<std::string>{"10000"});
    CHECK(answer.body == std::string(100, 'x'));

    cut.truncateAt = 0;
    server->route("/cut", cut);
    auto nothing = fetch(*server, url("/cut"));
    CHECK(nothing.code == CURLE_PARTIAL_FILE);
    CHECK(nothing.body.empty());
}

TEST_CASE("AdServer: redirect sends the status and Location") {
    auto server = startServer();
    server->route("/go", Response::redirect("https://" + kHost + "/there"));
    server->route("/moved", Response::redirect("/elsewhere", 301));
    auto found = fetch(*server, url("/go"));
    CHECK(found.status == 302);
    CHECK(found.header("location") == std::vector<std::string>{"https://" + kHost + "/there"});
    auto moved = fetch(*server, url("/moved"));
    CHECK(moved.status == 301);
    CHECK(moved.header("location") == std::vector<std::string>{"/elsewhere"});
}

TEST_CASE("AdServer: sends headers with repeats, lets a route's Content-Type win, and never compresses") {
    auto server = startServer();
    Response page = Response::html(std::string(4000, 'a'), 203);
    page.header("Set-Cookie", "a=1; Path=/").header("Set-Cookie", "b=2; Path=/").header("X-Ad-Type", "banner");
    server->route("/page", page);
    server->route("/custom", Response::html("{}").header("content-type", "application/x-custom"));
    server->route("/json", Response::json("{\"a\":1}"));

    Fetch gzip;
    gzip.headers = {"Accept-Encoding: gzip, deflate, br"};
    auto answer = fetch(*server, url("/page"), gzip);
    CHECK(answer.status == 203);
    CHECK(answer.header("set-cookie") == std::vector<std::string>{"a=1; Path=/", "b=2; Path=/"});
    CHECK(answer.header("x-ad-type") == std::vector<std::string>{"banner"});
    CHECK(answer.header("content-type") == std::vector<std::string>{"text/html; charset=utf-8"});
    CHECK(answer.header("content-encoding").empty());
    CHECK(answer.body == std::string(4000, 'a'));

    CHECK(fetch(*server, url("/custom")).header("content-type") == std::vector<std::string>{"application/x-custom"});
    CHECK(fetch(*server, url("/json")).header("content-type") == std::vector<std::string>{"application/json"});
}

TEST_CASE("AdServer: a header value with CR, LF or NUL, or a header that is no name, is refused with a 500") {
    auto server = startServer();
    server->route("/crlf", Response::html("x").header("X-A", "1\r\nSet-Cookie: evil=1").header("X-B", "2"));
    server->route("/lf", Response::html("x").header("X-A", "1\nX-B: 3").header("X-B", "2"));
    server->route("/cr", Response::html("x").header("X-A", "1\r"));
    server->route("/nul", Response::html("x").header("X-A", std::string("1\0" "2", 3)));
    server->route("/colon", Response::html("x").header("X-A: 1\r\nX-B", "2"));
    server->route("/space", Response::html("x").header("X A", "1"));
    server->route("/location", Response::redirect("/there\r\nSet-Cookie: evil=1"));
    Response type = Response::html("x");
    type.contentType = "text/html\r\nSet-Cookie: evil=1";
    server->route("/type", type);
    server->route("/fine", Response::html("x").header("X-A", "tab\tand caf\xc3\xa9"));

    for (const char* path : {"/crlf", "/lf", "/cr", "/nul", "/colon", "/space", "/location", "/type"}) {
        CAPTURE(path);
        auto answer = fetch(*server, url(path));
        CHECK(answer.code == CURLE_OK);
        CHECK(answer.status == 500);
        CHECK(answer.body == "header refused\n");
        CHECK(answer.header("set-cookie").empty());
        CHECK(answer.header("x-a").empty());
        CHECK(answer.header("x-b").empty());
        CHECK(answer.header("location").empty());
    }
    auto fine = fetch(*server, url("/fine"));
    CHECK(fine.status == 200);
    CHECK(fine.header("x-a") == std::vector<std::string>{"tab\tand caf\xc3\xa9"});
}

TEST_CASE("AdServer: a throwing handler answers 500 and the server keeps serving") {
    auto server = startServer();
    server->route("/boom", [](const Request&) -> Response { throw std::runtime_error("boom"); });
    server->route("/ok", Response::text("ok"));
    auto answer = fetch(*server, url("/boom"));
    CHECK(answer.code == CURLE_OK);
    CHECK(answer.status == 500);
    CHECK(server->requestCount("/boom") == 1);
    CHECK(fetch(*server, url("/ok")).body == "ok");
}

TEST_CASE("AdServer: receives a large body intact") {
    auto server = startServer();
    server->route("/upload", [](const Request& r) { return Response::text(std::to_string(r.body.size())); });
    std::string big(3 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    Fetch put;
    put.method = "PUT";
    put.body = big;
    put.headers = {"Content-Type: application/octet-stream"};
    auto answer = fetch(*server, url("/upload"), put);
    CHECK(answer.code == CURLE_OK);
    CHECK(answer.body == std::to_string(big.size()));
    auto logged = server->requests("/upload");
    REQUIRE(logged.size() == 1);
    CHECK(logged[0].body == big);
}

TEST_CASE("AdServer: two servers run at once, each with its own port, routes and CA") {
    auto first = startServer();
    auto second = startServer();
    CHECK(first->port() != second->port());
    first->route("/who", Response::text("first"));
    second->route("/who", Response::text("second"));
    CHECK(fetch(*first, url("/who")).body == "first");
    CHECK(fetch(*second, url("/who")).body == "second");

    // The first CA does not vouch for the second server.
    Fetch crossed;
    crossed.connectTo = second->connectToSpec();
    CHECK(fetch(*first, url("/who"), crossed).code == CURLE_PEER_FAILED_VERIFICATION);
}

TEST_CASE("AdServer: keeps its files in a given folder, and removes a temporary one when it stops") {
    std::string temporaryCA;
    {
        auto server = startServer();
        temporaryCA = server->caFile();
        CHECK(std::filesystem::exists(temporaryCA));
    }
    CHECK_FALSE(std::filesystem::exists(std::filesystem::path(temporaryCA).parent_path()));

    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("adserver-keep-" + std::to_string(rd())) / "nested";
    {
        Options options;
        options.folder = dir.string();
        auto server = AdServer::start(options);
        REQUIRE(server);
        CHECK(server->caFile() == (dir / "ca.pem").string());
    }
    CHECK(std::filesystem::exists(dir / "ca.pem"));
    CHECK(std::filesystem::exists(dir / "server.pem"));
    struct stat st {};
    REQUIRE(::stat((dir / "server.key").c_str(), &st) == 0);
    CHECK((st.st_mode & 0777) == 0600);
    std::filesystem::remove_all(dir.parent_path());
}

TEST_CASE("AdServer: refuses to start for an unusable host name or a taken port") {
    Options bad;
    bad.hostNames = {"not a host"};
    CHECK(AdServer::start(bad) == nullptr);

    auto server = startServer();
    Options taken;
    taken.port = server->port();
    CHECK(AdServer::start(taken) == nullptr);
}

TEST_CASE("AdServer: stops promptly while a client keeps its connection open") {
    auto server = startServer();
    server->route("/keep", Response::text("kept"));
    CURL* curl = curl_easy_init();
    REQUIRE(curl);
    std::string caFile = server->caFile();
    std::string target = url("/keep");
    curl_slist* connect = curl_slist_append(nullptr, server->connectToSpec().c_str());
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connect);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* d, std::size_t s, std::size_t n, void* t) {
        static_cast<std::string*>(t)->append(d, s * n);
        return s * n;
    });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    REQUIRE(curl_easy_perform(curl) == CURLE_OK);  // the handle keeps the connection alive
    CHECK(body == "kept");

    // Stopping shuts the kept connection rather than waiting out its keep-alive; a loaded machine may
    // still take a second or more to wind the server's threads down.
    const auto begin = std::chrono::steady_clock::now();
    server.reset();
    const double stopSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    MESSAGE("stopped after " << stopSeconds << " s");
    CHECK(stopSeconds < 5);
    curl_easy_cleanup(curl);
    curl_slist_free_all(connect);
}

TEST_CASE("AdServer: a burst of simultaneous connects is accepted without a retransmit") {
    auto server = startServer();
    // Far more than a backlog of a handful takes while the server accepts.
    const auto burst = adserver::testing::connectBurst(server->port(), 200);
    MESSAGE(burst.retransmitted << " of 200 retransmitted, slowest made after " << burst.slowestSeconds << " s");
    CHECK(burst.retransmitted == 0);
    // And it serves on.
    server->route("/after", Response::text("served"));
    CHECK(fetch(*server, url("/after")).body == "served");
}
