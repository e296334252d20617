#pragma once
// Whose network transfer it is: the app's own (everything the app and the SDKs in it send themselves,
// the default) or a web page's content (every load a page makes, its main documents included). The
// network engine keeps the two sides apart, as a phone loads web content in a pool of its own: no page
// load waits in front of an app request or takes its connection. `page` groups the loads of one page
// (a web view's documents and frames) for its fair share of web content's room. A plain value; any thread.
#include <cstddef>
#include <cstdint>

namespace platform {

struct TransferOrigin {
    enum class Side { App, WebContent };
    Side side = Side::App;
    std::uint64_t page = 0;  // web content only: which page the load is for (never 0 there)

    // Web content loads and navigates to no URL longer than this, as a phone's web view (redirect hops
    // included): each load holds its URL in the network library's copies as well as its own.
    static constexpr std::size_t MaximumURLLength = 2u << 20;

    static TransferOrigin app() { return {}; }
    static TransferOrigin webContent(std::uint64_t page) { return {Side::WebContent, page}; }
    // A page id not handed out before.
    static std::uint64_t newPage();
    bool isWebContent() const { return side == Side::WebContent; }
    bool operator==(const TransferOrigin&) const = default;
};

} // namespace platform
