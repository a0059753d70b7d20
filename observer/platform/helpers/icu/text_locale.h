// The locale under which the ICU text service searches. By default it is the user's
// (ICU's default locale, taken from the environment); a simulated run chooses one so that
// its results are the same on every machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace observer::platform::icu {

// True when ICU knows the locale's language (ISO 639) and, if one is given, its region
// (ISO 3166), as in "tr_TR", "en_US" or "az_Latn_AZ".
bool isKnownLocale(std::string_view locale);

// Searches from now on under `locale` (which should be known), or under the user's
// locale again when it is nothing.
void useTextLocale(const std::optional<std::string>& locale);

}  // namespace observer::platform::icu
