#include <gtest/gtest.h>

#include "observer/platform/helpers/icu/text_locale.h"
#include "observer/platform/text.h"

namespace observer::platform {
namespace {

class TextLocaleTest : public ::testing::Test {
protected:
    void TearDown() override { icu::useTextLocale(std::nullopt); }
};

TEST_F(TextLocaleTest, TheChosenLocaleDecidesWhichLettersAreTheSameLetter) {
    // Turkish has a dotted and a dotless i: "I" is the capital of "ı", not of "i".
    const char* title = "WEEKLY SYNC | MICROSOFT TEAMS";
    icu::useTextLocale("en_US");
    EXPECT_TRUE(localizedCaseInsensitiveContains(title, "| Microsoft Teams"));
    icu::useTextLocale("tr_TR");
    EXPECT_FALSE(localizedCaseInsensitiveContains(title, "| Microsoft Teams"));
    EXPECT_TRUE(localizedCaseInsensitiveContains("WEEKLY SYNC | M\u0130CROSOFT TEAMS", "| Microsoft Teams"));
    icu::useTextLocale("az_AZ");
    EXPECT_FALSE(localizedCaseInsensitiveContains(title, "| Microsoft Teams"));
    icu::useTextLocale("en_US");
    EXPECT_TRUE(localizedCaseInsensitiveContains(title, "| Microsoft Teams")) << "searchers of another locale are gone";
}

TEST_F(TextLocaleTest, KnownLocalesHaveALanguageAndRegionThatIcuKnows) {
    for (const char* known : {"en_US", "tr_TR", "az_Latn_AZ", "de", "pt-BR"}) EXPECT_TRUE(icu::isKnownLocale(known)) << known;
    for (const char* unknown : {"", "xx_YY", "tr_XX", "klingon", "C", "en_US.UTF-8", "tr_TR@collation=search", "en US"}) {
        EXPECT_FALSE(icu::isKnownLocale(unknown)) << unknown;
    }
}

}  // namespace
}  // namespace observer::platform
