#include <doctest/doctest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/duktape/DukHeapBudget.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLProtocol.h"
#include "platform/net/URLProtocolClass.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLProtocolClient.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/testing/web/WebViewTesting.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Window.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tools/adserver/AdServer.h"

using platform::testing::Harness;
using namespace platform;

namespace {

struct Recorder : WebViewDelegate {
    std::vector<std::string> events;
    std::function<bool(const URLRequest&)> allow = [](const URLRequest&) { return true; };
    int finished = 0;
    int failed = 0;
    long failCode = 0;

    bool shouldStartLoad(WebView&, const URLRequest& request, WebViewNavigationType type) override {
        events.push_back("ask " + std::to_string(static_cast<int>(type)) + " " + request.url().absoluteString());
        return allow(request);
    }
    void didStartLoad(WebView&) override { events.push_back("start"); }
    void didFinishLoad(WebView&) override {
        ++finished;
        events.push_back("finish");
    }
    void didFailLoad(WebView&, const Error& error) override {
        ++failed;
        failCode = error.code;
        events.push_back("fail " + std::to_string(error.code));
    }
    std::vector<std::string> asks() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind("ask ", 0) == 0) out.push_back(e);
        return out;
    }
};

URL url(const std::string& s) {
    return URL::parse(s).value();
}

struct Page {
    std::shared_ptr<WebView> view = WebView::create(Rect(0, 0, 320, 480));
    std::shared_ptr<Recorder> delegate = std::make_shared<Recorder>();
    Page() { view->setDelegate(delegate); }
    bool load(Harness& h, const std::string& html, const std::string& base = "https://ads.example/page.html") {
        int before = delegate->finished + delegate->failed;
        view->loadHTMLString(html, url(base));
        return h.runUntil([&] { return delegate->finished + delegate->failed > before; }, 10);
    }
};

std::unique_ptr<adserver::AdServer> startServer() {
    auto server = adserver::AdServer::start();
    REQUIRE(server != nullptr);
    NetworkConfiguration::sharedInstance()->setTrustedCAFile(server->caFile());
    return server;
}

} // namespace

