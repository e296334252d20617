// Every native the bindings give a page, called as a hostile creative would: strings up to what is left of
// the page's budget, text that escaping grows, a document at the node cap, a 40,000-deep chain, 20,000
// children, many calls in one entry; and the load of hostile markup. Each call must stay within the entry's
// time limit in processor time and allocate no more native memory than the page has left; and it must
// answer as its shape asks: a call within the page's limits does what it was asked (its effect is
// checked), and only a call past a limit may throw, with the page's RangeError (or the entry stopped at
// its time). So a native that refused everything, or did nothing, fails here.
//
// The natives come from the bindings' own table: one added later without hostile shapes here fails the
// sweep, since only shapes written for it can say what "doing nothing" means for it. Each native also gets
// the same call many times in one entry, without a new line here.
#include <doctest/doctest.h>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "duktape.h"
#include "platform/base/Log.h"
#include "platform/testing/Harness.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebPageBindings.h"
#include "tests/platform/web/AllocationTally.h"
#include "tests/platform/web/WebPageTestSupport.h"

// --- Native bytes: what the calling thread takes through operator new while a call runs (the test program
// replaces it: see AllocationTally). Duktape's heap allocates on its own budget, and the HTML parser takes
// its blocks from malloc and charges each at what malloc gave it: neither is counted here.
namespace {

// The peak of native bytes live during one scope, over those live at its start.
class NativeBytesMeter {
public:
    std::int64_t stop() {
        if (!stopped_) {
            peak_ = tally_->peak();
            tally_.reset();
            stopped_ = true;
        }
        return peak_;
    }

private:
    std::unique_ptr<platform::webtest::AllocationTally> tally_ = std::make_unique<platform::webtest::AllocationTally>();
    std::int64_t peak_ = 0;
    bool stopped_ = false;
};

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

using namespace platform;
using platform::testing::Harness;
using platform::webtest::Client;
using platform::webtest::StopClient;

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitized = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitized = true;
#else
constexpr bool kThreadSanitized = false;
#endif
#else
constexpr bool kThreadSanitized = false;
#endif

// The pages' limits for the sweep: a budget that holds a document at the node cap (a small one for the
// small page, whose shapes are strings up to what it has left) and a short time limit, in which every call
// within the limits that is not marked slow finishes (ThreadSanitizer's build, several times slower than
// the others, gets a longer one).
constexpr std::size_t kBudget = 48u << 20;
constexpr std::size_t kSmallBudget = 4u << 20;
constexpr double kFullTimeLimit = kThreadSanitized ? 1.0 : 0.25;
// What a call may take past the limit (the natives check the clock as they go, not at every step), and
// native bytes past the page's room (bookkeeping a call needs whatever its size: ids, small strings).
// Work bounded by the node cap rather than metered (a layout of the whole document, a load's last steps)
// runs several times slower under ThreadSanitizer than under the other builds, so the margin is wider there.
constexpr double kFullTimeMargin = kThreadSanitized ? 4.0 : 1.0;
constexpr std::int64_t kByteMargin = 1 << 20;

// How many times slower than this one the machine the sweep stands for is. To the page's meter, which
// counts processor time, a machine k times slower is this one with the time limit and the margin divided
// by k: the metered work stops at the limit wherever it is, and only what goes unmetered takes k times
// longer against them. So the sweep holds on a slower machine exactly when it holds here with both cut.
double slowdown = 1;
double timeLimit() { return kFullTimeLimit / slowdown; }
double timeMargin() { return kFullTimeMargin / slowdown; }

// Where a shape runs: a small page, or one kGap nodes short of the node cap holding the 40,000-deep chain
// and the 20,000 children.
enum class Fixture { Small, Full };

// What a shape asks of the page's limits, and so what answers it. Every answer is also held to the entry's
// time and to the page's memory.
enum class Ask {
    // Within every limit: the call returns and its effect holds.
    Within,
    // Within every limit but the entry's time, which a slow build may not give it (a walk of a document at
    // the node cap, say): the call returns and its effect holds, or the entry is stopped at its time.
    Slow,
    // Past a limit (the budget, the node cap, the cap on timers, frames or navigations, the longest
    // selector): the call throws the shape's error, the page's RangeError unless it names another, or the
    // entry is stopped at its time. Its effect, if any, is what still holds after the refusal.
    Past,
    // The same call many times in one entry, which passes some limit sooner or later: the calls return and
    // the effect holds, or one throws the page's RangeError, or the entry is stopped at its time.
    Many,
};

// One hostile call: its arguments (a script expression over the fixture, run before the call and not
// measured: it may also set the document up), what must hold after it (over R, its result; A, its
// arguments; REPEAT, how many times it was made; HOST and BEFORE, what the page holds outside the document
// after and before the call: navigations queued, timers and frames pending, console lines logged), what it
// asks of the limits, and how many times it is made in one entry.
struct Shape {
    const char* label;
    Fixture fixture;
    const char* args;
    const char* effect;
    Ask ask = Ask::Within;
    int repeat = 1;
    const char* refusal = "RangeError";
};

// Helpers every fixture has: big(n) is n characters that escaping grows (quotes and ampersands), style(n)
// n distinct declarations, hosts(n) markup of n images on distinct hosts, brs(n) markup of n elements.
constexpr const char* kHelpers =
    "var N = this.__natives;"
    "function make(n, u) { n = Math.max(1, Math.floor(n)); var s = u; while (s.length < n) s += s; return s.substring(0, n); }"
    "function big(n) { return make(n, '\"&'); }"
    "function amp(n) { return make(n, '&'); }"
    "function quote(n) { return make(n, '\"'); }"
    "function style(n) { var a = []; for (var i = 0; i < n; i++) a.push('p' + i + ':' + i); return a.join(';'); }"
    "function hosts(n) { var a = []; for (var i = 0; i < n; i++) a.push('<img src=\"https://h' + i + '.example/a.gif\">'); return a.join(''); }"
    "function ids(s) { return N.query(0, s, true)[0] || 0; }"
    "function brs(n) { return new Array(Math.floor(n) + 1).join('<br>'); }"
    "var R = null, A = null;";

const char* kSmallMarkup = "<html><head><title>t</title></head><body><div id='t' class='c d' title='x'>text</div>"
                           "<div id='e'></div><form id='f' action='https://page.example/go'><input name='q' value='1'></form>"
                           "</body></html>";

// The ids the shapes name: T (a div with text), E (an empty div), F (a form), B (the body); and in the full
// fixture DEEP and LEAF (the ends of the chain), WIDE (the parent of the 20,000) and W (one of them).
constexpr const char* kSmallIds = "var T = ids('#t'), E = ids('#e'), F = ids('#f'), B = N.part(2, 0), DEEP = T, "
                                  "LEAF = T, WIDE = E, W = T;";
constexpr const char* kFullBuild =
    "var DEEP = ids('#deep'), WIDE = ids('#wide');"
    // The chain, 500 levels at a time (markup deeper than that is flattened), built from its leaf up out of the
    // document (an element that deep takes no children), then put under DEEP.
    "var open = '', close = ''; for (var i = 0; i < 500; i++) { open += '<span>'; close += '</span>'; }"
    // (The pieces are held through their wrappers meanwhile: out of the document, nothing else keeps them.)
    "var LEAF = 0, TOP = 0, held = [];"
    "for (var k = 0; k < 80; k++) { held.push(N.create('div', 1, 0)); var t = held[k].__id; N.setHTML(t, open + close);"
    "  var l = t;"
    "  for (var c = N.edgeChild(t, false, true); c; c = N.edgeChild(c, false, true)) l = c;"
    "  if (TOP) N.insert(l, TOP, 0); else LEAF = l; TOP = N.edgeChild(t, false, true); }"
    "N.insert(DEEP, TOP, 0); held = null;"
    "for (var d = 0, up = LEAF; up; up = N.parent(up)) d++;"
    "if (d < 40000 || !N.contains(N.root(), LEAF)) throw new Error('the chain is ' + d + ' deep');"
    "var kids = make(20000 * 7, '<i></i>');"
    "N.setHTML(WIDE, kids); var W = N.children(WIDE, true)[10000];"
    "var DP = N.parent(DEEP), WP = N.parent(WIDE), FILL = ids('#fill');"
    // The rest, up to the node cap less the fixture's gap (GAP more nodes, set before): just what fits, as
    // markup that passed the cap would be parsed and refused whole, and a forced collection made, each time.
    "function fill() { while (GAP > 0) { var n = Math.min(GAP - 1, 20000); var d = N.create('div', 1, 0).__id; "
    "  N.insert(FILL, d, 0); if (n > 0) N.setHTML(d, n === 20000 ? kids : make(n * 7, '<i></i>')); GAP -= n + 1; } }"
    // Room for a refill, when a call left the document nearer the cap than the gap.
    "function trim() { var d = N.edgeChild(FILL, true, true); if (d) N.remove(FILL, d); }"
    // What puts the fixture back after a call took part of it away.
    "function restore() { if (N.parent(DEEP) !== DP) N.insert(DP, DEEP, 0); if (N.parent(WIDE) !== WP) "
    "  N.insert(WP, WIDE, 0); if (N.parent(W) !== WIDE) N.insert(WIDE, W, 0); N.setText(E, ''); }";

// How far from the node cap the full fixture is before each call: room for the few nodes a call within the
// limits makes there, and not for markup of more.
constexpr std::size_t kGap = 16;

// Every native's hostile shapes, each with what it asks of the limits and the effect that shows it answered.
const std::map<std::string, std::vector<Shape>>& shapes() {
    using enum Ask;
    static const std::map<std::string, std::vector<Shape>> table = {
        {"type", {{"the chain's leaf", Fixture::Full, "[LEAF]", "R === 1"}}},
        {"tag", {{"the chain's leaf", Fixture::Full, "[LEAF]", "R === 'SPAN'"}}},
        {"attr",
         {{"an attribute up to the room", Fixture::Small, "(N.setAttr(T, 'title', quote(ROOM / 4)), [T, 'title'])",
           "R.length === Math.floor(ROOM / 4)"},
          {"a name up to the room", Fixture::Small, "[T, big(ROOM / 4)]", "R === null"}}},
        {"hasAttr",
         {{"a name up to the room", Fixture::Small, "[T, big(ROOM / 4)]", "R === false"},
          {"a name it has, in capitals", Fixture::Small, "[T, 'TITLE']", "R === true"}}},
        {"setAttr",
         {{"a value up to the room", Fixture::Small, "[T, 'title', quote(ROOM / 4)]", "N.attr(T, 'title') === A[2]"},
          {"a style of 10,000 declarations", Fixture::Small, "[T, 'style', style(10000)]",
           "N.styleGet(T, 'p9999') === '9999'"},
          {"at the node cap", Fixture::Full, "[W, 'data-k', 'v']", "N.attr(W, 'data-k') === 'v'"},
          // (The value is held twice in the document already, and once in the heap beside a sixteenth more:
          // a third copy does not fit.)
          {"a value past the room", Fixture::Small,
           "(Q = quote(ROOM / 4), P = amp(ROOM / 16), N.setAttr(E, 'title', Q), N.setAttr(F, 'title', Q), [T, 'title', Q])",
           "N.attr(T, 'title') === 'x'", Past}}},
        {"removeAttr",
         {{"at the node cap", Fixture::Full, "(N.setAttr(W, 'title', 'x'), [W, 'title'])", "!N.hasAttr(W, 'title')"},
          {"a name of an eighth of the room", Fixture::Small, "(N.setAttr(T, make(ROOM / 8, 'n'), 'v'), [T, make(ROOM / 8, 'n')])",
           "!N.hasAttr(T, A[1]) && N.attr(T, 'title') === 'x'"}}},
        {"resolvedAttr",
         {{"a link of a sixteenth of the room", Fixture::Small,
           "(N.setAttr(T, 'href', 'https://a.example/?' + amp(ROOM / 16)), [T, 'href'])",
           "R.indexOf('https://a.example/?') === 0 && R.length >= Math.floor(ROOM / 16)"},
          {"a link up to the room", Fixture::Small,
           "(N.setAttr(T, 'href', 'https://a.example/?' + amp(ROOM / 4)), [T, 'href'])", nullptr, Past}}},
        {"size",
         {{"a width up to the room", Fixture::Small, "(N.styleSet(T, 'width', big(ROOM / 4)), [T, 0])", "R === 0"},
          {"a width in pixels", Fixture::Small, "(N.styleSet(T, 'width', '120px'), [T, 0])", "R === 120"}}},
        {"box",
         // (A layout of the whole document at the node cap: bounded by the cap, not metered.)
         {{"a sized element in a small page", Fixture::Small,
           "(N.styleSet(T, 'width', '120px'), N.styleSet(T, 'height', '40px'), [T])", "R[2] === 120 && R[3] === 40"},
          {"the chain's leaf, deeper than layouts go", Fixture::Full, "[LEAF]", "R === null", Slow},
          {"one of 20,000 children", Fixture::Full, "[W]", "R !== null && R.length === 4 && R[2] > 0", Slow}}},
        {"owner", {{"the chain's leaf", Fixture::Full, "[LEAF]", "R === N.root()"}}},
        {"newDocument", {{"at the node cap", Fixture::Full, "[]", "N.type(R) === 9"}}},
        {"parent", {{"the chain's leaf", Fixture::Full, "[LEAF]", "N.edgeChild(R, false, false) === LEAF"}}},
        {"path",
         {{"the chain's leaf", Fixture::Full, "[LEAF]", "R.length === PATH + 1 && R[PATH] === N.root()"},
          {"one of 20,000 children", Fixture::Full, "[W]", "R[0] === WIDE && R[R.length - 1] === N.root()"}}},
        {"sibling",
         {{"the last of 20,000 children", Fixture::Full, "[N.edgeChild(WIDE, true, true), -1]",
           "N.sibling(R, 1) === A[0] && N.parent(R) === WIDE"}}},
        {"children", {{"20,000 children", Fixture::Full, "[WIDE, false]", "R.length > 19900 && R[0] === N.edgeChild(WIDE, false, false)"}}},
        {"insert",
         {{"a node at the node cap", Fixture::Full, "[E, N.edgeChild(WIDE, true, true), 0]", "N.parent(A[1]) === E"},
          {"the chain below its own leaf", Fixture::Full, "[LEAF, DEEP, 0]", "R === false && N.parent(LEAF) !== 0"},
          {"the 20,000 children's parent moved", Fixture::Full, "[E, WIDE, 0]", "N.parent(WIDE) === E"}}},
        {"remove", {{"the 40,000-deep chain", Fixture::Full, "[N.parent(DEEP), DEEP]", "(R === true || REPEAT > 1) && N.parent(DEEP) === 0"}}},
        {"contains", {{"the chain's ends", Fixture::Full, "[DEEP, LEAF]", "R === true"}}},
        {"text",
         {{"the 40,000-deep chain", Fixture::Full, "[DEEP]", "R === ''"},
          {"text up to the room", Fixture::Small, "(N.setText(T, amp(ROOM / 4)), [T])", "R.length === Math.floor(ROOM / 4)"}}},
        {"setText",
         {{"at the node cap", Fixture::Full, "[E, 'hello']", "N.text(E) === 'hello'"},
          // (The check lets go of the argument first: the text read back is made twice, natively and in the heap.)
          {"text up to the room", Fixture::Small, "[T, amp(ROOM / 4)]",
           "(A = null, N.text(T).length === Math.floor(ROOM / 4))"},
          {"over 20,000 children", Fixture::Full, "[WIDE, 'hello']", "N.text(WIDE) === 'hello'"},
          {"text past the room", Fixture::Small,
           "(Q = amp(ROOM / 4), P = amp(ROOM / 16), N.setAttr(E, 'title', Q), N.setAttr(F, 'title', Q), [T, Q])",
           "N.text(T) === 'text'",
           Past}}},
        {"innerText",
         {{"the 40,000-deep chain", Fixture::Full, "[DEEP]", "R === ''"},
          {"text up to the room", Fixture::Small, "(N.setText(T, amp(ROOM / 4)), [T])",
           "R.length === Math.floor(ROOM / 4)", Slow}}},
        {"html",
         {{"text that escaping grows to an eighth of the room", Fixture::Small, "(N.setText(T, amp(ROOM / 40)), [T, false])",
           "R === N.text(T).replace(/&/g, '&amp;')"},
          {"text that escaping grows past the room", Fixture::Small, "(N.setText(T, amp(ROOM / 4)), [T, false])", nullptr,
           Past},
          {"an attribute that escaping grows", Fixture::Small, "(N.setAttr(T, 'title', quote(ROOM / 40)), [T, true])",
           "R.indexOf(N.attr(T, 'title').replace(/\"/g, '&quot;')) > 0"},
          {"an attribute that escaping grows past the room", Fixture::Small,
           "(N.setAttr(T, 'title', quote(ROOM / 4)), [T, true])", nullptr, Past},
          {"the 40,000-deep chain", Fixture::Full, "[DEEP, true]", "R.indexOf('<div id=\"deep\"><span><span>') === 0"},
          {"20,000 children", Fixture::Full, "[WIDE, false]", "R.length === N.children(WIDE, false).length * 7", Slow}}},
        {"setHTML",
         {{"markup of a four-hundredth of the room", Fixture::Small, "[T, brs(ROOM / 1600)]",
           "N.children(T, true).length === A[1].length / 4"},
          {"markup of a twentieth of the room", Fixture::Small, "[T, make(ROOM / 20, '<br>')]", "N.text(T) === 'text'",
           Past},
          {"a style of 6,000 declarations", Fixture::Small, "[T, '<b style=\"' + style(6000) + '\">x</b>']",
           "N.styleGet(N.edgeChild(T, false, true), 'p5999') === '5999'"},
          {"images on 1,200 hosts", Fixture::Small, "[T, hosts(1200)]", "N.children(T, true).length === 1200", Slow},
          {"at the node cap", Fixture::Full, "[E, '<b>bold</b>']", "N.text(E) === 'bold'"},
          {"markup past the node cap", Fixture::Full, "[E, make(40 * 7, '<i></i>')]", "N.children(E, false).length === 0",
           Past},
          {"text of a sixteenth of the room", Fixture::Small, "[T, amp(ROOM / 16)]", "N.text(T) === A[1]"},
          {"text up to the room", Fixture::Small, "[T, amp(ROOM / 4)]", "N.text(T) === 'text'", Past}}},
        {"create",
         {{"at the node cap", Fixture::Full, "['div', 1, 0]", "N.type(R.__id) === 1 && N.tag(R.__id) === 'DIV'"},
          {"text up to the room", Fixture::Small, "[amp(ROOM / 4), 3, 0]",
           "(A = null, N.text(R.__id).length === Math.floor(ROOM / 4))"}}},
        {"byId",
         {{"an id up to the room", Fixture::Small, "[big(ROOM / 4)]", "R === 0"},
          {"an id of an eighth of the room that an element has", Fixture::Small,
           "(N.setAttr(E, 'id', make(ROOM / 8, 'i')), [make(ROOM / 8, 'i')])", "R === E"}}},
        {"byTag", {{"a document at the node cap", Fixture::Full, "[0, '*']", "R.length > 60000 && R.indexOf(LEAF) > 0", Slow}}},
        {"byClass",
         {{"classes of a sixty-fourth of the room", Fixture::Small, "[0, make(ROOM / 64, 'c ')]", "R.length === 1 && R[0] === T"},
          {"classes up to an eighth of the room", Fixture::Small, "[0, make(ROOM / 8, 'c ')]", nullptr, Past},
          {"a document at the node cap", Fixture::Full, "[0, 'nothing here']", "R.length === 0", Slow}}},
        {"query",
         {{"the node cap's every element", Fixture::Full, "[0, '*', false]", "R.length > 60000 && R.indexOf(LEAF) > 0", Slow},
          {"a selector of 32 KB", Fixture::Small, "[0, make(32700, ' ') + '#t', false]", "R.length === 1 && R[0] === T"},
          {"a selector up to the room", Fixture::Small, "[0, big(ROOM / 4), false]", nullptr, Past, 1, "SyntaxError"}}},
        {"root", {{"at the node cap", Fixture::Full, "[]", "N.type(R) === 9 && N.contains(R, LEAF)"}}},
        {"part", {{"at the node cap", Fixture::Full, "[2, 0]", "R === B && N.tag(R) === 'BODY'"}}},
        {"title",
         {{"a title up to the room", Fixture::Small,
           "(N.setText(N.query(0, 'title', true)[0], amp(ROOM / 4)), [0])", "R.length === Math.floor(ROOM / 4)", Slow}}},
        {"readyState", {{"at the node cap", Fixture::Full, "[]", "R === 'complete'"}}},
        {"href", {{"at the node cap", Fixture::Full, "[]", "R === 'https://page.example/'"}}},
        {"urlPart",
         {{"a part up to the room", Fixture::Small, "[big(ROOM / 4)]", "R === ''"},
          {"the host name", Fixture::Small, "['hostname']", "R === 'page.example'"}}},
        {"navigate",
         {{"a URL of a sixty-fourth of the room", Fixture::Small, "['https://a.example/?' + amp(ROOM / 64), 1]",
           "HOST.queued === BEFORE.queued + REPEAT"},
          {"a URL up to the room", Fixture::Small, "['https://a.example/?' + amp(ROOM / 4), 1]",
           "HOST.queued === BEFORE.queued", Past},
          {"URLs past the room in one entry", Fixture::Small, "['https://a.example/?' + amp(ROOM / 50), 1]",
           "HOST.queued < BEFORE.queued + REPEAT", Past, 100}}},
        {"submit",
         {{"a field of a sixty-fourth of the room", Fixture::Small,
           "(N.setAttr(N.query(F, 'input', true)[0], 'value', amp(ROOM / 64)), [F])",
           "HOST.queued === BEFORE.queued + REPEAT"},
          {"a field up to the room", Fixture::Small,
           "(N.setAttr(N.query(F, 'input', true)[0], 'value', amp(ROOM / 4)), [F])", "HOST.queued === BEFORE.queued",
           Past},
          {"forms past the room in one entry", Fixture::Small,
           "(N.setAttr(N.query(F, 'input', true)[0], 'value', amp(ROOM / 50)), [F])",
           "HOST.queued < BEFORE.queued + REPEAT", Past, 100}}},
        {"styleGet",
         {{"a name up to the room", Fixture::Small, "[T, big(ROOM / 4)]", "R === ''"},
          {"a name set, in camel case", Fixture::Small, "(N.styleSet(T, 'backgroundColor', 'red'), [T, 'backgroundColor'])",
           "R === 'red'"}}},
        {"styleSet",
         {{"a value up to the room", Fixture::Small, "[T, 'color', big(ROOM / 4)]",
           "N.styleGet(T, 'color') === A[2]"},
          {"a value of 10,000 declarations", Fixture::Small, "[T, 'color', style(10000)]",
           "N.styleGet(T, 'color') === A[2]"},
          {"at the node cap", Fixture::Full, "[W, 'color', 'red']", "N.styleGet(W, 'color') === 'red'"}}},
        {"write",
         {{"markup of a four-hundredth of the room", Fixture::Small, "[brs(ROOM / 1600)]",
           "N.query(0, 'br', false).length === A[0].length / 4"},
          {"markup of a twentieth of the room", Fixture::Small, "[make(ROOM / 20, '<br>')]",
           "N.query(0, 'br', false).length === 0", Past},
          {"at the node cap", Fixture::Full, "['<b id=\"written\">written</b>']", "N.text(ids('#written')) === 'written'"}}},
        {"setTimer",
         {{"a timer", Fixture::Small, "[1000, false]", "R > 0 && HOST.timers === BEFORE.timers + REPEAT"},
          {"timers past the cap in one entry", Fixture::Small, "[1000, false]",
           "HOST.timers === MAX_TIMERS", Past, 5000}}},
        {"clearTimer",
         {{"a timer that is not", Fixture::Small, "[123456]", "HOST.timers === BEFORE.timers"},
          {"a timer that is", Fixture::Small, "[N.setTimer(1000, false)]", "HOST.timers === BEFORE.timers - 1"}}},
        {"log", {{"a message up to the room", Fixture::Small, "[1, amp(ROOM / 4)]", "HOST.logged === BEFORE.logged + REPEAT"}}},
        {"ua", {{"many in one entry", Fixture::Small, "[]", "R.length > 0", Within, 1000}}},
        {"viewport", {{"at the node cap", Fixture::Full, "[0]", "R === 320"}}},
        {"clone",
         {{"one of 20,000 children at the node cap", Fixture::Full, "[W, true]", "N.tag(R.__id) === 'I' && R.__id !== W"},
          {"the 40,000-deep chain at the node cap", Fixture::Full, "[DEEP, true]", nullptr, Past},
          {"20,000 children at the node cap", Fixture::Full, "[WIDE, true]", nullptr, Past},
          {"4,000 children in a small page", Fixture::Small, "(N.setHTML(E, make(4000 * 7, '<i></i>')), [E, true])",
           "N.children(R.__id, false).length === 4000", Slow},
          // (A sixth: checking the copy holds both texts in the heap at once.)
          {"text up to the room", Fixture::Small, "(N.setText(T, amp(ROOM / 6)), [T, true])",
           "N.text(R.__id) === N.text(T)"}}},
        {"fragment", {{"at the node cap", Fixture::Full, "[0]", "N.type(R.__id) === 11"}}},
        {"matches",
         {{"the chain's leaf", Fixture::Full,
           "[LEAF, 'div span span span span span span span span span span span span span span span span span']",
           "R === true"},
          {"a selector of 32 KB", Fixture::Small, "[T, make(32700, ' ') + '#t']", "R === true"},
          {"a selector up to the room", Fixture::Small, "[T, big(ROOM / 4)]", nullptr, Past, 1, "SyntaxError"}}},
        {"closest",
         {{"the chain's leaf", Fixture::Full, "[LEAF, 'section']", "R === 0"},
          {"the chain's leaf to its top", Fixture::Full, "[LEAF, 'div']", "R === DEEP"},
          {"a selector of 32 KB", Fixture::Small, "[T, make(32700, ' ') + 'body']", "R === B"},
          {"a selector up to the room", Fixture::Small, "[T, big(ROOM / 4)]", nullptr, Past, 1, "SyntaxError"}}},
        {"attrs",
         {{"an attribute up to the room", Fixture::Small, "(N.setAttr(T, 'title', quote(ROOM / 4)), [T])",
           "R.length === 3 && R[2][0] === 'title' && R[2][1].length === Math.floor(ROOM / 4)"}}},
        {"requestFrame",
         {{"a frame", Fixture::Small, "[]", "R > 0 && HOST.frames === BEFORE.frames + REPEAT"},
          {"frames past the cap in one entry", Fixture::Small, "[]", "HOST.frames === MAX_FRAMES", Past, 5000}}},
        {"cancelFrame",
         {{"a frame that is not", Fixture::Small, "[123456]", "HOST.frames === BEFORE.frames"},
          {"a frame that is", Fixture::Small, "[N.requestFrame()]", "HOST.frames === BEFORE.frames - 1"}}},
        {"now", {{"many in one entry", Fixture::Small, "[1]", "R >= 0", Within, 1000}}},
        {"wrap",
         {{"the chain's leaf", Fixture::Full, "[LEAF]", "R.__id === LEAF"},
          {"every one of 20,000 children", Fixture::Full, "[W]", "R.__id === W", Slow, 20000}}},
        {"adjacent",
         {{"markup of a four-hundredth of the room", Fixture::Small, "[T, 'beforeend', brs(ROOM / 1600)]",
           "N.children(T, true).length === A[2].length / 4"},
          {"markup of a twentieth of the room", Fixture::Small, "[T, 'beforeend', make(ROOM / 20, '<br>')]",
           "N.children(T, true).length === 0", Past},
          {"at the node cap", Fixture::Full, "[E, 'afterbegin', '<b>bold</b>']", "N.text(E) === 'bold'"},
          {"markup past the node cap", Fixture::Full, "[E, 'afterbegin', make(40 * 7, '<i></i>')]",
           "N.children(E, false).length === 0", Past}}},
        {"edgeChild", {{"20,000 children", Fixture::Full, "[WIDE, true, true]", "N.parent(R) === WIDE && N.sibling(R, 1) === 0"}}},
    };
    return table;
}

// A page of a fixture, its helpers and ids in place; the test stops when it cannot be made.
struct SweepPage {
    std::shared_ptr<Client> client = std::make_shared<Client>();
    std::shared_ptr<WebPage> page;
    Fixture fixture;

