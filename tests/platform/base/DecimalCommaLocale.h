#pragma once
// Switches the calling thread to a decimal-comma locale while alive, when one is installed,
// so that number reading and printing can show they ignore the locale. Test thread only.
#include <doctest/doctest.h>
#include <locale.h>

class DecimalCommaLocale {
  public:
    DecimalCommaLocale() {
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
            locale_ = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
            if (locale_ != static_cast<locale_t>(nullptr)) break;
        }
        if (locale_ == static_cast<locale_t>(nullptr)) {
            MESSAGE("no decimal-comma locale installed; checking in the C locale only");
            return;
        }
        previous_ = uselocale(locale_);
    }
    ~DecimalCommaLocale() {
        if (locale_ == static_cast<locale_t>(nullptr)) return;
        uselocale(previous_);
        freelocale(locale_);
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

  private:
    locale_t locale_ = static_cast<locale_t>(nullptr);
    locale_t previous_ = static_cast<locale_t>(nullptr);
};
