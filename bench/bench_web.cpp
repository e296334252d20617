// Web view figures: time to load a 20 KB page (15 KB of it script) from memory and answer one
// evaluate; how far past a 100 ms time limit scripts calling slow built-ins run; how long painting a
// page of deeply nested boxes takes after each change, and one read of an element's size; the longest
// one selector call holds the main thread; the main thread's processor time per second that a page near
// the node cap changing an attribute every 10 ms takes, and how long until it is stopped; resident
// memory per live web view; and, when Chromium is
// installed, how long headless Chromium takes for the same page, as a ratio to ours. Each figure is taken
// in a process of its own (this program run again for one phase), so that none depends on the phases
// before it: resident memory in particular would read low where earlier phases left freed heap for the
// views to reuse.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/BenchResident.h"
#include "platform/base/URL.h"
#include "platform/duktape/DukHeapBudget.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Bitmap.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "bench/BenchQuick.h"

namespace {

struct Done : platform::WebViewDelegate {
    int finished = 0;
    void didFinishLoad(platform::WebView&) override { ++finished; }
    void didFailLoad(platform::WebView&, const platform::Error&) override { ++finished; }
};

// About 15 KB of script that builds a table and sums it, inside about 5 KB of markup.
std::string makePage(bool writeAnswerIntoDOM) {
    std::string script = "var answer = 0;\n";
    for (int i = 0; script.size() < 15 * 1024; ++i) {
        script += "function f" + std::to_string(i) + "(x) { var s = 0; for (var k = 0; k < 8; k++) { s += (x * k + " +
                  std::to_string(i) + ") % 7; } return s; }\nanswer += f" + std::to_string(i) + "(" +
                  std::to_string(i) + ");\n";
    }
    if (writeAnswerIntoDOM) script += "document.getElementById('out').textContent = 'answer:' + answer;\n";
    std::string markup = "<div id='out'></div>";
    for (int i = 0; markup.size() < 5 * 1024; ++i)
        markup += "<div class='row' id='r" + std::to_string(i) + "'><span>cell " + std::to_string(i) +
                  "</span><a href='https://example.com/" + std::to_string(i) + "'>link</a></div>\n";
    return "<!DOCTYPE html><html><head><title>bench</title></head><body>" + markup + "<script>" + script +
           "</script></body></html>";
}


double loadOnce(const std::string& html, std::shared_ptr<platform::WebView>* keep = nullptr) {
    auto started = std::chrono::steady_clock::now();
    auto view = platform::WebView::create(platform::Rect(0, 0, 320, 480));
    auto done = std::make_shared<Done>();
    view->setDelegate(done);
    view->loadHTMLString(html, platform::URL::parse("https://bench.example/page.html"));
    platform::MainLoop::main().runUntil([&] { return done->finished > 0; }, 10);
    std::string answer = view->evaluate("answer");
    auto took = std::chrono::steady_clock::now() - started;
    if (answer.empty()) std::fprintf(stderr, "bench_web: no answer from the page\n");
    if (keep != nullptr) *keep = view;
    return std::chrono::duration<double, std::milli>(took).count();
}

double chromiumMs(const std::string& html) {
    char dir[] = "/tmp/bench_web_XXXXXX";
    if (mkdtemp(dir) == nullptr) return -1;
    std::string page = std::string(dir) + "/page.html";
    std::ofstream(page) << html;
    std::string command = "/usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                          "--disable-background-networking --disable-component-update --disable-sync "
                          "--user-data-dir=" + std::string(dir) + "/profile --dump-dom file://" + page +
                          " 2>/dev/null | grep -q 'answer:'";
    auto started = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    auto took = std::chrono::steady_clock::now() - started;
    std::system(("rm -rf " + std::string(dir)).c_str());
    if (rc != 0) return -1;
    return std::chrono::duration<double, std::milli>(took).count();
}

// How long one selector call holds the thread, in milliseconds. The page holds an element 505 levels
// deep whose ancestors each carry a few classes, and 40,000 more elements; `huge` is a list of 100,000
// compound selectors, `heavy` one of 2,000 and `most` one of 1,000 descendant pairs (these two within
// the size limits). The call gets the default time limit of a second, which `heavy` needs more than.
double selectorHoldMs(const char* call) {
    auto view = platform::WebView::create(platform::Rect(0, 0, 320, 480));
    auto done = std::make_shared<Done>();
    view->setDelegate(done);
    view->setScriptTimeLimit(60);  // for building what the call gets
    view->loadHTMLString("<body></body>", platform::URL::parse("https://bench.example/deep.html"));
    platform::MainLoop::main().runUntil([&] { return done->finished > 0; }, 10);
    view->evaluate("var e = document.body; for (var i = 0; i < 505; i++) { e = e.appendChild(document.createElement('div'));"
                   " e.className = 'a b c d'; } e.className = 'c';"
                   "var box = document.body.appendChild(document.createElement('div'));"
                   "box.innerHTML = new Array(40001).join(\"<i class='a b c'></i>\");"
                   "function list(n, part) { var parts = []; for (var i = 0; i < n; i++) parts.push(part(i)); return parts.join(); }"
                   "var huge = list(100000, function (i) { return '.n' + i + ' .c'; });"
                   "var most = list(1000, function (i) { return '.n' + i + ' .c'; });"
                   "var heavy = list(2000, function (i) { return 'i.a.b.c.z' + i; });");
    view->currentPage()->script()->setTimeLimit(platform::ScriptContext::DefaultTimeLimit);
    auto started = std::chrono::steady_clock::now();
    view->evaluate(call);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

// The median load of the page, after a few to warm caches (and the compiled bindings).
double medianLoadMs(const std::string& html) {
    for (int i = 0, n = bench::quickOr(5, 1); i < n; ++i) loadOnce(html);
    std::vector<double> times;
    for (int i = 0, n = bench::quickOr(51, 3); i < n; ++i) times.push_back(loadOnce(html));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void loadPhase(const std::string& html) {
    const double median = medianLoadMs(html);
    std::printf("web_view_load_ms: %.3f ms\n", median);
    if (bench::quick()) {
        std::printf("chromium_ratio: unavailable (quick run)\n");
    } else if (access("/usr/bin/chromium", X_OK) != 0) {
        std::printf("chromium_ratio: unavailable (chromium not installed)\n");
    } else {
        double theirs = chromiumMs(makePage(true));
        if (theirs < 0) std::printf("chromium_ratio: unavailable (chromium did not answer)\n");
        else std::printf("chromium_ratio: %.1f x\n", theirs / median);
    }
}

void overrunPhase() {
    // How far past its time limit a script calling slow built-ins holds the thread (the worst of a few).
    const char* hostile[] = {"for (;;) { new Array(2000).join('x') }", "new Array(4294967295).join('')",
                             "var a = []; for (var i = 0; i < 1e6; i++) a[i] = 'same'; for (;;) a.sort()",
                             "var s = 'a'.repeat(1e6), q = 'a'.repeat(5e5) + 'b'; for (;;) s.indexOf(q)",
                             "/(a+)+b/.test('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa')"};
    double worst = 0;
    for (const char* script : hostile) {
        auto view = platform::WebView::create(platform::Rect(0, 0, 320, 480));
        view->setScriptTimeLimit(0.1);
        view->evaluate("0");
        auto started = std::chrono::steady_clock::now();
        view->evaluate(script);
        worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count() - 100);
    }
    std::printf("web_view_limit_overrun_ms: %.1f ms\n", worst);
}

void paintPhase() {
    // 300 coloured boxes without a size, each inside the one before and holding 30 lines of text: every
    // box needs the height of all it holds. Painted after a change, so laid out each time.
    {
        std::string nested = "<body>";
        for (int i = 0; i < 300; ++i) {
            nested += "<div style='background:#" + std::string(i % 2 ? "f00" : "00f") + "'>";
            for (int k = 0; k < 30; ++k) nested += "<p>line " + std::to_string(k) + "</p>";
        }
        nested += "</body>";
        auto view = platform::WebView::create(platform::Rect(0, 0, 320, 480));
        auto done = std::make_shared<Done>();
        view->setDelegate(done);
        view->loadHTMLString(nested, platform::URL::parse("https://bench.example/nested.html"));
        platform::MainLoop::main().runUntil([&] { return done->finished > 0; }, 30);
        platform::Bitmap bitmap(320, 480);
        std::vector<double> paints;
        for (int i = 0, n = bench::quickOr(7, 2); i < n; ++i) {
            view->evaluate("document.body.setAttribute('data-round', '" + std::to_string(i) + "')");
            auto started = std::chrono::steady_clock::now();
            view->render(bitmap);
            paints.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        }
        std::sort(paints.begin(), paints.end());
        std::printf("web_view_nested_paint_ms: %.2f ms\n", paints[paints.size() / 2]);
    }
}

void sizeReadPhase(const std::string& html) {
    // An element's size read in a loop, as animation libraries do: the layout is made once, not per read.
    {
        std::shared_ptr<platform::WebView> view;
        loadOnce(html, &view);
        auto started = std::chrono::steady_clock::now();
        const int reads = bench::quickOr(20000, 500);
        std::string sum = view->evaluate("var s = 0, e = document.getElementById('r40');"
                                         "for (var i = 0; i < " + std::to_string(reads) +
                                         "; i++) s += e.offsetWidth + e.offsetHeight; s");
        double took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started).count();
        if (sum.empty()) std::fprintf(stderr, "bench_web: no answer from the size loop\n");
        std::printf("web_view_size_read_us: %.2f us\n", took / (2.0 * reads));
    }
}

// A page of 96,000 nodes changing an attribute every 10 ms: its script is tiny, but each change leaves a
// layout of the whole document to make. What the main thread spends on it per second of real time, and
// when the page is stopped (if it is within the run).
void layoutPhase() {
    auto threadCPUSeconds = [] {
        return std::chrono::duration<double>(platform::DukHeapBudget::threadProcessorTime()).count();
    };
    std::string html = "<body>";
    for (int i = 0; i < 48000; ++i) html += "<p>x</p>";
    html += "<script>var n = 0, b = document.body;"
            "setInterval(function () { b.setAttribute('data-n', ++n); }, 10);</script></body>";
    auto view = platform::WebView::create(platform::Rect(0, 0, 320, 480));
    auto done = std::make_shared<Done>();
    view->setDelegate(done);
    view->loadHTMLString(html, platform::URL::parse("https://bench.example/busy.html"));
    platform::MainLoop::main().runUntil([&] { return done->finished > 0; }, 30);
    auto page = view->currentPage();
    const double run = bench::quickOr(5.0, 1.0);
    const double cpuStart = threadCPUSeconds();
    const auto started = std::chrono::steady_clock::now();
    platform::MainLoop::main().runUntil([&] { return !page || page->scriptsStopped(); }, run);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = threadCPUSeconds() - cpuStart;
    std::printf("web_view_busy_layout_cpu: %.2f s/s\n", cpu / wall);
    if (page && page->scriptsStopped()) {
        std::printf("web_view_busy_layout_stopped_after: %.2f s\n", wall);
        std::printf("web_view_busy_layout_cpu_until_stopped: %.3f s\n", cpu);
    } else {
        std::printf("web_view_busy_layout_stopped_after: never (%.0f s run)\n", run);
    }
}

void selectorPhase() {
    double hold = 0;
    const char* calls[] = {"e.matches(huge)", "e.closest(huge)", "document.querySelectorAll(huge)", "e.matches(most)",
                           "e.closest(most)", "document.querySelectorAll(most)", "document.querySelectorAll(heavy)"};
    // (A quick run makes the first and the heaviest.)
    for (const char* call : calls)
        if (!bench::quick() || call == calls[0] || call == calls[6]) hold = std::max(hold, selectorHoldMs(call));
    std::printf("web_view_selector_hold_ms: %.1f ms\n", hold);
}

// Resident memory per live web view, in a fresh process: one load first, so that what every process
// makes once (the compiled bindings, the engine's tables) is not counted against the views.
void residentPhase(const std::string& html) {
    loadOnce(html);
    std::vector<std::shared_ptr<platform::WebView>> views(bench::quickOr<std::size_t>(100, 4));
    long before = residentKB();
    for (auto& v : views) loadOnce(html, &v);
    long after = residentKB();
    std::printf("web_view_rss_kb: %ld KB\n", (after - before) / static_cast<long>(views.size()));
}

} // namespace

int main(int argc, char** argv) {
    const char* phases[] = {"load", "overrun", "paint", "size", "selector", "layout", "resident"};
    if (argc < 2) {
        // Each phase in a process of its own, in order.
        int status = 0;
        for (const char* phase : phases) {
            std::fflush(stdout);
            const std::string command = "'/proc/" + std::to_string(getpid()) + "/exe' " + phase;
            if (std::system(command.c_str()) != 0) status = 1;
        }
        return status;
    }
    platform::MainLoop::main();
    const std::string phase = argv[1];
    const std::string html = makePage(false);
    if (phase == "load") loadPhase(html);
    else if (phase == "overrun") overrunPhase();
    else if (phase == "paint") paintPhase();
    else if (phase == "size") sizeReadPhase(html);
    else if (phase == "selector") selectorPhase();
    else if (phase == "layout") layoutPhase();
    else if (phase == "resident") residentPhase(html);
    else {
        std::fprintf(stderr, "bench_web: no phase %s\n", phase.c_str());
        return 2;
    }
    return 0;
}