TEST_CASE_FIXTURE(Harness, "WebView: navigations are asked in order with their types") {
    Page p;
    p.delegate->allow = [](const URLRequest& r) { return r.url().scheme() != "gmsg"; };
    REQUIRE(p.load(*this, R"HTML(<body><a id="l" href="gmsg://link">x</a>
        <form id="f" action="gmsg://form" method="get"><input name="q" value="a b"></form>
        <script>
        location.href = 'gmsg://one';
        location.assign('gmsg://two');
        window.location = 'gmsg://three';
        location.replace('gmsg://four');
        window.open('gmsg://five');
        var f = document.createElement('iframe');
        f.src = 'gmsg://frame';
        document.body.appendChild(f);
        </script></body>)HTML"));
    CHECK(WebViewTesting::clickElement(*p.view, "#l"));
    CHECK(WebViewTesting::submitForm(*p.view, "#f"));
    runUntilIdle();
    std::vector<std::string> expected = {
        "ask 5 https://ads.example/page.html", "ask 5 gmsg://one",   "ask 5 gmsg://two",
        "ask 5 gmsg://three",                  "ask 5 gmsg://four",  "ask 5 gmsg://five",
        "ask 5 gmsg://frame",                  "ask 0 gmsg://link",  "ask 1 gmsg://form?q=a+b"};
    CHECK(p.delegate->asks() == expected);
    CHECK(WebViewTesting::navigations(*p.view).size() == expected.size());
    // The script's navigations come before the end of the load, which ran only once.
    CHECK(p.delegate->finished == 1);
}

TEST_CASE_FIXTURE(Harness, "WebView: a refused navigation changes nothing") {
    Page p;
    REQUIRE(p.load(*this, "<script>var marker = 'first';</script>"));
    p.delegate->allow = [](const URLRequest&) { return false; };
    p.view->evaluate("location.href = 'https://ads.example/other.html'");
    p.view->loadHTMLString("<script>var marker = 'second';</script>", url("https://ads.example/2"));
    runUntilIdle();
    CHECK(p.delegate->asks().size() == 3);
    CHECK(p.view->evaluate("marker") == "first");
    CHECK_FALSE(p.view->isLoading());
    CHECK(p.view->request().url().absoluteString() == "https://ads.example/page.html");
    CHECK(p.delegate->finished == 1);
    CHECK_FALSE(p.view->canGoBack());
}

TEST_CASE_FIXTURE(Harness, "WebView: a script error leaves the page working") {
    Page p;
    // A busy machine may hold even these short scripts up for a good part of a second.
    p.view->setScriptTimeLimit(1.0);
    LogCapture logs;
    REQUIRE(p.load(*this, "<script>throw new Error('broken');</script><script>var ok = 41;</script>"
                          "<script>\x01\xff\xfe binary junk )(</script>"));
    CHECK(p.delegate->finished == 1);
    CHECK(logs.contains("broken"));
    CHECK(p.view->evaluate("ok + 1") == "42");
    CHECK(p.view->evaluate("setTimeout(function(){ throw new Error('later'); }, 10); ok") == "41");
    advance(0.02);
    CHECK(logs.contains("later"));
    CHECK(p.view->evaluate("ok") == "41");
    CHECK_FALSE(p.view->currentPage()->scriptsStopped());
    CHECK(p.view->evaluate("undefined") == "");
    CHECK(p.view->evaluate("null") == "");
    CHECK(p.view->evaluate("1/4") == "0.25");
    CHECK(p.view->evaluate("true") == "true");
    CHECK(p.view->evaluate("'text'") == "text");
}

TEST_CASE_FIXTURE(Harness, "WebView: timers run on virtual time and die with their page") {
    Page p;
    REQUIRE(p.load(*this, R"HTML(<script>
        var fired = [], n = 0;
        setTimeout(function(a){ fired.push('once' + a); }, 1000, '!');
        var iv = setInterval(function(){ n++; if (n == 3) clearInterval(iv); }, 100);
        var gone = setTimeout(function(){ fired.push('cleared'); }, 50); clearTimeout(gone);
        </script>)HTML"));
    advance(0.5);
    CHECK(p.view->evaluate("fired.join()") == "");
    CHECK(p.view->evaluate("n") == "3");
    advance(0.6);
    CHECK(p.view->evaluate("fired.join()") == "once!");
    CHECK(p.view->currentPage()->pendingTimerCount() == 0);

    // A page replaced while its timer is pending: the timer never touches the new page.
    p.view->evaluate("setTimeout(function(){ document.title = 'stale'; window.hit = 1; }, 200)");
    REQUIRE(p.load(*this, "<title>fresh</title>"));
    advance(1.0);
    CHECK(p.view->evaluate("document.title") == "fresh");
    CHECK(p.view->evaluate("typeof hit") == "undefined");
}

TEST_CASE_FIXTURE(Harness, "WebView: animation frames wait while nobody can see the page and resume once it is seen") {
    auto app = Application::sharedApplication();
    app->finishLaunching();
    app->becomeActive();
    auto window = Window::create();
    auto holder = View::create(Rect(0, 0, 320, 480));
    window->addSubview(holder);
    Page p;
    holder->addSubview(p.view);
    REQUIRE(p.load(*this, "<script>var frames = 0, ticks = 0;"
                          "(function tick() { frames++; requestAnimationFrame(tick); })();"
                          "setInterval(function () { ticks++; }, 100);</script>"));
    auto frames = [&] { return std::stoi(p.view->evaluate("frames")); };
    auto ticks = [&] { return std::stoi(p.view->evaluate("ticks")); };
    advance(1);
    CHECK(frames() >= 60);

    std::function<void()> hide, show;
    SUBCASE("the view leaves the window") {
        hide = [&] { p.view->removeFromSuperview(); };
        show = [&] { holder->addSubview(p.view); };
    }
    SUBCASE("a view holding it leaves the window") {
        hide = [&] { holder->removeFromSuperview(); };
        show = [&] { window->addSubview(holder); };
    }
    SUBCASE("the app goes to the background") {
        hide = [&] { app->enterBackground(); };
        show = [&] {
            app->enterForeground();
            app->becomeActive();
        };
    }
    hide();
    const int before = frames(), ticksBefore = ticks();
    MainLoop::main().resetTaskStats();
    advance(2);
    // No frame, and the thread is not woken for them (the page's timer alone is 20 tasks); the
    // callback waits, and timers go on.
    CHECK(frames() == before);
    CHECK(MainLoop::main().taskCount() < 40);
    CHECK(p.view->currentPage()->pendingFrameCallbackCount() == 1);
    CHECK(ticks() - ticksBefore == 20);
    // Seen again: the next refresh runs the waiting callback, and frames go on at the display's rate.
    show();
    advance(WebPage::FrameInterval);
    CHECK(frames() == before + 1);
    advance(1);
    CHECK(frames() >= before + 60);
}

TEST_CASE_FIXTURE(Harness, "WebView: a page hidden in its window gets no animation frames") {
    auto app = Application::sharedApplication();
    app->finishLaunching();
    app->becomeActive();
    auto window = Window::create();
    auto holder = View::create(Rect(0, 0, 320, 480));
    window->addSubview(holder);
    Page p;
    holder->addSubview(p.view);
    std::function<void()> hide, show;
    SUBCASE("the view is hidden") {
        hide = [&] { p.view->setHidden(true); };
        show = [&] { p.view->setHidden(false); };
    }
    SUBCASE("a view holding it is hidden") {
        hide = [&] { holder->setHidden(true); };
        show = [&] { holder->setHidden(false); };
    }
    SUBCASE("the view is transparent") {
        hide = [&] { p.view->setAlpha(0); };
        show = [&] { p.view->setAlpha(1); };
    }
    SUBCASE("a view holding it is transparent") {
        hide = [&] { holder->setAlpha(0); };
        show = [&] { holder->setAlpha(0.5f); };
    }
    // Hidden while it loads, as a banner waiting its turn is.
    hide();
    REQUIRE(p.load(*this, "<script>var frames = 0, ticks = 0;"
                          "(function tick() { frames++; requestAnimationFrame(tick); })();"
                          "setInterval(function () { ticks++; }, 100);</script>"));
    MainLoop::main().resetTaskStats();
    advance(2);
    // No frame, and the thread is woken a few times a second to ask (the page's timer alone is 20 tasks).
    CHECK(p.view->evaluate("frames") == "1");
    CHECK(MainLoop::main().taskCount() < 40);
    CHECK(p.view->evaluate("ticks") == "20");
    CHECK(p.view->currentPage()->pendingFrameCallbackCount() == 1);
    // Shown, frames come from the next check on, at the display's rate.
    show();
    advance(WebPage::HiddenCheckInterval + WebPage::FrameInterval);
    CHECK(std::stoi(p.view->evaluate("frames")) >= 2);
    const int shown = std::stoi(p.view->evaluate("frames"));
    advance(1);
    CHECK(std::stoi(p.view->evaluate("frames")) >= shown + 59);
    // Hidden again once running, they stop again.
    hide();
    advance(WebPage::FrameInterval);
    const std::string before = p.view->evaluate("frames");
    advance(1);
    CHECK(p.view->evaluate("frames") == before);
}

TEST_CASE_FIXTURE(Harness, "WebView: a page loaded out of any window runs its first frame once the view is in one") {
    Page p;
    REQUIRE(p.load(*this, "<script>var frames = 0; (function tick() { frames++; requestAnimationFrame(tick); })();</script>"));
    advance(1);
    CHECK(p.view->evaluate("frames") == "1");
    // In the background, a window is not enough.
    Application::sharedApplication()->enterBackground();
    auto window = Window::create();
    window->addSubview(p.view);
    advance(1);
    CHECK(p.view->evaluate("frames") == "1");
    Application::sharedApplication()->enterForeground();
    advance(WebPage::FrameInterval);
    CHECK(p.view->evaluate("frames") == "2");
}

TEST_CASE_FIXTURE(Harness, "WebView: gmsg navigations from evaluate reach the delegate in order after it returns") {
    Page p;
    REQUIRE(p.load(*this, "<body></body>"));
    std::vector<std::string> seen;
    p.delegate->allow = [&](const URLRequest& r) {
        seen.push_back(r.url().absoluteString());
        return false;
    };
    CHECK(p.view->evaluate("location.href='gmsg://a?x=1'; location.href='gmsg://b'; 'done'") == "done");
    CHECK(seen.empty());  // no delegate call from inside the engine
    p.view->evaluate("location.href='gmsg://c'");
    runUntilIdle();
    CHECK(seen == std::vector<std::string>{"gmsg://a?x=1", "gmsg://b", "gmsg://c"});
}

TEST_CASE_FIXTURE(Harness, "WebView: events fire in load order over the DOM subset") {
    Page p;
    REQUIRE(p.load(*this, R"HTML(<html><head><title> A  title </title></head>
        <body onload="log.push('body-onload:' + document.readyState)">
        <div id="box" class="ad big" style="width: 10px">one</div>
        <script>
        var log = [];
        document.addEventListener('DOMContentLoaded', function(){ log.push('dcl:' + document.readyState); });
        window.addEventListener('load', function(){ log.push('load'); });
        var box = document.getElementById('box');
        log.push(box.tagName, box.className, document.querySelectorAll('.ad.big').length,
                 document.querySelector('body div#box') === box, box.style.width);
        box.style.backgroundColor = 'red';
        var s = document.createElement('span');
        s.appendChild(document.createTextNode('two'));
        box.appendChild(s);
        box.setAttribute('data-x', 'y');
        var e = document.createEvent('Events'); e.initEvent('custom', true, true);
        document.body.addEventListener('custom', function(ev){ log.push('custom:' + (ev.target === box)); });
        box.dispatchEvent(e);
        var o = {}; o.__defineGetter__('v', function(){ return 7; }); log.push(o.v);
        </script></body></html>)HTML"));
    CHECK(p.view->evaluate("log.join('|')") ==
          "DIV|ad big|1|true|10px|custom:true|7|dcl:interactive|load|body-onload:complete");
    CHECK(p.view->evaluate("document.title") == "A title");
    CHECK(p.view->evaluate("box.innerHTML") == "one<span>two</span>");
    CHECK(p.view->evaluate("box.getAttribute('style')") == "width: 10px; background-color: red;");
    CHECK(p.view->evaluate("box.innerHTML = '<b>x</b>y'; box.childNodes.length + ':' + box.firstChild.tagName") == "2:B");
    CHECK(p.view->evaluate("box.parentNode.removeChild(box); document.getElementById('box')") == "");
    CHECK(p.view->evaluate("box.innerText") == "xy");  // a detached wrapper still reads its node
    CHECK(p.view->evaluate("navigator.userAgent") == NetworkConfiguration::sharedInstance()->userAgent());
    CHECK(p.view->evaluate("innerWidth + 'x' + innerHeight") == "320x480");
    CHECK(p.view->evaluate("location.hostname + location.pathname") == "ads.example/page.html");
    CHECK(p.view->evaluate("location.origin") == "https://ads.example");
    CHECK(p.view->evaluate("var i = new Image(); i.width = 5; i.tagName + i.width") == "IMG5");
}

TEST_CASE_FIXTURE(Harness, "WebView: innerText ends lines at block elements") {
    Page p;
    REQUIRE(p.load(*this, "<body><div id='t'><div>first</div>  <p>second <b>bold</b>\n text</p>"
                          "<span>a</span><span>b</span><br>after break<ul><li>one</li><li>two</li></ul>"
                          "<script>var hidden = 1;</script>tail</div></body>"));
    CHECK(p.view->evaluate("document.getElementById('t').innerText") ==
          "first\nsecond bold text\nab\nafter break\none\ntwo\ntail");
    CHECK(p.view->evaluate("document.getElementById('t').textContent").find("var hidden") != std::string::npos);
}

TEST_CASE_FIXTURE(Harness, "WebView: script src runs in order even when the first script is slow") {
    auto server = startServer();
    server->route("/slow.js", [](const adserver::Request&) {
        auto r = adserver::Response::text("order.push('slow');", "application/javascript");
        r.delay = std::chrono::milliseconds(300);
        return r;
    });
    server->route("/fast.js", adserver::Response::text("order.push('fast');", "application/javascript"));
    Page p;
    std::string base = server->baseURL() + "/page.html";
    REQUIRE(p.load(*this, R"HTML(<script>var order = [];</script><script src="/slow.js"></script>
        <script>order.push('inline:' + (typeof order));</script><script src="fast.js"></script>
        <script src="/missing.js" onerror="order.push('missing')"></script>)HTML", base));
    CHECK(p.view->evaluate("order.join()") == "slow,inline:object,fast,missing");
    auto requests = server->requests("/fast.js");
    REQUIRE(requests.size() == 1);
    CHECK(requests[0].header("referer") == base);
    CHECK(requests[0].header("user-agent") == NetworkConfiguration::sharedInstance()->userAgent());
}

namespace {
struct ScriptProtocolClass : URLProtocolClass {
    mutable std::vector<std::string> referers;
    bool canInitWithRequest(const URLRequest& request) const override {
        return request.url().absoluteString() == "https://cdn.example/mraid.js";
    }
    std::shared_ptr<URLProtocol> create(const URLRequest& request, std::shared_ptr<URLProtocolClient> client) const override {
        referers.push_back(request.valueForHTTPHeaderField("Referer").value_or(""));
        struct Loader : URLProtocol {
            Loader(URLRequest r, std::shared_ptr<URLProtocolClient> c) : URLProtocol(std::move(r), std::move(c)) {}
            void startLoading() override {
                client()->didReceiveResponse(HTTPURLResponse(request().url(), 200, {}), URLCacheStoragePolicy::NotAllowed);
                std::string body = "window.mraid = { version: '2.0' };";
                client()->didLoadData(Bytes(body.begin(), body.end()));
                client()->didFinishLoading();
            }
            void stopLoading() override {}
        };
        return std::make_shared<Loader>(request, client);
    }
};
} // namespace

TEST_CASE_FIXTURE(Harness, "WebView: a URL protocol answers a script and sees the page as Referer") {
    auto protocol = std::make_shared<ScriptProtocolClass>();
    URLProtocol::registerClass(protocol);
    Page p;
    REQUIRE(p.load(*this, "<script src='https://cdn.example/mraid.js'></script><script>var v = mraid.version;</script>",
                   "https://ads.example/creative"));
    CHECK(p.view->evaluate("v") == "2.0");
    REQUIRE(protocol->referers.size() == 1);
    CHECK(protocol->referers[0] == "https://ads.example/creative");
    URLProtocol::unregisterClass(protocol);
}

TEST_CASE_FIXTURE(Harness, "WebView: a network load answers evaluate while loading and a 404 main document fails") {
    auto server = startServer();
    server->route("/ad.html", [](const adserver::Request&) {
        auto r = adserver::Response::html("<body style='background:#00f'><script>var served = 'yes';</script></body>");
        r.delay = std::chrono::milliseconds(200);
        return r;
    });
    Page p;
    p.view->loadRequest(URLRequest(url(server->baseURL() + "/ad.html")));
    REQUIRE(runUntil([&] { return p.view->isLoading(); }, 5));
    CHECK(p.view->evaluate("6 * 7") == "42");
    REQUIRE(runUntil([&] { return p.delegate->finished == 1; }, 10));
    CHECK(p.view->evaluate("served") == "yes");
    auto log = server->requests("/ad.html");
    REQUIRE(log.size() == 1);
    CHECK(log[0].header("user-agent") == NetworkConfiguration::sharedInstance()->userAgent());

    p.view->loadRequest(URLRequest(url(server->baseURL() + "/nothing-here")));
    REQUIRE(runUntil([&] { return p.delegate->failed == 1; }, 10));
    CHECK(p.delegate->failCode == 404);
    CHECK(p.delegate->finished == 1);
    CHECK_FALSE(p.view->isLoading());
    CHECK(p.view->evaluate("served") == "yes");  // the old document stays

    // History: back to nothing (the failed load made no entry), reload asks with its type.
    p.view->reload();
    REQUIRE(runUntil([&] { return p.delegate->finished == 2; }, 10));
    CHECK(p.delegate->asks().back() == "ask 3 " + server->baseURL() + "/ad.html");
}

TEST_CASE_FIXTURE(Harness, "WebView: history moves back and forward") {
    Page p;
    REQUIRE(p.load(*this, "<script>var page = 1;</script>", "https://a.example/1"));
    REQUIRE(p.load(*this, "<script>var page = 2;</script>", "https://a.example/2"));
    CHECK(p.view->canGoBack());
    CHECK_FALSE(p.view->canGoForward());
    p.view->goBack();
    REQUIRE(runUntil([&] { return p.delegate->finished == 3; }));
    CHECK(p.view->evaluate("page") == "1");
    CHECK(p.view->canGoForward());
    p.view->goForward();
    REQUIRE(runUntil([&] { return p.delegate->finished == 4; }));
    CHECK(p.view->evaluate("page") == "2");
    CHECK(p.delegate->asks().back() == "ask 2 https://a.example/2");
}

TEST_CASE_FIXTURE(Harness, "WebView: stopping drops the loads scheduled in its turn as well as the one under way") {
    Page p;
    REQUIRE(p.load(*this, "<script>var page = 1;</script>", "https://a.example/1"));
    REQUIRE(p.load(*this, "<script>var page = 2;</script>", "https://a.example/2"));
    const auto asked = p.delegate->asks().size();
    // Each road that schedules a load, stopped in the turn it was asked for: none of them is even asked.
    p.view->loadHTMLString("<script>var page = 3;</script>", url("https://a.example/3"));
    p.view->loadRequest(URLRequest(url("https://a.example/4")));
    p.view->reload();
    p.view->goBack();
    p.view->stopLoading();
    runUntilIdle();
    CHECK(p.delegate->asks().size() == asked);
    CHECK(p.view->evaluate("page") == "2");
    CHECK_FALSE(p.view->isLoading());
    // What is asked for after the stop loads as ever.
    p.view->loadHTMLString("<script>var page = 5;</script>", url("https://a.example/5"));
    REQUIRE(runUntil([&] { return p.delegate->finished == 3; }));
    CHECK(p.view->evaluate("page") == "5");
}

TEST_CASE_FIXTURE(Harness, "WebView: bad input fails or is ignored and never crashes") {
    Page p;
    std::string huge(WebView::MaximumDocumentSize + 1, 'a');
    REQUIRE(p.load(*this, huge));
    CHECK(p.delegate->failed == 1);
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 37) & 0xff);
    REQUIRE(p.load(*this, "<div><p><table><tr><td>unclosed" + junk + "<img src='ht tp://bad url'>"
                          "<a href='::::'>x</a><iframe src='%%%'></iframe>"));
    CHECK(p.delegate->finished == 1);
    CHECK(p.view->evaluate("document.body.innerHTML.length > 0") == "true");
    CHECK(p.view->evaluate("var names = []; ['!!', ''].forEach(function (s) { try { document.querySelectorAll(s); }"
                           " catch (e) { names.push(e.name); } }); names.join()") == "SyntaxError,SyntaxError");
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<div>";
    REQUIRE(p.load(*this, deep));
    CHECK(p.delegate->finished == 2);
    // A failed subresource fires onerror.
    WebViewTesting::failNextSubresource();
    REQUIRE(p.load(*this, "<script>var r = '';</script><script src='https://ads.example/x.js' onerror=\"r='err'\"></script>"));
    CHECK(p.view->evaluate("r") == "err");
}

TEST_CASE_FIXTURE(Harness, "WebView: paints the body background and sized boxes") {
    Page p;
    REQUIRE(p.load(*this, "<body style='background-color: #00ff00'>"
                          "<div style='width:100px;height:50px;background:rgb(255,0,0)'></div>"
                          "<div width='20' height='10' bgcolor='blue'></div>"
                          "<p style='color:#000080'>hello</p></body>"));
    Bitmap bitmap(320, 480);
    p.view->render(bitmap);
    CHECK(bitmap.countPixels(Color::rgba(1, 0, 0)) == 100 * 50);
    CHECK(bitmap.countPixels(Color::rgba(0, 0, 1)) == 20 * 10);
    CHECK(bitmap.countPixels(Color::rgba(0, 0, 128 / 255.f)) == 5 * 8 * 16);
    CHECK(bitmap.countPixels(Color::rgba(0, 1, 0)) == 320 * 480 - 100 * 50 - 20 * 10 - 5 * 8 * 16);
    CHECK(p.view->scrollView()->contentSize().height == 480);
}

TEST_CASE_FIXTURE(Harness, "WebView: the content size follows a page that grows after its load") {
    Page p;
    REQUIRE(p.load(*this, "<body><div id='box' style='width:320px;height:100px'></div>"
                          "<script>setTimeout(function () { document.getElementById('box').style.height = '900px'; }, 500);"
                          "</script></body>"));
    CHECK(p.view->scrollView()->contentSize().height == 480);
    int changes = 0;
    p.view->scrollView()->addContentSizeObserver([&](ScrollView&) { ++changes; });
    // The size is laid out at the frame after the change.
    advance(0.5 + WebPage::FrameInterval);
    REQUIRE(runUntil([&] { return changes > 0; }));
    CHECK(p.view->scrollView()->contentSize().height == 900);
    // A script the app runs counts as well.
    p.view->evaluate("document.getElementById('box').style.height = '1200px';");
    advance(WebPage::FrameInterval);
    REQUIRE(runUntil([&] { return changes > 1; }));
    CHECK(p.view->scrollView()->contentSize().height == 1200);
    // Scripts that change nothing tell no one.
    p.view->evaluate("1 + 1");
    advance(WebPage::FrameInterval);
    runUntilIdle();
    CHECK(changes == 2);
    // A box moved out of the page into a fragment leaves it as a removed one does.
    p.view->evaluate("document.createDocumentFragment().appendChild(document.getElementById('box'));");
    advance(WebPage::FrameInterval);
    REQUIRE(runUntil([&] { return changes > 2; }));
    CHECK(p.view->scrollView()->contentSize().height == 480);
}

TEST_CASE_FIXTURE(Harness, "WebView: the content size is laid out once a frame, however often the page changes it") {
    Page p;
    REQUIRE(p.load(*this, "<body><div id='box' style='width:320px;height:100px'></div><script>"
                          "var box = document.getElementById('box'), h = 500, ticks = 0;"
                          "function grow() { box.style.height = (h += 1) + 'px'; }</script></body>"));
    std::vector<float> sizes;
    p.view->scrollView()->addContentSizeObserver([&](ScrollView& s) { sizes.push_back(s.contentSize().height); });
    // A thousand changes in one turn: one layout, at the next frame, of the last of them.
    p.view->evaluate("for (var i = 0; i < 1000; i++) grow();");
    runUntilIdle();
    CHECK(sizes.empty());
    advance(WebPage::FrameInterval);
    runUntilIdle();
    CHECK(sizes == std::vector<float>{1500});
    // A change at every timer tick (every 4 ms, the shortest a repeating timer gets) for half a second:
    // one layout a frame (30), the last one of the latest state.
    sizes.clear();
    p.view->evaluate("var timer = setInterval(function () { grow(); ticks++; }, 1);");
    advance(0.5);
    p.view->evaluate("clearInterval(timer)");
    advance(WebPage::FrameInterval);
    runUntilIdle();
    const int ticks = std::stoi(p.view->evaluate("ticks"));
    CHECK(ticks >= 100);
    CHECK(sizes.size() >= 29);
    CHECK(sizes.size() <= 31);
    CHECK(sizes.back() == static_cast<float>(1500 + ticks));
    CHECK(p.view->scrollView()->contentSize().height == static_cast<float>(1500 + ticks));
}

TEST_CASE_FIXTURE(Harness, "WebView: a script loaded again from compiled form behaves as the first time") {
    // Large enough to be kept compiled: globals, functions and a strict-mode body must survive the round trip.
    std::string body = "var counter = 0; function twice(x) { return 2 * x; }\n"
                       "var strictCheck = (function () { 'use strict'; return this === undefined; })();\n";
    for (int i = 0; i < 60; ++i) body += "counter += twice(" + std::to_string(i) + ") - " + std::to_string(i) + ";\n";
    const std::string html = "<script>" + body + "</script>";
    for (int round = 0; round < 2; ++round) {
        Page p;
        REQUIRE(p.load(*this, html));
        CHECK(p.view->evaluate("counter") == "1770");
        CHECK(p.view->evaluate("twice(21)") == "42");
        CHECK(p.view->evaluate("strictCheck") == "true");
    }
    // A broken script is never kept: it fails each time.
    LogCapture logs;
    std::string broken = "<script>" + body + " this is ( not a program</script>";
    for (int round = 0; round < 2; ++round) {
        Page p;
        REQUIRE(p.load(*this, broken));
        CHECK(p.view->evaluate("typeof twice") == "undefined");
    }
}

TEST_CASE_FIXTURE(Harness, "WebView: each redirect hop of the main document is asked, and a refused hop ends the load once") {
    auto server = startServer();
    server->route("/click", adserver::Response::redirect("/hop"));
    server->route("/hop", adserver::Response::redirect("/landing.html", 301));
    server->route("/landing.html", adserver::Response::html("<script>var landed = 1;</script>"));
    server->route("/to-store", adserver::Response::redirect("itms-apps://itunes.example/app/id1"));

    Page p;
    p.view->loadRequest(URLRequest(url(server->baseURL() + "/click")));
    REQUIRE(runUntil([&] { return p.delegate->finished + p.delegate->failed > 0; }, 10));
    CHECK(p.delegate->asks() == std::vector<std::string>{"ask 5 " + server->baseURL() + "/click",
                                                           "ask 5 " + server->baseURL() + "/hop",
                                                           "ask 5 " + server->baseURL() + "/landing.html"});
    CHECK(p.delegate->finished == 1);
    CHECK(p.view->evaluate("landed") == "1");
    CHECK(p.view->request().url().absoluteString() == server->baseURL() + "/landing.html");
    // Every hop carries the process user agent.
    auto landing = server->requests("/landing.html");
    REQUIRE(landing.size() == 1);
    CHECK(landing[0].header("user-agent") == NetworkConfiguration::sharedInstance()->userAgent());

    // The delegate keeps an app link from loading: the load ends in one failure, the page stays.
    p.delegate->allow = [](const URLRequest& r) { return r.url().scheme() != "itms-apps"; };
    p.view->loadRequest(URLRequest(url(server->baseURL() + "/to-store")));
    REQUIRE(runUntil([&] { return p.delegate->failed == 1; }, 10));
    runUntilIdle();
    CHECK(p.delegate->asks().back() == "ask 5 itms-apps://itunes.example/app/id1");
    CHECK(p.delegate->failed == 1);
    CHECK(p.delegate->failCode == 102);
    CHECK(p.delegate->finished == 1);
    CHECK_FALSE(p.view->isLoading());
    CHECK(p.view->evaluate("landed") == "1");
    CHECK(p.view->canGoBack() == false);  // the refused load made no history entry

    // A delegate that stops the load from inside the hop question hears nothing more.
    p.delegate->allow = [&](const URLRequest& r) {
        if (r.url().path() == "/hop") p.view->stopLoading();
        return true;
    };
    p.view->loadRequest(URLRequest(url(server->baseURL() + "/click")));
    REQUIRE(runUntil([&] { return p.delegate->asks().size() == 7; }, 10));
    runUntilIdle();
    CHECK(p.delegate->failed == 1);
    CHECK(p.delegate->finished == 1);
    CHECK_FALSE(p.view->isLoading());
}

TEST_CASE_FIXTURE(Harness, "WebView: rendering the view tree paints the page inside the view, scrolled and clipped") {
    auto root = View::create(Rect(0, 0, 200, 200));
    root->setBackgroundColor(Color::rgba(0, 0, 0));
    Page p;
    p.view->setFrame(Rect(50, 20, 100, 60));
    root->addSubview(p.view);
    REQUIRE(p.load(*this, "<body style='background-color:#00ff00'>"
                          "<div style='width:40px;height:30px;background:rgb(255,0,0)'></div>"
                          "<div style='width:500px;height:500px;background:blue'></div></body>"));

    Bitmap bitmap = root->renderToBitmap(1);
    // The body colour fills the view's area not covered by boxes; nothing spills outside it.
    CHECK(bitmap.countPixels(Color::rgba(1, 0, 0)) == 40 * 30);
    CHECK(bitmap.countPixels(Color::rgba(0, 0, 1)) == 100 * 30);  // the big box, cut at the view's edges
    CHECK(bitmap.countPixels(Color::rgba(0, 1, 0)) == 100 * 60 - 40 * 30 - 100 * 30);
    CHECK(bitmap.countPixels(Color::rgba(0, 0, 0)) == 200 * 200 - 100 * 60);

    // Scrolled down by 30 points: the red box has left the view.
    p.view->scrollView()->setContentOffset(Point{0, 30});
    bitmap = root->renderToBitmap(1);
    CHECK(bitmap.countPixels(Color::rgba(1, 0, 0)) == 0);
    CHECK(bitmap.countPixels(Color::rgba(0, 0, 1)) == 100 * 60);

    // An opaque view without a background colour and without a page is white.
    auto blank = WebView::create(Rect(0, 0, 10, 10));
    CHECK(blank->renderToBitmap(1).countPixels(Color::whiteColor()) == 100);
}

TEST_CASE_FIXTURE(Harness, "WebView: an injected subresource failure aimed at one view leaves the others loading") {
    auto protocol = std::make_shared<ScriptProtocolClass>();
    URLProtocol::registerClass(protocol);
    const std::string html = "<script>var v = 'none';</script>"
                             "<script src='https://cdn.example/mraid.js' onerror=\"v='failed'\"></script>"
                             "<script>if (window.mraid) v = mraid.version;</script>";
    Page first;
    Page second;
    WebViewTesting::failNextSubresource(*second.view);
    REQUIRE(first.load(*this, html));
    CHECK(first.view->evaluate("v") == "2.0");
    REQUIRE(second.load(*this, html));
    CHECK(second.view->evaluate("v") == "failed");
    // Used once: the view's next document loads its script.
    REQUIRE(second.load(*this, html));
    CHECK(second.view->evaluate("v") == "2.0");
    URLProtocol::unregisterClass(protocol);
}

namespace {

double secondsSince(std::chrono::steady_clock::time_point started) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// How many turns of an empty script loop take `seconds` of processor time in this build.
long loopIterationsFor(Harness& h, double seconds) {
    Page probe;
    REQUIRE(probe.load(h, "<p></p>"));
    auto page = probe.view->currentPage();
    long n = 100000;
    auto measure = [&] {
        // In a function, as the pages' loops run: a loop on a global variable costs several times more.
        page->evaluate("(function () { for (var i = 0; i < " + std::to_string(n) + "; i++) {} })()");
        return page->script()->lastEntry().cpuSeconds;
    };
    double took = measure();
    while (took <= 0.005 && n <= 100000000) {
        n *= 4;
        took = measure();
    }
    // The fastest of a few: one slowed by whatever else the process did then would make every later
    // loop far shorter than asked.
    for (int i = 0; i < 3; ++i) took = std::min(took, measure());
    return std::max(1L, static_cast<long>(n * seconds / std::max(took, 1e-6)));
}

std::size_t countLines(const LogCapture& logs, const std::string& fragment) {
    std::size_t n = 0;
    for (const auto& line : logs.lines()) n += line.find(fragment) != std::string::npos ? 1 : 0;
    return n;
}

} // namespace

TEST_CASE_FIXTURE(Harness, "WebView: a runaway page is stopped after its first overrun and its neighbour keeps working") {
    Page runaway, healthy;
    // A second each: a busy machine may hold a healthy tick for a good part of that.
    runaway.view->setScriptTimeLimit(1.0);
    healthy.view->setScriptTimeLimit(1.0);
    LogCapture logs;
    REQUIRE(runaway.load(*this, "<script>var ticks = 0; setInterval(function(){ ticks++; if (ticks == 3) for(;;){} }, 1);"
                                "document.addEventListener('click', function(){ location.href = 'gmsg://late'; });"
                                "</script>"));
    REQUIRE(healthy.load(*this, "<script>var ticks = 0; setInterval(function(){ ticks++; "
                                "if (ticks % 50 == 0) location.href = 'gmsg://tick?' + ticks; }, 10);</script>"));
    auto started = std::chrono::steady_clock::now();
    advance(2.005);
    // Re-armed every 4 ms, the loop would have held the thread for 500 overruns; it gets one.
    CHECK(secondsSince(started) < 30.0);
    auto page = runaway.view->currentPage();
    CHECK(page->scriptsStopped());
    CHECK(page->pendingTimerCount() == 0);
    CHECK(countLines(logs, "stopped: a script ran past its time limit") == 1);
    // Loaded before it ran away: the delegate hears it no longer works, once, and nothing of it runs again.
    runUntilIdle();
    CHECK(runaway.delegate->finished == 1);
    CHECK(runaway.delegate->failed == 1);
    CHECK(runaway.delegate->failCode == ScriptContext::TimeLimitCode);
    CHECK(runaway.view->evaluate("ticks") == "");
    CHECK_FALSE(WebViewTesting::clickElement(*runaway.view, "body"));
    runUntilIdle();
    CHECK(runaway.delegate->asks().size() == 1);

    CHECK(healthy.view->evaluate("ticks") == "200");
    CHECK(healthy.delegate->asks().size() == 5);
    CHECK_FALSE(healthy.view->currentPage()->scriptsStopped());

    // A new document in the same view runs normally.
    REQUIRE(runaway.load(*this, "<script>var fresh = 'yes';</script>"));
    CHECK(runaway.view->evaluate("fresh") == "yes");
}

TEST_CASE_FIXTURE(Harness, "WebView: a page that runs away while loading fails its load once and delivers nothing queued") {
    Page p;
    p.view->setScriptTimeLimit(0.05);
    LogCapture logs;
    p.view->loadHTMLString("<script>var first = 1; location.href = 'gmsg://before';</script>"
                           "<script>for (;;) { new Array(5000).join('x'); }</script>"
                           "<script>var third = 1;</script>",
                           url("https://ads.example/page.html"));
    REQUIRE(runUntil([&] { return p.delegate->failed > 0; }, 10));
    runUntilIdle();
    advance(1.0);
    CHECK(p.delegate->failed == 1);
    CHECK(p.delegate->finished == 0);
    CHECK(p.delegate->failCode == ScriptContext::TimeLimitCode);
    CHECK_FALSE(p.view->isLoading());
    CHECK(p.delegate->asks().size() == 1);  // the load itself; the queued message went with the page
    CHECK(countLines(logs, "stopped:") == 1);
    CHECK(p.view->evaluate("typeof third") == "");

    // Stopped by the host's evaluate() before the load is told finished: the same.
    Page q;
    q.view->setScriptTimeLimit(0.05);
    q.delegate->allow = [&](const URLRequest& r) {
        if (r.url().absoluteString().find("frame") == std::string::npos) return true;
        CHECK(q.view->evaluate("for (;;) {}") == "");
        return false;
    };
    q.view->loadHTMLString("<iframe src='https://ads.example/frame.html'></iframe><script>var a = 1;</script>",
                           url("https://ads.example/page.html"));
    REQUIRE(runUntil([&] { return q.delegate->failed > 0; }, 10));
    runUntilIdle();
    CHECK(q.delegate->failed == 1);
    CHECK(q.delegate->finished == 0);
    CHECK(q.view->currentPage()->scriptsStopped());
}

TEST_CASE_FIXTURE(Harness, "WebView: a page taking more than a quarter of the main thread is stopped") {
    Page greedy, modest;
    LogCapture logs;
    // A page's clock is the app's (virtual here): busy loops count iterations, measured for this build.
    const std::string n20 = std::to_string(loopIterationsFor(*this, 0.020));
    // The modest page stays well clear of the bound: a loaded machine can make an iteration cost several
    // times what it did when measured.
    const std::string n10 = std::to_string(loopIterationsFor(*this, 0.010));
    // Each tick busy for 20 ms, every 4 ms: all of the thread (500 ticks in two seconds if left alone).
    REQUIRE(greedy.load(*this, "<title>0</title><script>var ticks = 0, shown = document.getElementsByTagName('title')[0];"
                               "setInterval(function(){ shown.textContent = String(++ticks);"
                               "for (var i = 0; i < " + n20 + "; i++) {} }, 1);</script>"));
    // 10 ms every 200 ms: 5% of the thread, though virtual time runs these back to back in real time.
    REQUIRE(modest.load(*this, "<script>var ticks = 0; setInterval(function(){ ticks++;"
                               "for (var i = 0; i < " + n10 + "; i++) {} }, 200);</script>"));
    for (int i = 0; i < 40; ++i) advance(0.05);
    auto page = greedy.view->currentPage();
    CHECK(page->scriptsStopped());
    // A quarter second of work, give or take what a busy machine takes from each tick.
    CHECK(std::stoi(page->document().title()) > 0);
    CHECK(std::stoi(page->document().title()) < 100);
    CHECK(countLines(logs, "more than a quarter of the main thread") == 1);
    runUntilIdle();
    CHECK(greedy.delegate->failed == 1);
    CHECK(greedy.delegate->failCode == WebPage::ScriptShareCode);
    CHECK(modest.delegate->failed == 0);
    CHECK_FALSE(modest.view->currentPage()->scriptsStopped());
    CHECK(modest.view->evaluate("ticks >= 9") == "true");
}

TEST_CASE_FIXTURE(Harness, "WebView: a page at the node cap changing an attribute every 10 ms is stopped by its share of the main thread") {
    auto threadSeconds = [] { return std::chrono::duration<double>(DukHeapBudget::threadProcessorTime()).count(); };
    Page busy;
    LogCapture logs;
    // Its load is not what is tested here: a slow build takes long over its markup and first layout.
    busy.view->setScriptTimeLimit(30);
    // 96,000 nodes: each change is a tiny script, but leaves a layout of the whole document to make.
    std::string html = "<body>";
    for (int i = 0; i < 48000; ++i) html += "<p>x</p>";
    busy.view->loadHTMLString(html + "</body>", url("https://ads.example/busy.html"));
    REQUIRE(runUntil([&] { return busy.delegate->finished + busy.delegate->failed > 0; }, 120));
    REQUIRE(busy.delegate->finished == 1);
    auto page = busy.view->currentPage();
    CHECK(page->document().nodeCount() > 96000);
    // Its script comes from the host, which also makes the first collection of so large a document (the
    // first native making a node runs it): in an instrumented build that alone would take the page's share.
    busy.view->evaluate("document.createElement('i'); var n = 0, b = document.body;"
                        "setInterval(function () { b.setAttribute('data-n', ++n); }, 10);");
    // One layout of it in this build, as the app asks for one (not the page's).
    double layout = 0;
    for (int i = 0; i < 2; ++i) {
        busy.view->evaluate("b.setAttribute('data-probe', '" + std::to_string(i) + "')");
        const double before = threadSeconds();
        (void)page->contentSize();
        layout = std::max(layout, threadSeconds() - before);
    }

    const double cpuStarted = threadSeconds();
    const auto realStarted = std::chrono::steady_clock::now();
    double virtualSeconds = 0;
    while (!page->scriptsStopped() && virtualSeconds < 20 && secondsSince(realStarted) < 60) {
        advance(0.01);
        virtualSeconds += 0.01;
    }
    const double used = threadSeconds() - cpuStarted;
    const double realSeconds = secondsSince(realStarted);
    REQUIRE(page->scriptsStopped());
    // Until it was stopped the page had the main thread for its share of every second (on the app's
    // clock or the real one, whichever ran longer), give or take the layout that passed it.
    const double seconds = std::max(virtualSeconds, realSeconds);
    CHECK(used <= WebPage::MaximumScriptShare * (1 + seconds) + layout + 0.1);
    // It was stopped for what its changes cost, once it had made some.
    CHECK(std::stoi(page->document().body()->attribute("data-n")) > 0);
    runUntilIdle();
    CHECK(busy.delegate->failed == 1);
    CHECK(busy.delegate->failCode == WebPage::ScriptShareCode);
    CHECK(countLines(logs, "more than a quarter of the main thread") == 1);
    // Nothing more runs or is laid out for it.
    const double after = threadSeconds();
    advance(1);
    CHECK(threadSeconds() - after < layout / 2 + 0.05);
    CHECK(busy.delegate->failed == 1);
}

TEST_CASE_FIXTURE(Harness, "WebView: message history is bounded") {
    Page p;
    REQUIRE(p.load(*this, "<script>var n = 0; setInterval(function(){"
                          "for (var i = 0; i < 10; i++) location.href = 'gmsg://m?n=' + (n++); }, 10);</script>"));
    for (int i = 0; i < 20; ++i) advance(0.1);
    runUntilIdle();
    // Far more than the log keeps, yet gentle enough that a slow (instrumented) build never has the page
    // stopped as a runaway.
    CHECK(p.delegate->asks().size() > 1000);
    auto log = WebViewTesting::navigations(*p.view);
    REQUIRE(log.size() == WebView::NavigationLogEntries);
    CHECK(log.back().first == "gmsg://m?n=" + std::to_string(p.delegate->asks().size() - 2));

    // Long messages are bounded by size as well, and the latest is always kept.
    p.view->evaluate("var big = 'x'.repeat(100000); for (var i = 0; i < 20; i++) location.href = 'gmsg://big?' + i + big;");
    runUntilIdle();
    log = WebViewTesting::navigations(*p.view);
    std::size_t bytes = 0;
    for (const auto& [u, type] : log) bytes += u.size();
    CHECK(bytes <= WebView::NavigationLogBytes);
    CHECK(log.back().first.rfind("gmsg://big?19", 0) == 0);
    p.view->evaluate("location.href = 'gmsg://huge?' + 'y'.repeat(400000)");
    runUntilIdle();
    log = WebViewTesting::navigations(*p.view);
    REQUIRE(log.size() == 1);
    CHECK(log.back().first.rfind("gmsg://huge?", 0) == 0);
}

TEST_CASE_FIXTURE(Harness, "WebView: a page's pending timers are capped") {
    Page p;
    LogCapture logs;
    REQUIRE(p.load(*this, "<script>var fired = 0, ids = [];</script>"));
    // Asked by the host, so that an instrumented build's slow timers never count against the page's share.
    // Past the cap a timer is refused with the page's RangeError, not an id of 0 it could not clear.
    CHECK(p.view->evaluate("var refused = [];"
                           "for (var i = 0; i < 1200; i++) try { ids.push(setTimeout(function(){ fired++; }, 1000)); }"
                           "  catch (e) { refused.push(e instanceof RangeError); }"
                           "try { setInterval(function(){ fired++; }, 10); refused.push('set'); } catch (e) { refused.push(e.name); }"
                           "[ids.length, ids.indexOf(0), refused.length, refused.indexOf(false), refused[200]].join()") ==
          "1000,-1,201,-1,RangeError");
    CHECK(p.view->currentPage()->pendingTimerCount() == WebPage::MaximumTimers);
    CHECK(countLines(logs, "too many timers") == 1);
    advance(1.5);
    CHECK(p.view->evaluate("fired") == "1000");
    // Room again once they fired.
    CHECK(p.view->evaluate("setTimeout(function(){ fired++; }, 10) > 0") == "true");
    advance(0.1);
    CHECK(p.view->evaluate("fired") == "1001");
}

TEST_CASE_FIXTURE(Harness, "WebView: a page rewriting its markup keeps a bounded document") {
    Page p;
    // Every 8 ms: an instrumented build's rewrites stay well inside the page's share of the main thread.
    REQUIRE(p.load(*this, "<div id='clock'></div><script>var n = 0; setInterval(function(){"
                          "var c = document.getElementById('clock'); c.innerHTML = '<b>' + (++n) + '</b> left'; }, 8);"
                          "</script>"));
    for (int i = 0; i < 80; ++i) advance(0.5);
    CHECK(p.view->evaluate("n > 4900") == "true");
    CHECK(p.view->currentPage()->document().nodeCount() < 10000);
    CHECK(p.view->evaluate("document.getElementById('clock').textContent === n + ' left'") == "true");
    // Nodes script made and keeps are never let go; past the cap making more is a script error.
    p.view->setScriptTimeLimit(60);
    p.view->currentPage()->script()->setTimeLimit(60);
    CHECK(p.view->evaluate("var kept = []; try { for (;;) kept.push(document.createElement('i')); } catch (e) { e.name }") ==
          "RangeError");
    CHECK(p.view->evaluate("kept[0].tagName + (kept.length > 50000)") == "Itrue");
}

namespace {

// A web view on screen at (0, 40), under a window that delivers injected touches.
struct TouchPage : Page {
    std::shared_ptr<Window> window = Window::create(Rect(0, 0, 320, 568));
    TouchPage() {
        view->setFrame(Rect(0, 40, 320, 480));
        window->addSubview(view);
        window->makeKeyAndVisible();
    }
};

// Listeners that log every touch and click the page hears, with what a handler reads of them.
const char* kTouchLog = R"HTML(<body style="margin: 0">
    <div id="top" style="width: 320px; height: 100px"></div>
    <a id="cta" href="https://click.example/go" style="display: block; width: 200px; height: 50px"><span>Go</span></a>
    <script>
    var log = [];
    ['touchstart', 'touchmove', 'touchend', 'touchcancel', 'click'].forEach(function (type) {
      document.addEventListener(type, function (e) {
        var t = e.changedTouches ? e.changedTouches[0] : e;
        log.push(type + '@' + e.target.id + ':' + t.clientX + ',' + t.clientY +
                 (e.touches ? '/' + e.touches.length + (e.touches.length ? e.touches[0].target.id : '') : ''));
      });
    });
    </script></body>)HTML";

} // namespace

TEST_CASE_FIXTURE(Harness, "WebView: a tap reaches the page as touchstart, touchend and click") {
    TouchPage p;
    REQUIRE(p.load(*this, kTouchLog));
    // Window point (50, 90) is (50, 50) in the page: the top box.
    CHECK(TouchInjector::tap(Point{50, 90}, p.window));
    CHECK(p.view->evaluate("log.join(' ')") == "touchstart@top:50,50/1top touchend@top:50,50/0 click@top:50,50");
    runUntilIdle();
    CHECK(p.delegate->asks().size() == 1);  // the load only

    // On the link: the click lands on the element under the finger and follows the link as a user's click.
    p.view->evaluate("log = []");
    CHECK(TouchInjector::tap(Point{20, 150}, p.window));
    CHECK(p.view->evaluate("log.join(' ')") == "touchstart@cta:20,110/1cta touchend@cta:20,110/0 click@cta:20,110");
    runUntilIdle();
    REQUIRE(p.delegate->asks().size() == 2);
    CHECK(p.delegate->asks()[1] == "ask " + std::to_string(static_cast<int>(WebViewNavigationType::LinkClicked)) +
                                       " https://click.example/go");
}

TEST_CASE_FIXTURE(Harness, "WebView: a cancelled touchstart or touchend, or a finger that moved away, ends a touch without a click") {
    TouchPage p;
    REQUIRE(p.load(*this, kTouchLog));
    p.view->evaluate("document.addEventListener('touchend', function (e) { e.preventDefault(); });");
    CHECK(TouchInjector::tap(Point{20, 150}, p.window));
    CHECK(p.view->evaluate("log.join(' ')") == "touchstart@cta:20,110/1cta touchend@cta:20,110/0");

    // A cancelled start cancels the click of its own touch only; a handler attribute cancels by
    // returning false.
    TouchPage s;
    REQUIRE(s.load(*this, kTouchLog));
    s.view->evaluate("var cancel = 1; document.getElementById('cta').setAttribute('ontouchstart', 'return !cancel--');");
    CHECK(TouchInjector::tap(Point{20, 150}, s.window));
    CHECK(s.view->evaluate("log.join(' ')") == "touchstart@cta:20,110/1cta touchend@cta:20,110/0");
    s.view->evaluate("log = []");
    CHECK(TouchInjector::tap(Point{20, 150}, s.window));
    CHECK(s.view->evaluate("log.join(' ')") == "touchstart@cta:20,110/1cta touchend@cta:20,110/0 click@cta:20,110");
    runUntilIdle();
    CHECK(s.delegate->asks().size() == 2);

    // A drag is a scroll, not a tap; its moves go to the element it began on.
    TouchPage q;
    REQUIRE(q.load(*this, kTouchLog));
    TouchInjector finger(q.window);
    CHECK(finger.down(Point{20, 150}));
    CHECK(finger.move(Point{20, 100}));
    CHECK(finger.up(Point{20, 100}));
    CHECK(q.view->evaluate("log.join(' ')") == "touchstart@cta:20,110/1cta touchmove@cta:20,60/1cta touchend@cta:20,60/0");
    runUntilIdle();
    CHECK(p.delegate->asks().size() == 1);
    CHECK(q.delegate->asks().size() == 1);
}

TEST_CASE_FIXTURE(Harness, "WebView: a touch handler that never returns is stopped by the time limit") {
    TouchPage p;
    p.view->setScriptTimeLimit(0.2);
    REQUIRE(p.load(*this, "<script>var clicked = 0; document.addEventListener('touchstart', function () { for (;;) {} });"
                          "document.addEventListener('click', function () { clicked++; });</script>"));
    CHECK(TouchInjector::tap(Point{50, 90}, p.window));
    CHECK(p.view->currentPage()->scriptsStopped());
    runUntilIdle();
    CHECK(p.delegate->failed == 1);
    CHECK(p.delegate->failCode == ScriptContext::TimeLimitCode);
}

TEST_CASE_FIXTURE(Harness, "WebView: history keeps its latest documents, and no URL past the longest a page loads") {
    Page p;
    // Documents come and go; history holds the latest, as a browser's does.
    for (std::size_t i = 0; i < WebView::MaximumHistoryEntries + 10; ++i)
        REQUIRE(p.load(*this, "<script>var page = " + std::to_string(i) + ";</script>",
                       "https://a.example/" + std::to_string(i)));
    std::size_t back = 0;
    while (p.view->canGoBack() && back <= WebView::MaximumHistoryEntries) {
        const int finished = p.delegate->finished;
        p.view->goBack();
        REQUIRE(runUntil([&] { return p.delegate->finished > finished; }));
        ++back;
    }
    CHECK(back == WebView::MaximumHistoryEntries - 1);
    CHECK(p.view->evaluate("page") == "10");

    // A request past the longest URL a web view loads fails at once and says why; its delegate is not
    // asked about it and the page stays.
    const std::size_t asked = p.delegate->asks().size();
    const int failed = p.delegate->failed;
    p.view->loadRequest(URLRequest(url("https://a.example/?" + std::string(TransferOrigin::MaximumURLLength, 'q'))));
    REQUIRE(runUntil([&] { return p.delegate->failed > failed; }));
    CHECK(p.delegate->asks().size() == asked);
    CHECK(p.view->evaluate("page") == "10");
}

namespace {
struct LoadRecorder : URLConnectionDelegate {
    int finishes = 0;
    int failures = 0;
    std::string body;
    std::function<void(const std::shared_ptr<URLConnection>&, const Bytes&)> onData;
    void didReceiveData(const std::shared_ptr<URLConnection>& c, const Bytes& data) override {
        body.append(data.begin(), data.end());
        if (onData) onData(c, data);
    }
    void didFinishLoading(const std::shared_ptr<URLConnection>&) override { ++finishes; }
    void didFailWithError(const std::shared_ptr<URLConnection>&, const Error&) override { ++failures; }
};
} // namespace

TEST_CASE_FIXTURE(Harness, "WebView: a load made for its page is the page's, bounded, charged, and ends with the document") {
    auto server = startServer();
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60);  // cut short when the server stops
    server->route("/hang", hang);
    server->route("/ok", adserver::Response::text("fine"));
    Page p;
    auto recorder = std::make_shared<LoadRecorder>();
    Error error("", 0);
    // No document yet: nothing to load for.
    CHECK(p.view->connectionForPage(URLRequest(url(server->baseURL() + "/ok")), recorder, &error) == nullptr);
    CHECK(error.domain == WebView::ErrorDomain);

    REQUIRE(p.load(*this, "<p>ad</p>"));
    auto page = p.view->currentPage();
    const std::size_t charged = page->chargedBytes();
    // One that ends gives its place and charge back.
    auto quick = p.view->connectionForPage(URLRequest(url(server->baseURL() + "/ok")), recorder);
    REQUIRE(quick);
    CHECK(quick->origin() == page->options().origin);
    CHECK(page->chargedBytes() > charged);
    quick->start();
    REQUIRE(runUntil([&] { return recorder->finishes == 1; }, 10));
    CHECK(recorder->body == "fine");
    CHECK(page->loadsForPageCount() == 0);
    CHECK(page->chargedBytes() == charged);

    // Bad input is refused at once and never sent: a URL past web content's bound...
    std::string longURL = server->baseURL() + "/ok?" + std::string(TransferOrigin::MaximumURLLength, 'a');
    CHECK(p.view->connectionForPage(URLRequest(url(longURL)), recorder, &error) == nullptr);
    CHECK(error.description.find("too long") != std::string::npos);
    // ...and more than a page may have at once.
    std::vector<std::shared_ptr<URLConnection>> hanging;
    for (std::size_t i = 0; i < WebPage::MaximumLoadsForPage; ++i) {
        auto c = p.view->connectionForPage(URLRequest(url(server->baseURL() + "/hang?n=" + std::to_string(i))), recorder);
        REQUIRE(c);
        c->start();
        hanging.push_back(c);
    }
    CHECK(p.view->connectionForPage(URLRequest(url(server->baseURL() + "/ok")), recorder, &error) == nullptr);
    CHECK(page->loadsForPageCount() == WebPage::MaximumLoadsForPage);
    REQUIRE(runUntil([&] { return server->requestCount("/hang") >= 6; }, 10));

    // The document goes: every load it asked for fails from a later task and gives back its charge.
    REQUIRE(p.load(*this, "<p>next</p>"));
    REQUIRE(runUntil([&] { return recorder->failures == static_cast<int>(WebPage::MaximumLoadsForPage); }, 10));
    CHECK(page->loadsForPageCount() == 0);
    CHECK(page->chargedBytes() == charged);
    CHECK(recorder->finishes == 1);
}

