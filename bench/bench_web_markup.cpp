// What markup a page chooses costs the process: one innerHTML of 16 MB of <br>, one insertAdjacentHTML of
// 14.7 MB, one document.write of 8 MB, and 3.9 MB of the ad's own markup (430,000 nodes, a script at the
// end), and as a yardstick one innerHTML that fits (40,000 paragraphs); then 20 MB of end tags (which make
// no node) as an innerHTML and as the ad's markup, under a time limit of 50 ms, which is all they may hold
// the thread. Each runs in a process of its own, so that its peak is its own: how long the call or load
// held the thread, what it answered, the process's peak and what stays resident after.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "bench/BenchResident.h"
#include "platform/base/URL.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/web/WebPageTesting.h"
#include "platform/web/WebPage.h"
#include "bench/BenchQuick.h"

using namespace platform;

namespace {


long peakKB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void report(const char* name, double held, const std::string& answer) {
    std::printf("web_markup_%s_hold_ms: %.0f ms\n", name, held * 1000);
    std::printf("web_markup_%s_peak_mb: %ld MB\n", name, peakKB() / 1024);
    std::printf("web_markup_%s_resident_after_mb: %ld MB\n", name, residentKB() / 1024);
    std::printf("web_markup_%s_answer: %s\n", name, answer.c_str());
}

// One call of script (`use`) with the markup `make` built beforehand, the call under `timeLimit` when given.
void call(const char* name, const std::string& make, const std::string& use, double timeLimit = 0) {
    auto client = std::make_shared<LoadCountingClient>();
    auto page = WebPageTesting::load("<div id='d'><p>kept</p></div><script>var d = document.getElementById('d');</script>", client);
    if (!page) {
        std::printf("web_markup_%s: the page did not load\n", name);
        return;
    }
    if (page->evaluate(make).empty()) std::printf("web_markup_%s: the markup was not made\n", name);
    if (timeLimit > 0) page->script()->setTimeLimit(timeLimit);
    auto start = std::chrono::steady_clock::now();
    std::string answer = page->evaluate("try { " + use + "; 'done: ' + d.childNodes.length } catch (e) { e.name + ': ' + e.message }");
    const double held = seconds(start);
    page->evaluate("s = null");
    report(name, held, answer + (page->scriptsStopped() ? " (stopped)" : "") + " (children " +
                           page->evaluate("d.childNodes.length") + ")");
}

void adMarkup(const char* name, const std::string& body, double timeLimit = 0) {
    const std::string html = body + "<script>var ran = 'yes';</script>";
    auto client = std::make_shared<LoadCountingClient>();
    WebPage::Options options;
    if (timeLimit > 0) options.scriptTimeLimit = timeLimit;
    auto start = std::chrono::steady_clock::now();
    auto page = WebPage::create(html, *URL::parse("https://page.example/"), client, options);
    const double created = seconds(start);
    if (!page) {
        report(name, created, "create failed");
        return;
    }
    start = std::chrono::steady_clock::now();
    page->start();
    const double started = seconds(start);
    MainLoop::main().runUntil([&] { return client->finished > 0 || page->scriptsStopped(); }, 30);
    report(name, std::max(created, started),
           "nodes " + std::to_string(page->document().nodeCount()) + ", script ran: " +
               (page->hasScriptHeap() ? page->evaluate("typeof ran == 'string' ? ran : 'no'") : std::string("no heap")) +
               (page->scriptsStopped() ? ", stopped" : "") + ", finished " + std::to_string(client->finished));
}

// Script making `s`, `unit` over and over to `bytes`.
std::string repeated(const std::string& unit, double bytes) {
    const long n = static_cast<long>(bytes);
    return "var s = '" + unit + "'; while (s.length < " + std::to_string(n) + ") s += s; s = s.substring(0, " +
           std::to_string(n / static_cast<long>(unit.size()) * static_cast<long>(unit.size())) + "); s.length";
}

std::string brs(double bytes) {
    return repeated("<br>", bytes);
}

std::string endTags(std::size_t bytes) {
    std::string html;
    html.reserve(bytes);
    while (html.size() + 6 <= bytes) html += "</div>";
    return html;
}

// Quick runs make a sixteenth of each size.
const double kScale = bench::quickOr(1.0, 1.0 / 16);

void run(int which) {
    switch (which) {
    case 0: call("inner_html_16mb", brs((16 << 20) * kScale), "d.innerHTML = s"); break;
    case 1:
        call("insert_adjacent_14_7mb", brs(14.7 * (1 << 20) * kScale),
             "d.insertAdjacentHTML('beforeend', s)");
        break;
    case 2: call("document_write_8mb", brs((8 << 20) * kScale), "document.write(s)"); break;
    case 3: {
        std::string html = "<div id='ad'>";
        while (html.size() < 3900000 * kScale) html += "<p>ad</p>";
        adMarkup("ad", html + "</div>");
        break;
    }
    case 4:
        call("inner_html_fits", "var s = new Array(" + std::to_string(static_cast<int>(40000 * kScale) + 1) + ").join('<p>ad</p>'); s.length", "d.innerHTML = s");
        break;
    case 5: call("inner_html_end_tags_20mb", repeated("</div>", (20 << 20) * kScale), "d.innerHTML = s", 0.05); break;
    case 6: adMarkup("ad_end_tags_20mb", endTags(static_cast<std::size_t>((20 << 20) * kScale)), 0.05); break;
    }
}

} // namespace

int main() {
    Clock::useVirtualTime();
    for (int which = 0; which < 7; ++which) {
        std::fflush(stdout);
        pid_t child = fork();
        if (child == 0) {
            run(which);
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
    }
    return 0;
}
