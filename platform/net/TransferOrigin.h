#pragma once
// Whose network transfer it is: the app's own (what the app and the SDKs in it send of their own
// accord) or a web page's content (every load a page makes, its main documents included, and every
// request the app makes because a page asked for it). The network engine keeps the two sides apart, as
// a phone loads web content in a pool of its own: no page load waits in front of an app request or takes
// its connection. `page` groups the loads of one page (a web view's documents and frames) for its share of
// web content's room. There is no default: every caller names its side, so that nothing lands on the
// app's side by omission (platform/net/README.md lists the roads and their sides). A plain value; any
// thread.
#include <cstddef>
#include <cstdint>

namespace platform {

class TransferOrigin {
public:
    enum class Side { App, WebContent };

    // Web content loads and navigates to no URL longer than this, as a phone's web view (redirect hops
    // included): each load holds its URL in the network library's copies as well as its own.
    static constexpr std::size_t MaximumURLLength = 2u << 20;

    static TransferOrigin app() { return TransferOrigin(Side::App, 0); }
    // `page` 0 only where a page is still to be given its id (WebPage::Options).
    static TransferOrigin webContent(std::uint64_t page) { return TransferOrigin(Side::WebContent, page); }
    // A page id not handed out before.
    static std::uint64_t newPage();

    bool isWebContent() const { return side == Side::WebContent; }
    bool operator==(const TransferOrigin&) const = default;

    Side side;
    std::uint64_t page;  // web content only: which page the load is for

private:
    TransferOrigin(Side s, std::uint64_t p) : side(s), page(p) {}
};

} // namespace platform
