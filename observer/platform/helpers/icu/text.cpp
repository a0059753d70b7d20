// Unicode text through ICU. The collator and one searcher per needle are opened once and
// kept: opening them costs far more than a search, and the needles are the catalogue's
// few fixed fragments.
#include "observer/platform/text.h"
#include "observer/platform/helpers/icu/text_locale.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/usearch.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace observer::platform {
namespace {

// Converts into `text`, reusing its storage.
void toUtf16(std::string_view bytes, std::u16string& text) {
    text.resize(bytes.size());  // UTF-16 never needs more units than UTF-8 bytes
    int32_t length = 0;
    int32_t substitutions = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(text.data()), static_cast<int32_t>(text.size()), &length,
                         bytes.data(), static_cast<int32_t>(bytes.size()), 0xFFFD, &substitutions, &status);
    text.resize(U_FAILURE(status) ? 0 : static_cast<std::size_t>(length));
}

std::u16string toUtf16(std::string_view bytes) {
    std::u16string text;
    toUtf16(bytes, text);
    return text;
}

std::string toUtf8(std::u16string_view text) {
    std::string bytes(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(bytes.data(), static_cast<int32_t>(bytes.size()), &length,
                       reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), 0xFFFD,
                       nullptr, &status);
    if (U_FAILURE(status)) return {};
    bytes.resize(static_cast<std::size_t>(length));
    return bytes;
}

struct CollatorClose {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
struct SearchClose {
    void operator()(UStringSearch* search) const { usearch_close(search); }
};

// Lets the searcher table be asked with a string_view, without building a key per call.
struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Every tick asks each needle about the same application names and identifiers, and a
// search costs microseconds where a look-up costs nanoseconds: answers for short texts
// are kept, and forgotten all at once when there are too many to keep. Titles come and
// go far more often and are rarely short, so most are searched afresh; the bounds keep
// what all the needles together remember to a few hundred kilobytes at most.
constexpr std::size_t rememberedTextLength = 64;
constexpr std::size_t rememberedAnswers = 64;

struct NeedleSearch {
    std::u16string pattern;  // the searcher points into it
    std::unique_ptr<UStringSearch, SearchClose> search;
    std::unordered_map<std::string, bool, TransparentHash, std::equal_to<>> answers;
};

// The collator and the searchers opened from it; choosing another locale drops both.
struct Searching {
    std::optional<std::string> chosenLocale;  // nothing: the user's
    bool opened = false;
    std::unique_ptr<UCollator, CollatorClose> collator;
    // Declared after the collator so that the searchers are closed first.
    std::unordered_map<std::string, NeedleSearch, TransparentHash, std::equal_to<>> searches;
};

Searching& searching() {
    static Searching state;
    return state;
}

// The locale for collation. The C and POSIX locales map to en_US_POSIX, whose collation
// orders ASCII by code point and so makes case a primary difference; such a user has
// chosen no language, so the root collation serves them.
std::string collationLocale() {
    const std::string locale = searching().chosenLocale.value_or(uloc_getDefault());
    return locale.starts_with("en_US_POSIX") ? "" : locale;
}

// Case ignored, accents and other secondary differences kept, canonical equivalents equal.
UCollator* localeCollator() {
    Searching& state = searching();
    if (state.opened) return state.collator.get();
    state.opened = true;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* opened = ucol_open(collationLocale().c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        opened = ucol_open("", &status);
    }
    if (U_FAILURE(status)) return nullptr;
    ucol_setStrength(opened, UCOL_SECONDARY);
    ucol_setAttribute(opened, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    state.collator.reset(opened);
    return opened;
}

}  // namespace

namespace icu {

bool isKnownLocale(std::string_view locale) {
    const bool plain = std::all_of(locale.begin(), locale.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
    if (locale.empty() || !plain) return false;
    const std::string id(locale);
    char region[ULOC_COUNTRY_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getCountry(id.c_str(), region, sizeof region, &status);
    if (U_FAILURE(status)) return false;
    return *uloc_getISO3Language(id.c_str()) != '\0' && (region[0] == '\0' || *uloc_getISO3Country(id.c_str()) != '\0');
}

void useTextLocale(const std::optional<std::string>& locale) {
    Searching& state = searching();
    if (state.chosenLocale == locale) return;
    state.searches.clear();
    state.collator.reset();
    state.opened = false;
    state.chosenLocale = locale;
}

}  // namespace icu

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle) {
    if (needle.empty() || haystack.empty()) return false;
    UCollator* collator = localeCollator();
    if (collator == nullptr) return false;

    auto& searches = searching().searches;
    auto found = searches.find(needle);
    if (found != searches.end()) {
        const auto& answers = found->second.answers;
        if (const auto known = answers.find(haystack); known != answers.end()) return known->second;
    }
    static std::u16string text;  // the searchers point into it during a search
    toUtf16(haystack, text);
    if (text.empty()) return false;

    if (found == searches.end()) {
        // The searcher keeps a pointer to its pattern: open it on the pattern's final home.
        found = searches.emplace(std::string(needle), NeedleSearch{toUtf16(needle), nullptr, {}}).first;
        const std::u16string& pattern = found->second.pattern;
        UErrorCode status = U_ZERO_ERROR;
        UStringSearch* opened = pattern.empty() ? nullptr
                                                : usearch_openFromCollator(
                                                      reinterpret_cast<const UChar*>(pattern.data()),
                                                      static_cast<int32_t>(pattern.size()),
                                                      reinterpret_cast<const UChar*>(text.data()),
                                                      static_cast<int32_t>(text.size()), collator, nullptr, &status);
        if (U_SUCCESS(status)) found->second.search.reset(opened);
    }
    if (!found->second.search) return false;
    UStringSearch* search = found->second.search.get();
    UErrorCode status = U_ZERO_ERROR;
    usearch_setText(search, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) return false;
    const int32_t at = usearch_first(search, &status);
    if (U_FAILURE(status)) return false;
    // A needle of ignorable characters alone "matches" with length 0: that is no match.
    const bool contained = at != USEARCH_DONE && usearch_getMatchedLength(search) > 0;
    auto& answers = found->second.answers;
    if (haystack.size() <= rememberedTextLength) {
        if (answers.size() >= rememberedAnswers) answers.clear();
        answers.emplace(std::string(haystack), contained);
    }
    return contained;
}

bool caseInsensitiveEquals(std::string_view a, std::string_view b) {
    const std::u16string left = toUtf16(a);
    const std::u16string right = toUtf16(b);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t order = u_strCaseCompare(reinterpret_cast<const UChar*>(left.data()), static_cast<int32_t>(left.size()),
                                           reinterpret_cast<const UChar*>(right.data()),
                                           static_cast<int32_t>(right.size()), U_FOLD_CASE_DEFAULT, &status);
    return U_SUCCESS(status) && order == 0;
}

std::string trimWhitespaceAndNewlines(std::string_view text) {
    // A fixed list, as on the Mac, rather than a Unicode property that would move with
    // ICU's tables: today's general category Z plus the controls and U+200B.
    const auto isTrimmed = [](UChar32 c) {
        return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
               (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
               c == 0x3000;
    };
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());

    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (!isTrimmed(c)) break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, begin, previous, c);
        if (!isTrimmed(c)) break;
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

std::string decodeUtf8(std::string_view bytes) {
    return toUtf8(toUtf16(bytes));
}

}  // namespace observer::platform
