#pragma once
// What becomes of a load the app makes for a page (WebPage::connectionForPage) when the page's document
// closes. Any thread.

namespace platform {

enum class PageLoad {
    // Its result is of use to the page only (an image, a precache, a picture to store, a script): it
    // ends with the document.
    EndsWithPage,
    // A ping the page has sent (a tracking or click request): as a browser's beacon, it is delivered
    // after the document closes, within the page's beacon quota and deadline (see WebPage).
    Beacon,
};

} // namespace platform
