// What hostile or careless pages cost the process: resident growth of a page that copies an element
// holding a 4 MB attribute 96 times, and of a page that sets innerHTML to one image 46,000 times; the
// frames an animation adding and removing 20 elements a frame runs in 30,000 frames' time, and what one
// frame of it costs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "bench/BenchResident.h"
#include "platform/base/URL.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLProtocol.h"
#include "platform/net/URLProtocolClass.h"
#include "platform/net/URLProtocolClient.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/web/WebPage.h"
#include "platform/testing/web/WebPageTesting.h"
#include "bench/BenchQuick.h"

using namespace platform;

namespace {



std::shared_ptr<WebPage> load(const std::shared_ptr<LoadCountingClient>& client, const std::string& html) {
    return WebPageTesting::load(html, client);
}

// Answers every https://img.example/ load with a 3 x 2 GIF header.
struct Images : URLProtocolClass {
    bool canInitWithRequest(const URLRequest& request) const override { return request.url().host() == "img.example"; }
    std::shared_ptr<URLProtocol> create(const URLRequest& request, std::shared_ptr<URLProtocolClient> client) const override {
        struct Loader : URLProtocol {
            Loader(URLRequest r, std::shared_ptr<URLProtocolClient> c) : URLProtocol(std::move(r), std::move(c)) {}
            void startLoading() override {
                client()->didReceiveResponse(HTTPURLResponse(request().url(), 200, {}), URLCacheStoragePolicy::NotAllowed);
                std::string body("GIF89a\x03\x00\x02\x00", 10);
                client()->didLoadData(Bytes(body.begin(), body.end()));
                client()->didFinishLoading();
            }
            void stopLoading() override {}
        };
        return std::make_shared<Loader>(request, client);
    }
};

} // namespace

int main() {
    Clock::useVirtualTime();
    {
        auto client = std::make_shared<LoadCountingClient>();
        auto page = load(client, "<div id='big'></div>");
        const long before = residentKB();
        std::string made = page ? page->evaluate(
            "var big = document.getElementById('big'), four = 'y'; while (four.length < " + std::to_string(bench::quickOr(4 << 20, 1 << 18)) + ") four += four;"
            "big.setAttribute('data-x', four); four = null; var copies = [];"
            "try { for (var i = 0; i < 96; i++) copies.push(big.cloneNode(true)); } catch (e) {} copies.length") : "";
        std::printf("web_clone_page_growth_mb: %.1f MB (%s copies made)\n", (residentKB() - before) / 1024.0, made.c_str());
    }
    {
        auto images = std::make_shared<Images>();
        URLProtocol::registerClass(images);
        auto client = std::make_shared<LoadCountingClient>();
        auto page = load(client, "<div id='box'></div>");
        const long before = residentKB();
        for (int round = 0, rounds = bench::quickOr(46, 2); page && round < rounds; ++round) {
            page->evaluate("var box = document.getElementById('box');"
                           "for (var i = 0; i < 1000; i++) box.innerHTML = '<img src=\"https://img.example/' + i + '.gif\">';");
            Clock::advance(1.25);  // 800 a second
        }
        std::printf("web_image_page_growth_mb: %.1f MB (46,000 inserts)\n", (residentKB() - before) / 1024.0);
        URLProtocol::unregisterClass(images);
    }
    {
        auto client = std::make_shared<LoadCountingClient>();
        auto page = load(client, "<div id='stage'></div><script>var stage = document.getElementById('stage'), frames = 0;"
                                 "function frame() { var made = [];"
                                 "  for (var i = 0; i < 20; i++) { var d = document.createElement('div'); stage.appendChild(d); made.push(d); }"
                                 "  for (var k = 0; k < made.length; k++) stage.removeChild(made[k]);"
                                 "  frames++; requestAnimationFrame(frame); }"
                                 "requestAnimationFrame(frame);</script>");
        std::size_t mostNodes = 0;
        auto started = std::chrono::steady_clock::now();
        for (int second = 0, seconds = bench::quickOr(500, 5); page && second < seconds; ++second) {
            Clock::advance(1);
            mostNodes = std::max(mostNodes, page->document().nodeCount());
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::string frames = page ? page->evaluate("frames") : "0";
        std::printf("web_add_remove_frames_run: %s of 30000\n", frames.c_str());
        std::printf("web_add_remove_most_nodes: %zu\n", mostNodes);
        std::printf("web_add_remove_frame_us: %.1f us\n", seconds * 1e6 / std::max(1.0, std::stod(frames.empty() ? "1" : frames)));
    }
    return 0;
}
