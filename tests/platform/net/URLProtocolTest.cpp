#include <doctest/doctest.h>

#include <thread>

#include "NetTestSupport.h"
#include "platform/net/URLProtocol.h"
#include "platform/runloop/MainLoop.h"

using namespace platform;
using nettest::Recorder;
using nettest::ServerFixture;

namespace {

// Answers requests whose path ends in a suffix with a fixed body, optionally from another thread.
struct LocalProtocol : URLProtocol {
    struct Shared {
        std::atomic<int> started{0};
        std::atomic<int> stopped{0};
        std::vector<URLRequest> seen;
        std::vector<TransferOrigin> origins;
    };
    LocalProtocol(URLRequest r, std::shared_ptr<URLProtocolClient> c, std::string body, bool threaded,
                  bool finish, std::shared_ptr<Shared> shared)
        : URLProtocol(std::move(r), std::move(c)), body_(std::move(body)), threaded_(threaded), finish_(finish),
          shared_(std::move(shared)) {}
    ~LocalProtocol() override {
        if (worker_.joinable()) worker_.join();
    }

    void startLoading() override {
        ++shared_->started;
        shared_->seen.push_back(request());
        shared_->origins.push_back(transferOrigin());
        auto answer = [client = client(), url = request().url(), body = body_, finish = finish_] {
            HTTPHeaderFields headers{{"Content-Type", "application/javascript"}};
            client->didReceiveResponse(HTTPURLResponse(url, 200, headers), URLCacheStoragePolicy::NotAllowed);
            for (char c : body) client->didLoadData(Bytes{static_cast<std::uint8_t>(c)});
            if (finish) client->didFinishLoading();
        };
        if (threaded_) {
            worker_ = std::thread(answer);
        } else {
            answer();
        }
    }
    void stopLoading() override { ++shared_->stopped; }

private:
    std::string body_;
    bool threaded_;
    bool finish_;
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

struct LocalClass : URLProtocolClass {
    std::string suffix;
    std::string body;
    bool threaded = false;
    bool finish = true;
    std::shared_ptr<LocalProtocol::Shared> shared = std::make_shared<LocalProtocol::Shared>();