    SweepPage(Fixture f) : fixture(f) {
        WebPage::Options options;
        options.scriptMemoryLimit = f == Fixture::Small ? kSmallBudget : kBudget;
        options.scriptTimeLimit = timeLimit();
        options.scriptShare = 1;
        const std::string markup = f == Fixture::Small ? kSmallMarkup
                                                       : "<body><div id='t'>text</div><div id='e'></div>"
                                                         "<form id='f'></form><div id='deep'></div><div id='wide'>"
                                                         "</div><div id='fill'></div></body>";
        page = WebPageTesting::load(markup, client, options);
        REQUIRE(page);
        // Building the full document is no hostile call: it gets all the time it needs.
        page->script()->setTimeLimit(120);
        Error error;
        const bool made = page->script()->run(
            [](duk_context* ctx) {
                duk_push_global_object(ctx);
                duk_push_global_stash(ctx);
                duk_get_prop_string(ctx, -1, "natives");
                duk_remove(ctx, -2);
                duk_put_prop_string(ctx, -2, "__natives");
                duk_pop(ctx);
            },
            &error);
        REQUIRE(made);
        // PATH: how many ancestors an event's path gives at most, before the document.
        std::string setup = std::string(kHelpers) + "var PATH = " + std::to_string(2 * DOMNode::MaxDepth) +
                            ", MAX_TIMERS = " + std::to_string(WebPage::MaximumTimers) +
                            ", MAX_FRAMES = " + std::to_string(WebPage::MaximumFrameCallbacks) + ";" +
                            (f == Fixture::Small ? kSmallIds : "");
        if (f == Fixture::Full)
            setup += std::string(kSmallIds) + "var T = ids('#t'), E = ids('#e'), F = ids('#f'), GAP = 0;" + kFullBuild;
        REQUIRE_MESSAGE(page->script()->evaluate(setup, "sweep-setup", nullptr, &error), error.description);
        if (f == Fixture::Full) REQUIRE(intact());
        page->script()->setTimeLimit(timeLimit());
    }

