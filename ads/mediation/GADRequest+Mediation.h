#pragma once
// The mediation additions to GADRequest: the request a mediation adapter sends through the SDK's own ad
// objects, made from its connector with the publisher's targeting and the mediation extras. Built on the
// request's public operations only. Main thread.
#include <memory>

namespace ruzave {

class GADMAdNetworkAdapter;
class GADMAdNetworkConnector;
class GADRequest;

// +requestWithConnector:adapter: — a new request. Neither the slot's request nor the publisher's extras
// object is changed: the merged extras go into a new GADExtras registered on the new request.
std::shared_ptr<GADRequest> requestWithConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                 const std::shared_ptr<GADMAdNetworkAdapter>& adapter);

// -configureNetworkExtrasWithConnector:adapter: — registers on `request` a new GADExtras holding the
// publisher's additional parameters with "_requestUrl", "mad_hac", "gw", the network's string extras and
// "_ad" laid over them. Nothing without a connector or an adapter.
void configureNetworkExtrasWithConnector(GADRequest& request,
                                         const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                         const std::shared_ptr<GADMAdNetworkAdapter>& adapter);

// -addAdapterListWithConnector:adapter: — the private mediation extras "man" (every network's adapter
// list) and "mcan" (the asking adapter's class). Nothing without a connector or an adapter.
void addAdapterListWithConnector(GADRequest& request,
                                 const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                 const std::shared_ptr<GADMAdNetworkAdapter>& adapter);

} // namespace ruzave
