#include <doctest/doctest.h>

#include "platform/services/Locale.h"

using platform::Locale;

TEST_CASE("Locale: the current locale is settable and splits into language and region") {
    CHECK(Locale::current().identifier() == "en_US");
    CHECK(Locale::current().currencyCode() == "USD");
    CHECK(Locale::current().languageCode() == "en");
    CHECK(Locale::current().countryCode() == "US");
    Locale::setCurrent(Locale("de_DE", "EUR"));
    CHECK(Locale::current().countryCode() == "DE");
    CHECK(Locale("zh-Hans_CN", "CNY").languageCode() == "zh");
    CHECK(Locale("fr", "EUR").countryCode().empty());
    CHECK(Locale::preferredLanguages() == std::vector<std::string>{"en"});
    Locale::setPreferredLanguages({"de", "en"});
    CHECK(Locale::preferredLanguages().front() == "de");
}

TEST_CASE("Locale: currencies have their own minor-unit digits") {
    CHECK(Locale("en_US", "USD").currencyFractionDigits() == 2);
    CHECK(Locale("ja_JP", "JPY").currencyFractionDigits() == 0);
    CHECK(Locale("ar_KW", "KWD").currencyFractionDigits() == 3);
}