TEST_CASE_FIXTURE(Harness, "WebView: what the owner of a page's load keeps comes out of the page's budget") {
    auto server = startServer();
    server->route("/big", adserver::Response::text(std::string(8u << 20, 'x')));
    Page p;
    REQUIRE(p.load(*this, "<p>ad</p>"));
    auto page = p.view->currentPage();
    auto recorder = std::make_shared<LoadRecorder>();
    bool refused = false;
    recorder->onData = [&](const std::shared_ptr<URLConnection>& c, const Bytes& data) {
        if (!c->charge(data.size())) {
            refused = true;
            c->cancel();
        }
    };
    auto big = p.view->connectionForPage(URLRequest(url(server->baseURL() + "/big")), recorder);
    REQUIRE(big);
    // Loads of long URLs, never started, take the rest of the budget until one no longer fits.
    std::vector<std::shared_ptr<URLConnection>> held;
    Error error("", 0);
    const std::string longURL = server->baseURL() + "/ok?" + std::string(TransferOrigin::MaximumURLLength - 64, 'a');
    while (held.size() < WebPage::MaximumLoadsForPage) {
        auto c = p.view->connectionForPage(URLRequest(url(longURL)), recorder, &error);
        if (!c) break;
        held.push_back(c);
    }
    REQUIRE(held.size() < WebPage::MaximumLoadsForPage);
    CHECK(error.description.find("budget") != std::string::npos);
    big->start();
    REQUIRE(runUntil([&] { return refused || recorder->finishes == 1; }, 20));
    // The body does not fit what is left: the owner is told no and ends the load.
    CHECK(refused);
    held.clear();
    CHECK(page->chargedBytes() <= page->options().scriptMemoryLimit);
    runUntilIdle();
    CHECK(page->loadsForPageCount() == 0);
}