    std::size_t roomForNodes() const { return page->document().roomForNodes(); }

    // Lets go of every node nobody holds, so that the room for nodes is what the fixture holds.
    void collect() {
        page->script()->run([this](duk_context* ctx) { page->makeRoom(ctx); });
    }

    // Whether the fixture is still what the shapes expect: put back where a call took part of it away, and
    // kGap nodes short of the cap.
    bool intact() {
        if (fixture == Fixture::Small) return true;
        auto* script = page->script();
        script->setTimeLimit(120);
        script->evaluate("A = R = null; restore();", "sweep-restore");
        collect();
        if (roomForNodes() < kGap) {
            script->evaluate("trim();", "sweep-trim");
            collect();
        }
        script->evaluate("GAP = " + std::to_string(roomForNodes() - kGap) + "; fill();", "sweep-fill");
        std::string ok;
        script->evaluate("N.contains(N.root(), LEAF) && N.children(WIDE, true).length > 19900 && "
                         "N.parent(WIDE) !== E && N.text(E) === ''",
                         "sweep-check", &ok);
        script->setTimeLimit(timeLimit());
        return ok == "true" && roomForNodes() == kGap;
    }
};

// What the page holds outside its documents that a call may change (see Shape).
struct HostState {
    std::size_t queued = 0;
    std::size_t timers = 0;
    std::size_t frames = 0;
    std::size_t logged = 0;

