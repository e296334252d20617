#pragma once
// Whose network transfer it is: the app's own (what the app and the SDKs in it send of their own
// accord) or web content (every load a document makes, its main document included, and every request
// the app makes because a document asked for it). The network engine keeps the two sides apart, as a
// phone loads web content in a pool of its own: no web content load waits in front of an app request or
// takes its connection. There is no default: every caller names its side, so that nothing lands on the
// app's side by omission (platform/net/README.md lists the roads and their sides).
//
// Web content is grouped for its fair shares by what it belongs to:
// - a document (one page a web view loaded: `document`): its loads, by the places they hold;
// - its pings (tracking and click requests it sent, each admitted once as `pingId`), which take places
//   beside its loads, never behind them, view by view (`view`: the web view showing it, or the creative's
//   for a page the app opened to show that creative), counted in its ad's account (`ad`: the document the
//   app loaded, with the documents its pages navigated to and the pages opened to show it). A ping
//   outlives its document as a browser's keepalive request does (see PingScheduler).
// A plain value; any thread.
#include <cstddef>
#include <cstdint>

namespace platform {

class TransferOrigin {
public:
    enum class Side { App, WebContent };
    // Web content only: a document's load or its ping.
    enum class Kind { Load, Ping };

    // Web content loads and navigates to no URL longer than this, as a phone's web view (redirect hops
    // included): each load holds its URL in the network library's copies as well as its own.
    static constexpr std::size_t MaximumURLLength = 2u << 20;

    static TransferOrigin app() { return TransferOrigin(Side::App, Kind::Load, 0, 0, 0, 0); }
    // A load of `document` (0 only where a document is still to be given its id: WebPage::Options),
    // taking turns as `view` (0: none; the document is then a view of its own), in the account of `ad` (0:
    // the document's own).
    static TransferOrigin webContent(std::uint64_t document, std::uint64_t view = 0, std::uint64_t ad = 0) {
        return TransferOrigin(Side::WebContent, Kind::Load, document, view, ad, 0);
    }
    // The same document's ping `id`, as NetworkEngine::admitPing admitted it (the app's side has no groups:
    // the same origin).
    TransferOrigin ping(std::uint64_t id) const {
        return isWebContent() ? TransferOrigin(side, Kind::Ping, document, view, ad, id) : *this;
    }
    // An id for a document or a web view, not handed out before.
    static std::uint64_t newId();

    bool isWebContent() const { return side == Side::WebContent; }
    bool isPing() const { return isWebContent() && kind == Kind::Ping; }
    // What pings take turns by: the view, or the document when it is shown in none.
    std::uint64_t viewKey() const { return view != 0 ? view : document; }
    // The account its pings are counted in.
    std::uint64_t adKey() const { return ad != 0 ? ad : document; }
    bool operator==(const TransferOrigin&) const = default;

    Side side;
    Kind kind;
    std::uint64_t document;  // web content only: whose load or ping it is
    std::uint64_t view;      // web content only: the web view showing that document, or 0
    std::uint64_t ad;        // web content only: the ad the document belongs to, or 0 (itself)
    std::uint64_t pingId;    // a ping only: its admission

private:
    TransferOrigin(Side s, Kind k, std::uint64_t d, std::uint64_t v, std::uint64_t a, std::uint64_t p)
        : side(s), kind(k), document(d), view(v), ad(a), pingId(p) {}
};

} // namespace platform