namespace {
// A load for the page, started, with a recorder of its own.
struct PageLoadUnderWay {
    std::shared_ptr<LoadRecorder> recorder = std::make_shared<LoadRecorder>();
    std::shared_ptr<URLConnection> connection;
};

PageLoadUnderWay startLoadForPage(WebView& view, const URLRequest& request, PageLoad kind) {
    PageLoadUnderWay load;
    load.connection = view.connectionForPage(request, load.recorder, nullptr, kind);
    REQUIRE(load.connection);
    load.connection->start();
    return load;
}

int failuresOf(const std::vector<PageLoadUnderWay>& loads) {
    int n = 0;
    for (const auto& load : loads)
        n += load.recorder->failures;
    return n;
}
} // namespace

TEST_CASE_FIXTURE(Harness, "WebView: a page's ping outlives its document and is done at its final head, and one whose "
                           "head never comes fails at the end of its life and gives back its charge") {
    auto server = startServer();
    adserver::Response slow = adserver::Response::text("heard");
    slow.delay = std::chrono::seconds(2);
    server->route("/slow", slow);
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60);  // cut short when the server stops
    server->route("/hang", hang);
    Page p;
    REQUIRE(p.load(*this, "<p>ad</p>"));
    auto page = p.view->currentPage();
    const std::size_t charged = page->chargedBytes();
    auto ping = startLoadForPage(*p.view, URLRequest(url(server->baseURL() + "/slow")), PageLoad::Beacon);
    auto hanging = startLoadForPage(*p.view, URLRequest(url(server->baseURL() + "/hang?ping")), PageLoad::Beacon);
    // What only the page could use ends with it.
    auto image = startLoadForPage(*p.view, URLRequest(url(server->baseURL() + "/hang?image")), PageLoad::EndsWithPage);
    REQUIRE(runUntil([&] { return server->requestCount("/hang") == 2; }, 10));
    // Pings are not among the page's loads: they are counted by their ad's quota.
    CHECK(page->loadsForPageCount() == 1);
    CHECK(NetworkEngine::shared().pingCounts().admitted == 2);

    REQUIRE(p.load(*this, "<p>next</p>"));
    CHECK(page->isClosed());
    REQUIRE(runUntil([&] { return ping.recorder->finishes == 1 && image.recorder->failures == 1; }, 20));
    // Its answer's body is not read.
    CHECK(ping.recorder->body.empty());
    CHECK(ping.recorder->failures == 0);
    // The other ping goes on, whatever time passes short of its life.
    advance(PingScheduler::LifeSeconds - 1);
    runUntil([] { return false; }, 1.5);
    CHECK(hanging.recorder->failures == 0);
    advance(2);
    REQUIRE(runUntil([&] { return hanging.recorder->failures == 1; }, 10));
    runUntilIdle();
    CHECK(hanging.recorder->finishes == 0);
    CHECK(page->chargedBytes() == charged);
    CHECK(runUntil([] { return NetworkEngine::shared().pingCounts().admitted == 0; }, 10));
}

