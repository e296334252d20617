// content_hash_pass_ms: one content-hashing pass over a 1,000-view tree holding 100 KB of text in text
// views, from the walk's start until its fingerprint is stored (the first pass of a process also
// builds the character sets); content_hash_main_max_task_ms is the
// longest main-loop task meanwhile (goal <= 4 ms on the main thread, the hashing runs off it).
// murmur3_mb_s: the token hash over 1 MB buffers on one core (goal >= 1,000 MB/s).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/signals/GADApplication.h"
#include "ads/core/telemetry/GADContentQueue.h"
#include "ads/core/telemetry/GADMurmurHash3.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "bench/BenchQuick.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

int contentHashPass() {
    auto window = platform::Window::create();
    auto controller = platform::ViewController::create();
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    // 1,000 views: 10 containers of 99 text views (100 bytes each) under the root view.
    auto root = controller->view();
    for (int c = 0; c < 10; ++c) {
        auto container = platform::View::create();
        root->addSubview(container);
        for (int i = 0; i < 99; ++i) {
            auto text = platform::TextView::create();
            std::string words;
            for (int w = 0; words.size() < 100; ++w) words += "word" + std::to_string(c * 1000 + i * 10 + w) + " ";
            text->setText(words.substr(0, 100));
            container->addSubview(text);
        }
    }
    auto app = ruzave::GADApplication::sharedInstance();
    app->startContentHashing();
    auto& loop = platform::MainLoop::main();
    // The first pass also builds the character sets once per process.
    double ms[2] = {0, 0};
    for (std::uint32_t pass = 1; pass <= 2; ++pass) {
        loop.resetTaskStats();
        auto start = SteadyClock::now();
        app->walkViewHierarchyForContent();
        bool done = loop.runUntil([&] { return app->contentQueue()->contentWithSequenceNumber(pass) != nullptr; }, 60.0);
        ms[pass - 1] = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
        if (!done) {
            std::fprintf(stderr, "bench_content: the pass stored no fingerprint\n");
            return 1;
        }
    }
    app->stopContentHashing();
    std::printf("content_hash_first_pass_ms: %.3f ms\n", ms[0]);
    std::printf("content_hash_pass_ms: %.3f ms\n", ms[1]);
    std::printf("content_hash_main_max_task_ms: %.3f ms\n", loop.maxTaskSeconds() * 1000);
    return 0;
}

int murmurSpeed() {
    std::vector<std::uint8_t> buffer(1 << 20);
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 131 + 7);
    const int kRounds = bench::quickOr(512, 8);
    std::uint32_t sink = 0;
    auto start = SteadyClock::now();
    for (int r = 0; r < kRounds; ++r) sink ^= ruzave::GADMurmurHash3(buffer.data(), buffer.size(), static_cast<std::uint32_t>(r));
    double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    std::printf("murmur3_mb_s: %.0f MB/s (%08x)\n", kRounds / seconds, sink);
    return 0;
}

} // namespace

int main() {
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    return contentHashPass() | murmurSpeed();
}
