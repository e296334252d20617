#pragma once
// What a reward-based video gives the user for watching: a reward type and an amount. Immutable once
// made; any thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADAdReward {
  public:
    // nullptr unless both are given (and the amount is a finite number).
    static std::shared_ptr<GADAdReward> initWithRewardType(const std::optional<std::string>& type,
                                                           const std::optional<double>& amount);
    // Reads "rb_type" (a string) and "rb_amount" (a number); nullptr when either is missing or of
    // another kind, or when the dictionary is none.
    static std::shared_ptr<GADAdReward> initWithRewardDictionary(const std::optional<platform::Value>& dictionary);
    static std::shared_ptr<GADAdReward> init() { return initWithRewardDictionary(std::nullopt); }

    const std::string& type() const { return type_; }
    // The decimal amount.
    double amount() const { return amount_; }

  private:
    GADAdReward(std::string type, double amount) : type_(std::move(type)), amount_(amount) {}

    const std::string type_;
    const double amount_;
};

} // namespace ruzave
