#include "ads/core/slot/GADBannerAd.h"

namespace ruzave {

std::shared_ptr<GADBannerAd> GADBannerAd::initWithDictionary(const platform::Value& dictionary) {
    auto ad = init();
    ad->applyDictionary(dictionary);
    if (dictionary.is_object()) {
        auto it = dictionary.find("refresh_rate");
        if (it != dictionary.end() && it->is_number()) ad->setReloadInterval(it->get<double>());
    }
    return ad;
}

} // namespace ruzave
