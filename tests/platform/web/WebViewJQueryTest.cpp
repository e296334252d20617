#include <doctest/doctest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Log.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Window.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"

using platform::testing::Harness;
using namespace platform;

namespace {

// Debian's libjs-jquery, installed by scripts/install-deps.sh.
const std::string& jquerySource() {
    static const std::string source = [] {
        std::ifstream in("/usr/share/javascript/jquery/jquery.min.js", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    REQUIRE_MESSAGE(!source.empty(), "jQuery is missing: run scripts/install-deps.sh (package libjs-jquery)");
    return source;
}

struct Delegate : WebViewDelegate {
    int finished = 0;
    void didFinishLoad(WebView&) override { ++finished; }
};

// A page of `body` with jQuery loaded in its head, in a web view on screen.
struct JQueryPage {
    std::shared_ptr<Window> window = Window::create(Rect(0, 0, 320, 480));
    std::shared_ptr<WebView> view = WebView::create(Rect(0, 0, 320, 480));
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
    LogCapture logs;
    JQueryPage(Harness& h, const std::string& body) {
        warmUp(h);
        window->addSubview(view);
        window->makeKeyAndVisible();
        view->setDelegate(delegate);
        REQUIRE(load(h, view, delegate, body));
    }
    std::string js(const std::string& source) { return view->evaluate(source); }
    // Nothing logged as going wrong: no uncaught error, failed script or stopped page (each one reported).
    bool ranClean() const {
        bool clean = true;
        for (const auto& line : logs.lines()) {
            if (line.find("uncaught") == std::string::npos && line.find("failed") == std::string::npos &&
                line.find("stopped") == std::string::npos)
                continue;
            MESSAGE(line);
            clean = false;
        }
        return clean;
    }

private:
    // True once the page has finished loading; false when it never does (its scripts stopped, say), with
    // what was logged as the reason.
    static bool load(Harness& h, const std::shared_ptr<WebView>& view, const std::shared_ptr<Delegate>& delegate,
                     const std::string& body) {
        LogCapture seen;
        view->loadHTMLString("<html><head><script>" + jquerySource() + "</script></head><body>" + body + "</body></html>",
                             URL::parse("https://ads.example/creative.html"));
        auto stopped = [&] { return seen.contains("stopped:"); };
        h.runUntil([&] { return delegate->finished > 0 || stopped(); });
        if (delegate->finished > 0) return true;
        for (const auto& line : seen.lines()) MESSAGE(line);
        return false;
    }
    // The first page compiles jQuery, which in an instrumented build can take more than a page's share of the
    // main thread (and be stopped for it); later pages load its compiled form, as pages repeating a library do.
    static void warmUp(Harness& h) {
        static bool done = false;
        if (std::exchange(done, true)) return;
        auto view = WebView::create(Rect(0, 0, 320, 480));
        auto delegate = std::make_shared<Delegate>();
        view->setDelegate(delegate);
        load(h, view, delegate, "");
    }
};

} // namespace

TEST_CASE_FIXTURE(Harness, "WebView: jQuery loads and its selectors find elements") {
    JQueryPage p(*this, "<div id='a' class='x'>hi</div><ul><li class='i'>1</li><li class='i sel'>2</li><li>3</li></ul>"
                        "<input type='checkbox' id='c' checked><input type='text' id='t'>"
                        "<a href='https://x.example/' data-foo-bar='7'>l</a>");
    CHECK(p.js("typeof jQuery + ' ' + ($ === jQuery) + ' ' + jQuery.fn.jquery.split('.')[0]") == "function true 3");
    CHECK(p.js("$('li.i').length + ' ' + $('ul > li').eq(1).text() + ' ' + $('li:not(.i)').text() + ' ' +"
               "$('li:last-child').text() + ' ' + $('ul li:first').text()") == "2 2 3 3 1");
    CHECK(p.js("$('[data-foo-bar]').length + ' ' + $('a[href^=\"https\"]').length + ' ' + $('input:checked').attr('id') +"
               "' ' + $('input:text').attr('id') + ' ' + $('#a, .sel').length") == "1 1 c t 2");
    CHECK(p.js("$('a').data('fooBar') + ' ' + $('#a').closest('body').length + ' ' + $('li').filter('.sel').index()") ==
          "7 1 1");
    // Markup made and moved by jQuery.
    CHECK(p.js("$('<p class=\"n\"><b>new</b></p>').appendTo('body'); $('p.n b').text() + ' ' + $('#a').clone().attr('id')") ==
          "new a");
    CHECK(p.js("$('#a').html('<i>x</i><i>y</i>').find('i').length + ' ' + $('#a').text()") == "2 xy");
    CHECK(p.ranClean());
}

TEST_CASE_FIXTURE(Harness, "WebView: jQuery binds, triggers and unbinds events, and a tap fires its click handlers") {
    JQueryPage p(*this, "<div id='box' style='width: 320px; height: 100px'><span id='in'>tap</span></div>");
    CHECK(p.js("var seen = []; $('#box').on('click', function (e) { seen.push('click:' + e.target.id + ':' + e.type); });"
               "$(document).on('custom', '#box', function (e, v) { seen.push('custom:' + v); });"
               "$('#box').trigger('click'); $('#box').trigger('custom', ['x']); seen.join(' ')") ==
          "click:box:click custom:x");
    // A tap on the page: jQuery hears the touches and the click, with their coordinates.
    CHECK(p.js("seen = []; $('#box').on('touchstart touchend', function (e) {"
               " var t = e.originalEvent.changedTouches[0]; seen.push(e.type + ':' + t.clientX + ',' + t.clientY); }); 1") == "1");
    CHECK(TouchInjector::tap(Point{30, 40}, p.window));
    CHECK(p.js("seen.join(' ')") == "touchstart:30,40 touchend:30,40 click:box:click");
    CHECK(p.js("seen = []; $('#box').off('click'); $('#box').trigger('click'); $('#box').click(); seen.length") == "0");
    CHECK(p.js("var once = 0; $('#box').one('ping', function () { once++; }).trigger('ping').trigger('ping'); once") == "1");
    CHECK(p.ranClean());
}

TEST_CASE_FIXTURE(Harness, "WebView: jQuery changes classes, shows and hides elements and sets styles") {
    JQueryPage p(*this, "<div id='a' class='x'>hi</div>");
    CHECK(p.js("$('#a').addClass('y z').removeClass('x').attr('class')") == "y z");
    CHECK(p.js("$('#a').toggleClass('y').hasClass('y') + ' ' + $('#a').toggleClass('w', true).hasClass('w')") == "false true");
    CHECK(p.js("$('#a').hide().css('display') + ' ' + $('#a').is(':visible') + ' ' + $('#a').is(':hidden')") == "none false true");
    CHECK(p.js("$('#a').show().css('display') + '|' + $('#a').is(':visible')") == "|true");
    CHECK(p.js("$('#a').toggle().css('display')") == "none");
    CHECK(p.js("$('#a').css({width: '100px', backgroundColor: 'red', opacity: 0.5}).css('width') + ' ' +"
               "$('#a').css('background-color') + ' ' + $('#a').css('opacity') + ' ' + $('#a').width()") ==
          "100px red 0.5 100");
    CHECK(p.js("document.getElementById('a').style.backgroundColor") == "red");
    CHECK(p.ranClean());
}

TEST_CASE_FIXTURE(Harness, "WebView: jQuery animations complete on the virtual clock") {
    JQueryPage p(*this, "<div id='a' style='width: 100px; opacity: 1'>hi</div><div id='b'>fade</div>");
    CHECK(p.js("var done = []; $('#a').animate({opacity: 0.5, width: 200}, 400, function () { done.push('a'); });"
               "$('#b').fadeOut(200, function () { done.push('b'); }); done.length") == "0");
    // Half way, the animation is on its way.
    for (int i = 0; i < 12; ++i) advance(1.0 / 60);
    CHECK(p.js("var w = parseFloat($('#a').css('width')); w > 100 && w < 200") == "true");
    for (int i = 0; i < 30; ++i) advance(1.0 / 60);
    CHECK(p.js("done.join() + ' ' + $('#a').css('opacity') + ' ' + $('#a').css('width') + ' ' + $('#b').css('display')") ==
          "b,a 0.5 200px none");
    CHECK(p.js("$(':animated').length + ' ' + $.timers.length") == "0 0");
    CHECK(p.ranClean());
}