    static HostState of(const WebPage& page, const LogCapture& log) {
        HostState s{page.queuedNavigationCount(), page.pendingTimerCount(), page.pendingFrameCallbackCount(), 0};
        for (const auto& line : log.lines())
            if (line.find("web console:") != std::string::npos) ++s.logged;
        return s;
    }
    std::string script() const {
        return "{queued: " + std::to_string(queued) + ", timers: " + std::to_string(timers) +
               ", frames: " + std::to_string(frames) + ", logged: " + std::to_string(logged) + "}";
    }
};

struct Outcome {
    bool ran = false;        // the measured entry could be made
    bool threw = false;
    bool stopped = false;    // the entry was stopped at its time
    std::string error;
    double seconds = 0;
    std::int64_t bytes = 0;  // native bytes at the peak, over those at the start
    std::size_t room = 0;    // what the page had left just before
    HostState before;
};

// Sets A from the shape's expression (unmeasured), then calls the native with it `repeat` times in one entry,
// measured, leaving its result in R.
Outcome callNative(SweepPage& sweep, const std::string& name, const Shape& shape, const LogCapture& log,
                   Error* setupError) {
    Outcome out;
    auto* script = sweep.page->script();
    script->setTimeLimit(120);
    const std::string setup = "A = " + std::string(shape.args) + "; 0";
    // The last shape's arguments and result go first, and in a small page whatever nobody holds: ROOM is
    // then what the page has, not what a collection would give it.
    script->evaluate("A = R = null;", "sweep-clear");
    if (sweep.fixture == Fixture::Small) sweep.collect();
    const std::size_t roomBefore = sweep.page->roomForDocuments();
    // ROOM: what the page has left before the shape's arguments are made.
    script->evaluate("var ROOM = " + std::to_string(roomBefore) + ";", "sweep-room");
    const bool prepared = script->evaluate(setup, "sweep-args", nullptr, setupError);
    script->setTimeLimit(timeLimit());
    if (!prepared) return out;
    out.room = sweep.page->roomForDocuments();
    out.before = HostState::of(*sweep.page, log);
    Error error;
    out.ran = script->run(
        [&](duk_context* ctx) {
            duk_push_global_object(ctx);
            const duk_idx_t global = duk_get_top(ctx) - 1;
            duk_get_prop_string(ctx, -1, "__natives");
            duk_get_prop_string(ctx, -1, name.c_str());
            duk_get_prop_string(ctx, -3, "A");
            const duk_idx_t fn = duk_get_top(ctx) - 2;
            // The repeat loop is the engine's own: a page's loop of calls is stopped as any loop is.
            duk_eval_string(ctx, "(function (f, a, k) { var r; for (var i = 0; i < k; i++) r = f.apply(null, a); "
                                 "return r; })");
            duk_dup(ctx, fn);
            duk_dup(ctx, fn + 1);
            duk_push_int(ctx, shape.repeat);
            NativeBytesMeter meter;
            const double start = threadSeconds();
            const duk_int_t rc = duk_pcall(ctx, 3);
            out.seconds = threadSeconds() - start;
            out.bytes = meter.stop();
            out.stopped = ScriptContext::outOfTime(ctx);
            out.threw = rc != DUK_EXEC_SUCCESS;
            if (out.threw) out.error = duk_safe_to_string(ctx, -1);
            else duk_put_prop_string(ctx, global, "R");
        },
        &error);
    if (!out.ran) out.error = error.description;
    return out;
}

// Whether the outcome answers what the shape asks (see Ask); `effectHolds` says whether its effect held
// after it. Empty when it does; else what is wrong.
std::string judge(const Shape& shape, const Outcome& o, bool effectHolds) {
    const bool refused = o.threw && !o.stopped && o.error.rfind(std::string(shape.refusal) + ":", 0) == 0;
    const bool rangeError = o.threw && !o.stopped && o.error.rfind("RangeError:", 0) == 0;
    const std::string threw = o.stopped ? "was stopped at its time" : "threw " + o.error;
    switch (shape.ask) {
    case Ask::Within:
        if (o.threw) return "is within the page's limits but " + threw;
        break;
    case Ask::Slow:
        if (o.threw && !o.stopped) return "is within the page's limits but " + threw;
        if (o.stopped) return {};
        break;
    case Ask::Past:
        if (!o.threw) return std::string("is past a limit but returned instead of throwing the page's ") + shape.refusal;
        if (!o.stopped && !refused) return std::string("is past a limit but threw ") + o.error + " for the page's " + shape.refusal;
        break;
    case Ask::Many:
        if (o.threw && !o.stopped && !rangeError) return "threw " + o.error + " for the page's RangeError";
        if (o.threw) return {};
        break;
    }
    if (!effectHolds) return o.threw ? "left the document changed after its refusal" : "returned without doing what it was asked";
    return {};
}

// Markup the ad loads with, and what it asks of the page's limits: within them the script after it runs
// (Slow: or the page is stopped for its time); past one the page is stopped, for its time or its markup.
struct LoadShape {
    const char* label;
    std::string markup;
    Ask ask = Ask::Within;
};

// The ad's markup comes in through WebPage::create and start, with no script entry around its parse: it must
// keep to the same time and memory, and a script after hostile markup within the limits runs, while markup
// past them stops the page and says why.
void sweepLoads(Harness& harness) {
    auto repeat = [](const std::string& unit, std::size_t n) {
        std::string s;
        s.reserve(unit.size() * n);
        for (std::size_t i = 0; i < n; ++i) s += unit;
        return s;
    };
    std::string styles;
    for (int i = 0; i < 10000; ++i) styles += "p" + std::to_string(i) + ":" + std::to_string(i) + ";";
    std::string images;
    for (int i = 0; i < 1200; ++i) images += "<img src='https://h" + std::to_string(i) + ".example/a.gif'>";
    const std::string last = "<script>window.reached = 1;</script>";
    const std::vector<LoadShape> loads = {
        {"nothing hostile (what the others are measured against)", "<p>x</p>" + last},
        {"markup past the node cap", repeat("<br>", DOMDocument::MaximumNodes + 20000) + last, Ask::Past},
        // (Building a document is metered: a slow or busy machine may stop a big one for its time.)
        {"markup 40,000 deep", repeat("<div>", 40000) + last, Ask::Slow},
        {"text up to the budget that escaping grows", "<div title='" + repeat("\"", kBudget / 6) + "'>" +
                                                          repeat("&amp;", kBudget / 30) + "</div>" + last,
         Ask::Slow},
        {"a style of 10,000 declarations", "<div style='" + styles + "'>x</div>" + last, Ask::Slow},
        // (Starting the images is metered: a slow machine may stop the page for its time.)
        {"images on 1,200 hosts", images + last, Ask::Slow},
        {"20 MB of end tags", repeat("</div>", (20u << 20) / 6) + last, Ask::Past},
    };
    for (const auto& load : loads) {
        const std::string what = std::string("the ad's markup with ") + load.label;
        auto client = std::make_shared<StopClient>();
        WebPage::Options options;
        options.scriptMemoryLimit = kBudget;
        options.scriptTimeLimit = timeLimit();
        options.scriptShare = 1;
        NativeBytesMeter meter;
        const double start = threadSeconds();
        Error error;
        auto page = WebPage::create(load.markup, URL::parse("https://page.example/").value(), client, options, &error);
        if (page) page->start();
        harness.runUntilIdle();
        const double seconds = threadSeconds() - start;
        const std::int64_t bytes = meter.stop();
        REQUIRE_MESSAGE(page, what, ": no page: ", error.description);
        const bool forTime = page->scriptsStopped() && client->why.code == ScriptContext::TimeLimitCode;
        if (load.ask == Ask::Past) {
            CHECK_MESSAGE(page->scriptsStopped(), what, ": is past a limit but the page was not stopped");
            CHECK_MESSAGE((forTime || client->why.code == WebPage::MarkupLimitCode), what, ": stopped for ",
                          client->why.description);
            CHECK_MESSAGE(page->document().nodeCount() <= 4, what, ": was loaded in part");
        } else if (!(load.ask == Ask::Slow && forTime)) {
            CHECK_MESSAGE(!page->scriptsStopped(), what, ": is within the page's limits but stopped it: ", client->why.description);
            CHECK_MESSAGE(page->evaluate("window.reached") == "1", what, ": the script after it never ran");
        }
        CHECK_MESSAGE(seconds <= timeLimit() + timeMargin(), what, ": held the thread ", seconds, " s of processor time");
        CHECK_MESSAGE(bytes <= static_cast<std::int64_t>(kBudget) + kByteMargin, what, ": took ", bytes / 1024,
                      " KB of native memory for a budget of ", kBudget / 1024, " KB");
        page->close();
        harness.advance(1);
    }
}


void sweep(Harness& harness, double machineSlowdown) {
    slowdown = machineSlowdown;
    LogCapture quiet;  // a page's console lines (some are megabytes) stay out of the test's output
    // Each small shape gets a new small page (so ROOM is all the page has), the full page is built once.
    std::map<Fixture, std::unique_ptr<SweepPage>> pages;
    auto pageFor = [&](Fixture f) -> SweepPage& {
        auto& p = pages[f];
        if (!p || p->page->scriptsStopped() || !p->intact() || f == Fixture::Small) {
            p.reset();
            p = std::make_unique<SweepPage>(f);
        }
        return *p;
    };

    std::set<std::string> swept;
    for (const auto& native : WebPageBindings::natives()) {
        const std::string name = native.name;
        swept.insert(name);
        auto found = shapes().find(name);
        CHECK_MESSAGE(found != shapes().end(), "native ", name, " has no hostile shapes in the sweep");
        if (found == shapes().end()) continue;
        std::vector<Shape> all = found->second;
        // Any native, many times in one entry: its first shape a thousand times.
        if (all.front().repeat == 1) {
            Shape many = all.front();
            many.label = "its first shape 1,000 times in one entry";
            many.repeat = 1000;
            if (many.ask != Ask::Past) many.ask = Ask::Many;
            all.push_back(many);
        }
        double firstSeconds = 0;
        for (const auto& shape : all) {
            quiet.clear();
            const bool many = &shape == &all.back() && shape.repeat == 1000;
            // A first call that already took the entry's time says what its repeats would.
            if (many && &shape != &all.front() && firstSeconds >= timeLimit()) continue;
            SweepPage& sweep = pageFor(shape.fixture);
            const std::string what = name + " with " + shape.label;
            Error setupError;
            const Outcome o = callNative(sweep, name, shape, quiet, &setupError);
            if (&shape == &all.front()) firstSeconds = o.seconds;
            // A page the setup cannot make is no finding about the native, but the sweep must not pass on it.
            CHECK_MESSAGE(setupError.empty(), what, ": its arguments could not be made: ", setupError.description);
            CHECK_MESSAGE(o.ran, what, ": no entry: ", o.error);
            if (!setupError.empty() || !o.ran) continue;
            std::string effectHolds = "true";
            Error effectError;
            if (shape.effect != nullptr && (!o.threw || shape.ask == Ask::Past)) {
                sweep.page->script()->setTimeLimit(120);
                const std::string host = "var HOST = " + HostState::of(*sweep.page, quiet).script() +
                                         ", BEFORE = " + o.before.script() + ", REPEAT = " + std::to_string(shape.repeat) + ";";
                sweep.page->script()->evaluate(host + "!!(" + shape.effect + ")", "sweep-effect", &effectHolds, &effectError);
                sweep.page->script()->setTimeLimit(timeLimit());
            }
            // A check that cannot be made is the sweep's fault, not the native's: said apart.
            CHECK_MESSAGE(effectError.empty(), what, ": its effect could not be checked: ", effectError.description);
            if (effectError.empty()) {
                const std::string wrong = judge(shape, o, effectHolds == "true");
                CHECK_MESSAGE(wrong.empty(), what, ": ", wrong);
            }
            CHECK_MESSAGE(o.seconds <= timeLimit() + timeMargin(), what, ": held the thread ", o.seconds,
                          " s of processor time (limit ", timeLimit(), " s)", std::string(o.threw ? " then threw: " : ""), o.error);
            CHECK_MESSAGE(o.bytes <= static_cast<std::int64_t>(o.room) + kByteMargin, what, ": took ", o.bytes / 1024,
                          " KB of native memory with ", o.room / 1024, " KB left of the page's budget",
                          std::string(o.threw ? " then threw: " : ""), o.error);
            harness.advance(0.01);
        }
    }
    // Shapes for a native that is gone would test nothing.
    for (const auto& entry : shapes()) {
        const std::string& name = entry.first;  // (no structured binding: the check's message captures it)
        CHECK_MESSAGE(swept.contains(name), "shapes for a native that is gone: ", name);
        // Every shape says what answers it: an effect, or (past a limit) the throw alone.
        for (const auto& shape : entry.second)
            CHECK_MESSAGE((shape.effect != nullptr || shape.ask == Ask::Past), "a shape of ", name, " checks no effect: ", shape.label);
    }
    sweepLoads(harness);
}

} // namespace

TEST_CASE_FIXTURE(Harness, "WebPageBindings: every native call a page can reach stays inside the page's time and memory") {
    sweep(*this, 1);
}

// What the node cap bounds but the meter does not (a collection, a load's last steps) takes twice as long
// there against the same limits: a native that leaves the meter for long fails here first.
TEST_CASE_FIXTURE(Harness, "WebPageBindings: the sweep holds with its bounds on a machine half as fast") {
    sweep(*this, 2);
}