TEST_CASE_FIXTURE(Harness, "WebView: a page's pings are admitted by its ad's quota, shared by the documents it "
                           "navigates to, and the next ad the app loads starts afresh") {
    auto server = startServer();
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60);  // cut short when the server stops
    server->route("/hang", hang);
    const PingScheduler::Limits quotas;
    auto& engine = NetworkEngine::shared();
    Page p;
    REQUIRE(p.load(*this, "<p>ad</p>"));
    std::vector<PageLoadUnderWay> pings;
    Error error("", 0);
    auto ping = [&](const URLRequest& request) {
        PageLoadUnderWay load;
        load.connection = p.view->connectionForPage(request, load.recorder, &error, PageLoad::Beacon);
        if (load.connection) load.connection->start();
        return load;
    };
    for (std::size_t i = 0; i < quotas.adPings; ++i) {
        pings.push_back(ping(URLRequest(url(server->baseURL() + "/hang?n=" + std::to_string(i)))));
        REQUIRE(pings.back().connection);
    }
    // Past the quota a ping is refused at once, saying why; pings are not among the page's loads, which
    // it may still make.
    CHECK(ping(URLRequest(url(server->baseURL() + "/hang?past"))).connection == nullptr);
    CHECK(error.description.find("ad's quota") != std::string::npos);
    CHECK(p.view->connectionForPage(URLRequest(url(server->baseURL() + "/hang?image")), std::make_shared<LoadRecorder>()));

    // The creative navigates itself: its next document is the same ad.
    server->route("/again.html", adserver::Response::text("<p>again</p>", "text/html"));
    auto first = p.view->currentPage();
    const int finished = p.delegate->finished;
    p.view->evaluate("location.href = '" + server->baseURL() + "/again.html';");
    REQUIRE(runUntil([&] { return p.view->currentPage() != first && p.delegate->finished > finished; }, 10));
    CHECK(ping(URLRequest(url(server->baseURL() + "/hang?reloaded"))).connection == nullptr);
    CHECK(engine.pingCounts().admitted == quotas.adPings);

    // The app loads the next ad into the view: a fresh account, within which bytes count as well.
    REQUIRE(p.load(*this, "<p>next ad</p>"));
    pings.push_back(ping(URLRequest(url(server->baseURL() + "/hang?next"))));
    INFO(error.description);
    REQUIRE(pings.back().connection);
    URLRequest heavy(url(server->baseURL() + "/hang?heavy"));
    heavy.setHTTPMethod("POST");
    heavy.setHTTPBody(std::string(quotas.adBytes, 'b'));
    CHECK(ping(heavy).connection == nullptr);
    CHECK(engine.pingCounts().admitted == quotas.adPings + 1);
    // Nothing admitted was dropped on the way: all still go on, six to the host at a time.
    CHECK(failuresOf(pings) == 0);
    for (auto& load : pings) load.connection->cancel();
    CHECK(engine.pingCounts().admitted == 0);
}

TEST_CASE_FIXTURE(Harness, "WebView: a ping whose page is gone is still delivered, holds nothing of the page, and keeps "
                           "nothing of its answer") {
    auto server = startServer();
    adserver::Response slow = adserver::Response::text("heard");
    slow.delay = std::chrono::seconds(2);
    server->route("/slow", slow);
    server->route("/big", adserver::Response::text(std::string(8u << 20, 'x')));
    Page p;
    REQUIRE(p.load(*this, "<p>ad</p>"));
    std::weak_ptr<WebPage> page = p.view->currentPage();
    auto ping = startLoadForPage(*p.view, URLRequest(url(server->baseURL() + "/slow")), PageLoad::Beacon);
    auto big = startLoadForPage(*p.view, URLRequest(url(server->baseURL() + "/big")), PageLoad::Beacon);
    p.view.reset();
    CHECK(page.expired());
    REQUIRE(runUntil([&] { return ping.recorder->finishes == 1 && big.recorder->finishes == 1; }, 20));
    CHECK(ping.recorder->body.empty());
    CHECK(big.recorder->body.empty());
}
