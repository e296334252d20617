#include "ads/core/public/GADAdReward.h"

#include <cmath>

namespace ruzave {

std::shared_ptr<GADAdReward> GADAdReward::initWithRewardType(const std::optional<std::string>& type,
                                                             const std::optional<double>& amount) {
    if (!type || !amount || !std::isfinite(*amount)) return nullptr;
    return std::shared_ptr<GADAdReward>(new GADAdReward(*type, *amount));
}

std::shared_ptr<GADAdReward> GADAdReward::initWithRewardDictionary(const std::optional<platform::Value>& dictionary) {
    std::optional<std::string> type;
    std::optional<double> amount;
    if (dictionary && dictionary->is_object()) {
        if (const auto* text = platform::findString(*dictionary, "rb_type")) type = *text;
        // Booleans are no amounts, though JSON readers elsewhere might take them as 0 or 1.
        if (const auto* number = platform::find(*dictionary, "rb_amount"); number && number->is_number())
            amount = number->get<double>();
    }
    return initWithRewardType(type, amount);
}

} // namespace ruzave