    LocalClass(std::string s, std::string b) : suffix(std::move(s)), body(std::move(b)) {}
    bool canInitWithRequest(const URLRequest& r) const override {
        return r.url().absoluteString().ends_with(suffix);
    }
    URLRequest canonicalRequest(const URLRequest& r) const override {
        URLRequest c = r;
        c.setValue("1", "X-Canonical");
        return c;
    }
    std::shared_ptr<URLProtocol> create(const URLRequest& r, std::shared_ptr<URLProtocolClient> client) const override {
        return std::make_shared<LocalProtocol>(r, std::move(client), body, threaded, finish, shared);
    }
};

} // namespace

TEST_CASE_FIXTURE(ServerFixture, "URLProtocol: a registered class answers a request locally, seeing the canonical request") {
    auto local = std::make_shared<LocalClass>("/mraid.js", "window.mraid={};");
    CHECK(URLProtocol::registerClass(local));
    CHECK_FALSE(URLProtocol::registerClass(local));

    auto recorder = std::make_shared<Recorder>();
    auto connection = URLConnection::create(request("/mraid.js"), recorder, platform::TransferOrigin::app());
    REQUIRE(nettest::runToEnd(*this, *recorder));
    CHECK(recorder->calls == std::vector<std::string>{"request", "response 200", "data", "finish"});
    CHECK(recorder->body == "window.mraid={};");
    CHECK(recorder->response->MIMEType() == "application/javascript");
    CHECK(server->requestCount("/mraid.js") == 0);
    REQUIRE(local->shared->seen.size() == 1);
    CHECK(local->shared->seen[0].valueForHTTPHeaderField("x-canonical") == "1");

    // Other requests still go to the network.
    server->route("/other.js", adserver::Response::text("net"));
    auto other = std::make_shared<Recorder>();
    auto c2 = URLConnection::create(request("/other.js"), other, platform::TransferOrigin::app());
    REQUIRE(nettest::runToEnd(*this, *other));
    CHECK(other->body == "net");

    URLProtocol::unregisterClass(local);
    CHECK(URLProtocol::classForRequest(request("/mraid.js")) == nullptr);
}

TEST_CASE_FIXTURE(ServerFixture, "URLProtocol: the most recently registered class is asked first") {
    auto older = std::make_shared<LocalClass>(".js", "older");
    auto newer = std::make_shared<LocalClass>("/a.js", "newer");
    URLProtocol::registerClass(older);
    URLProtocol::registerClass(newer);
    CHECK(URLProtocol::classForRequest(request("/a.js")) == newer);
    CHECK(URLProtocol::classForRequest(request("/b.js")) == older);
    URLProtocol::unregisterClass(newer);
    CHECK(URLProtocol::classForRequest(request("/a.js")) == older);
}

TEST_CASE_FIXTURE(ServerFixture, "URLProtocol: answers from another thread arrive in order on the main loop") {
    auto local = std::make_shared<LocalClass>("/threaded", "abcdefghijklmnopqrstuvwxyz");
    local->threaded = true;
    URLProtocol::registerClass(local);
    auto recorder = std::make_shared<Recorder>();
    bool allOnMain = true;
    recorder->onData = [&](const Recorder::Conn&) { allOnMain = allOnMain && MainLoop::isMainThread(); };
    auto connection = URLConnection::create(request("/threaded"), recorder, platform::TransferOrigin::app());
    REQUIRE(nettest::runToEnd(*this, *recorder));
    CHECK(recorder->body == "abcdefghijklmnopqrstuvwxyz");
    CHECK(recorder->finishes == 1);
    CHECK(allOnMain);
}

TEST_CASE_FIXTURE(ServerFixture, "URLProtocol: a custom scheme is served, and cancel stops the loader and silences it") {
    auto local = std::make_shared<LocalClass>("ruzave-local://script", "partial");
    local->finish = false;  // stays open until cancelled
    URLProtocol::registerClass(local);
    auto recorder = std::make_shared<Recorder>();
    std::shared_ptr<URLConnection> connection =
        URLConnection::create(*URLRequest::withURLString("ruzave-local://script"), recorder, platform::TransferOrigin::app());
    REQUIRE(runUntil([&] { return recorder->body == "partial"; }));
    connection->cancel();
    CHECK(local->shared->stopped.load() == 1);
    runUntilIdle();
    CHECK(recorder->calls == std::vector<std::string>{"request", "response 200", "data"});
}

TEST_CASE_FIXTURE(ServerFixture, "URLProtocol: a redirect to a claimed URL is answered locally") {
    auto local = std::make_shared<LocalClass>("/local.js", "local");
    URLProtocol::registerClass(local);
    server->route("/go", adserver::Response::redirect("/local.js", 302));
    auto recorder = std::make_shared<Recorder>();
    auto connection = URLConnection::create(request("/go"), recorder, platform::TransferOrigin::app());
    REQUIRE(nettest::runToEnd(*this, *recorder));
    CHECK(recorder->calls == std::vector<std::string>{"request", "redirect 302", "response 200", "data", "finish"});
    CHECK(recorder->body == "local");
}

TEST_CASE_FIXTURE(ServerFixture, "URLProtocol: a protocol learns whose load it answers, so what it loads goes on that side") {
    auto local = std::make_shared<LocalClass>("/mraid.js", "window.mraid={};");
    REQUIRE(URLProtocol::registerClass(local));
    auto forApp = std::make_shared<Recorder>();
    auto forPage = std::make_shared<Recorder>();
    auto a = URLConnection::create(request("/mraid.js"), forApp, TransferOrigin::app());
    auto b = URLConnection::create(request("/x/mraid.js"), forPage, TransferOrigin::webContent(42));
    REQUIRE(runUntil([&] { return forApp->finishes == 1 && forPage->finishes == 1; }));
    REQUIRE(local->shared->origins.size() == 2);
    CHECK(local->shared->origins[0] == TransferOrigin::app());
    CHECK(local->shared->origins[1] == TransferOrigin::webContent(42));
    URLProtocol::unregisterClass(local);
}
