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
// - that document's pings (tracking and click requests it sent), which go beside its loads, never
//   behind them;
// - a web view's kept pings (`view`): the pings its documents sent that outlive them, as a browser's
//   beacons, in a lane of their own, so that the next document in the view starts with nothing under way.
// A plain value; any thread.
#include <cstddef>
#include <cstdint>

namespace platform {

class TransferOrigin {
public:
    enum class Side { App, WebContent };
    // Web content only: a document's load, its ping, or a ping kept past its document's close.
    enum class Kind { Load, Ping, KeptPing };

    // Web content loads and navigates to no URL longer than this, as a phone's web view (redirect hops
    // included): each load holds its URL in the network library's copies as well as its own.
    static constexpr std::size_t MaximumURLLength = 2u << 20;

    static TransferOrigin app() { return TransferOrigin(Side::App, Kind::Load, 0, 0); }
    // A load of `document` (0 only where a document is still to be given its id: WebPage::Options),
    // shown in `view` (0: none; the document then keeps its pings in a lane of its own).
    static TransferOrigin webContent(std::uint64_t document, std::uint64_t view = 0) {
        return TransferOrigin(Side::WebContent, Kind::Load, document, view);
    }
    // The same document's ping (the app's side has no groups: the same origin).
    TransferOrigin ping() const { return isWebContent() ? TransferOrigin(side, Kind::Ping, document, view) : *this; }
    // The same document's ping once the document has closed: in its view's lane of kept pings.
    TransferOrigin kept() const {
        return isWebContent() ? TransferOrigin(side, Kind::KeptPing, document, view) : *this;
    }
    // An id for a document or a web view, not handed out before.
    static std::uint64_t newId();

    bool isWebContent() const { return side == Side::WebContent; }
    bool isPing() const { return kind != Kind::Load; }
    // What the kept pings are grouped by: the view, or the document when it is shown in none.
    std::uint64_t keptLane() const { return view != 0 ? view : document; }
    bool operator==(const TransferOrigin&) const = default;

    Side side;
    Kind kind;
    std::uint64_t document;  // web content only: whose load or ping it is
    std::uint64_t view;      // web content only: the web view showing that document, or 0

private:
    TransferOrigin(Side s, Kind k, std::uint64_t d, std::uint64_t v) : side(s), kind(k), document(d), view(v) {}
};

} // namespace platform
