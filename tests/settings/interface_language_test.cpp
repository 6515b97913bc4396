// The language of the windows from the stored choice and the locale.

#include "interface_language.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace tremlo::test {
namespace {

struct LanguageCase {
    const char* name;
    const char* choice; // as stored
    std::map<std::string, std::string> environment;
    Language expected;
};

const LanguageCase kLanguageCases[] = {
    {"NoLocaleIsJapanese", "Auto", {}, Language::Japanese},
    {"CIsJapanese", "Auto", {{"LANG", "C"}}, Language::Japanese},
    {"PosixWithCodesetIsJapanese", "", {{"LC_ALL", "POSIX.UTF-8"}}, Language::Japanese},
    {"CIgnoresLanguageList", "Auto", {{"LANG", "C.UTF-8"}, {"LANGUAGE", "en"}}, Language::Japanese},
    {"JapaneseLocale", "Auto", {{"LANG", "ja_JP.UTF-8"}}, Language::Japanese},
    {"AnyOtherLocaleIsEnglish", "Auto", {{"LANG", "de_DE.UTF-8"}}, Language::English},
    {"LcAllBeforeLang", "Auto", {{"LC_ALL", "en_GB"}, {"LANG", "ja_JP"}}, Language::English},
    {"LcMessagesBeforeLang",
     "Auto",
     {{"LC_MESSAGES", "ja_JP"}, {"LANG", "en_US"}},
     Language::Japanese},
    {"EmptyLcAllIsUnset", "Auto", {{"LC_ALL", ""}, {"LANG", "ja_JP"}}, Language::Japanese},
    {"LanguageListFirst",
     "Auto",
     {{"LANGUAGE", "ja"}, {"LANG", "en_US.UTF-8"}},
     Language::Japanese},
    {"LanguageListSkipsUntranslated",
     "Auto",
     {{"LANGUAGE", "fr:jav:ja_JP:en"}, {"LANG", "en_US.UTF-8"}},
     Language::Japanese},
    {"LanguageListWithoutEitherFallsBack",
     "Auto",
     {{"LANGUAGE", "fr::de"}, {"LANG", "ja_JP"}},
     Language::Japanese},
    {"JavaneseIsNotJapanese", "Auto", {{"LANG", "jv_ID"}, {"LANGUAGE", "jav"}}, Language::English},
    {"ChosenJapaneseOverridesLocale", "japanese", {{"LANG", "en_US.UTF-8"}}, Language::Japanese},
    {"ChosenEnglishOverridesC", "English", {{"LANG", "C"}}, Language::English},
    {"UnknownChoiceIsAuto", "Klingon", {{"LANG", "en_US.UTF-8"}}, Language::English},
};

class InterfaceLanguageTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(InterfaceLanguageTest, ChoiceThenLocaleInPosixOrder) {
    const LanguageCase& c = GetParam();
    const auto environment = [&c](const char* name) -> const char* {
        const auto found = c.environment.find(name);
        return found == c.environment.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(interfaceLanguage(languageChoiceOf(c.choice), environment), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, InterfaceLanguageTest, ::testing::ValuesIn(kLanguageCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::test
