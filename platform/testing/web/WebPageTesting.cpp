#include "platform/testing/web/WebPageTesting.h"

#include "platform/base/URL.h"
#include "platform/runloop/MainLoop.h"

namespace platform {

std::shared_ptr<WebPage> WebPageTesting::load(const std::string& html, const std::shared_ptr<LoadCountingClient>& client,
                                              WebPage::Options options, double timeout) {
    auto page = WebPage::create(html, *URL::parse("https://page.example/"), client, options);
    if (!page) return nullptr;
    page->start();
    if (!MainLoop::main().runUntil([&] { return client->finished > 0; }, timeout)) return nullptr;
    return page;
}

} // namespace platform
