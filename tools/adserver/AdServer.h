#pragma once
// The local ad server: HTTPS on 127.0.0.1 for a set of host names, with routes scripted per test,
// faults, and a log of every request. Routes and the log may be touched from any thread; the server
// answers on its own threads.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace adserver {

struct Request {
    std::string method;
    std::string path;                           // without the query
    std::string query;                          // raw, without "?"
    std::multimap<std::string, std::string> params;  // decoded query (and form body) parameters
    std::map<std::string, std::string> headers; // names lower-cased
    std::string body;
    std::string host;                           // the Host header without the port
    double time = 0;                            // seconds since the server started (steady clock)

    std::string header(const std::string& lowerName) const;
    std::string param(const std::string& name) const;  // first value or ""
};

enum class Fault {
    None,
    Drop,      // close the connection without an answer
    Truncate,  // announce the full Content-Length, send only `truncateAt` bytes, then close
};

struct Response {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;  // in order, repeats allowed
    std::string body;
    std::string contentType = "text/html; charset=utf-8";
    // Before answering (real time on the server's thread). A client that closes the connection meanwhile
    // ends the wait, and gets no answer: a long delay is a server that never answers.
    std::chrono::milliseconds delay{0};
    Fault fault = Fault::None;
    std::size_t truncateAt = 0;
    // Stream the body chunked, with no Content-Length, in pieces of `chunkBytes` (0: 64 KiB),
    // waiting `chunkDelay` before each piece. A Truncate fault stops after `truncateAt` bytes.
    // A chunked body of a type the server compresses (text/*, JSON, scripts, XML, SVG) is compressed
    // for a client that accepts it, and the compressor holds every piece until the last: paced pieces
    // meant to reach the client one by one need another type (an image, say).
    bool unknownLength = false;
    std::size_t chunkBytes = 0;
    std::chrono::milliseconds chunkDelay{0};

    static Response html(std::string body, int status = 200);
    static Response json(std::string body, int status = 200);
    static Response text(std::string body, std::string contentType = "text/plain", int status = 200);
    static Response redirect(const std::string& location, int status = 302);
    Response& header(std::string name, std::string value);
};

using Handler = std::function<Response(const Request&)>;

struct Options {
    // Host names the certificate is valid for (127.0.0.1 and localhost are always added).
    std::vector<std::string> hostNames;
    std::uint16_t port = 0;  // 0: any free port
    std::string folder;      // where the CA and certificate files are written (empty: a temp folder)
};

class AdServer {
public:
    // Starts at once; returns nullptr (and logs why) when it cannot.
    static std::unique_ptr<AdServer> start(Options options = {});
    ~AdServer();  // stops

    std::uint16_t port() const;
    std::string address() const;  // "127.0.0.1"
    // "https://<host>:<port>" for a host the certificate names (default: "127.0.0.1").
    std::string baseURL(const std::string& host = "127.0.0.1") const;
    std::string caFile() const;    // PEM of the CA that signed the server certificate
    const std::vector<std::string>& hostNames() const;
    // "host:443:127.0.0.1:port,..." for every host name: curl's CURLOPT_CONNECT_TO form
    // (HOST:PORT:CONNECT-TO-HOST:CONNECT-TO-PORT), comma-separated, as RUZAVE_CONNECT_TO reads it;
    // curl itself takes each entry as its own list item.
    std::string connectToSpec(std::uint16_t fromPort = 443) const;

    // Routes: an exact path (any host), or a path for one host. Later routes replace earlier ones
    // for the same key. A host's route wins over the any-host one, exact routes over prefixes, and
    // prefixes over folders. Unrouted paths answer 404. Handlers run on the server's threads.
    void route(const std::string& path, Handler handler);
    void route(const std::string& path, Response response);
    void routeHost(const std::string& host, const std::string& path, Handler handler);
    // A prefix route: every path that starts with `prefix` (longest prefix wins after exact routes).
    void routePrefix(const std::string& prefix, Handler handler);
    void unroute(const std::string& path);  // the exact, per-host and prefix routes keyed by `path`
    // Serves the files below `folder` for paths below `urlPrefix` (whole segments; a directory answers
    // with its index.html; nothing outside `folder`).
    void serveFolder(const std::string& urlPrefix, const std::string& folder);

    // The request log.
    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& path) const;
    std::size_t requestCount(const std::string& path) const;
    void clearLog();
    // Blocks (real time) until a request for `path` has been logged `count` times. The main loop is NOT
    // run here; tests on the main thread use platform's runUntil with requestCount instead.
    bool waitForRequest(const std::string& path, std::size_t count = 1,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    AdServer(const AdServer&) = delete;
    AdServer& operator=(const AdServer&) = delete;

private:
    AdServer();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace adserver
