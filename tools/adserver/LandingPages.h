#pragma once
// Landing pages that an ad's click opens in the in-app browser: plain pages with links, redirects
// (one hop, a chain, or one that never ends), a page that shows the Referer it was sent, and a page
// that fails. Any thread.
#include <string>

namespace adserver {

class AdServer;

// "/landing/page?title=<t>"           a page titled t (default "Landing") with links to "/landing/next"
//                                     and to "tel:5550100", and a form that posts to "/landing/next"
// "/landing/next"                     a second page
// "/landing/redirect?to=<url>&hops=<n>"  n hops (default 1) through itself, then a 302 to `to`
//                                     (default "/landing/page")
// "/landing/loop"                     redirects to itself forever
// "/landing/referer"                  a page whose body is the Referer header it received
// "/landing/missing"                  answers 404 with a page
void installLandingPages(AdServer& server);

} // namespace adserver
