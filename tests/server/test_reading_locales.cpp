// Every voice the service offers speaks its own language: an ordinary
// sentence in the locale's own script comes back from the reading endpoint
// as phonemes of that language, with no switch to another one (espeak-ng
// marks a switch as "(en)" … in its phoneme output).
#include "NativeSentences.h"
#include "ServerTestSupport.h"
#include "SkipOrFail.h"
#include "Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace tavrel;
using namespace tavrel::test;

namespace {

using Range = std::pair<char32_t, char32_t>;

// The letters each locale's sentence is written in, by the language part of the locale.
const std::map<std::string, std::vector<Range>> &scripts()
{
    // Latin with its extensions: Azerbaijani ə, Uzbek ʻ, Vietnamese ế …
    static const std::vector<Range> latin = {{U'A', U'Z'}, {U'a', U'z'}, {0xC0, 0x2AF}, {0x2BB, 0x2BB},
                                             {0x1E00, 0x1EFF}};
    static const std::vector<Range> arabic = {{0x600, 0x6FF}};
    static const std::vector<Range> devanagari = {{0x900, 0x97F}};
    static const std::vector<Range> cyrillic = {{0x400, 0x4FF}};
    static const std::vector<Range> han = {{0x4E00, 0x9FFF}};
    static const std::map<std::string, std::vector<Range>> table = [&] {
        std::map<std::string, std::vector<Range>> t;
        for (const char *l : {"af", "az", "bs", "ca", "cs", "cy", "da", "de", "en", "es", "et", "fi", "fr", "ga",
                              "hr", "hu", "id", "is", "it", "lt", "lv", "ms", "mt", "nb", "nl", "pl", "pt", "ro",
                              "sk", "sl", "sq", "sv", "sw", "tr", "uz", "vi"})
            t[l] = latin;
        for (const char *l : {"ar", "fa", "ur"})
            t[l] = arabic;
        for (const char *l : {"hi", "mr", "ne"})
            t[l] = devanagari;
        for (const char *l : {"ru", "uk", "bg", "mk", "sr", "kk"})
            t[l] = cyrillic;
        t["am"] = {{0x1200, 0x139F}};
        t["bn"] = {{0x980, 0x9FF}};
        t["el"] = {{0x370, 0x3FF}};
        t["gu"] = {{0xA80, 0xAFF}};
        t["he"] = {{0x590, 0x5FF}};
        t["ka"] = {{0x10A0, 0x10FF}};
        t["kn"] = {{0xC80, 0xCFF}};
        t["ko"] = {{0xAC00, 0xD7A3}, {0x1100, 0x11FF}};
        t["ml"] = {{0xD00, 0xD7F}};
        t["my"] = {{0x1000, 0x109F}};
        t["si"] = {{0xD80, 0xDFF}};
        t["ta"] = {{0xB80, 0xBFF}};
        t["te"] = {{0xC00, 0xC7F}};
        t["th"] = {{0xE00, 0xE7F}};
        t["ja"] = {{0x3040, 0x30FF}, {0x4E00, 0x9FFF}};
        t["zh"] = han;
        return t;
    }();
    return table;
}

// Spaces, punctuation and joiners, shared by every script (the danda is
// Bengali's full stop too).
bool isCommon(char32_t c)
{
    if (c == 0x964 || c == 0x965)
        return true;
    const bool asciiMark = c < 0x80 && !(c >= U'0' && c <= U'9') && !(c >= U'A' && c <= U'Z') &&
                           !(c >= U'a' && c <= U'z');
    return asciiMark || (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) ||
           (c >= 0xFF00 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20);
}

std::string hex(char32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

}  // namespace

TEST(NativeSentences, EveryOfferedLocaleHasOne)
{
    // A locale added to the engine later needs its sentence here too.
    std::set<std::string> missing;
    for (const VoiceInfo &v : sharedEngine()->voices())
        if (!nativeSentence(v.locale))
            missing.insert(v.locale);
    std::string list;
    for (const std::string &l : missing)
        list += l + " ";
    EXPECT_TRUE(missing.empty()) << "no native sentence for: " << list;
    EXPECT_FALSE(sharedEngine()->voices().empty());
}

TEST(NativeSentences, EachIsInItsOwnScriptWithoutDigits)
{
    std::set<std::string> seen;
    for (const NativeSentence &s : nativeSentences()) {
        SCOPED_TRACE(s.locale);
        EXPECT_TRUE(seen.insert(s.locale).second) << "listed twice";
        const std::string language = std::string(s.locale).substr(0, std::string(s.locale).find('-'));
        auto script = scripts().find(language);
        ASSERT_NE(script, scripts().end()) << "no script known for " << language;
        const std::u32string text = reading::utf8::decode(s.sentence);
        EXPECT_GE(text.size(), 12u) << "a sentence, not a word";
        for (char32_t c : text) {
            const bool inScript = std::any_of(script->second.begin(), script->second.end(),
                                              [c](const Range &r) { return c >= r.first && c <= r.second; });
            EXPECT_TRUE(inScript || isCommon(c)) << hex(c) << " is not of the locale's script: " << s.sentence;
        }
    }
}

// One case per locale of the table; voices of a locale the engine does not
// offer are not tested (the coverage test above catches the opposite).
class ReadingEndpoint : public ::testing::TestWithParam<NativeSentence> {
protected:
    static void SetUpTestSuite()
    {
        s_work = std::make_unique<TempWorkDir>();
        s_service = std::make_unique<RunningService>(s_work->path());
    }
    static void TearDownTestSuite()
    {
        s_service.reset();
        s_work.reset();
    }
    static std::unique_ptr<TempWorkDir> s_work;
    static std::unique_ptr<RunningService> s_service;
};

std::unique_ptr<TempWorkDir> ReadingEndpoint::s_work;
std::unique_ptr<RunningService> ReadingEndpoint::s_service;

TEST_P(ReadingEndpoint, EveryVoiceSpeaksTheSentenceInItsOwnLanguage)
{
    const NativeSentence &s = GetParam();
    std::vector<std::string> voices;
    for (const VoiceInfo &v : sharedEngine()->voices())
        if (v.locale == s.locale)
            voices.push_back(v.name);
    if (voices.empty())
        LUMO_GTEST_SKIP_OR_FAIL(std::string(s.locale) + " is not offered by this espeak-ng");

    for (const std::string &voice : voices) {
        SCOPED_TRACE(voice);
        const Reply r = postForm(s_service->port(), "ttsReading", {{"text", s.sentence}, {"voice", voice}});
        ASSERT_EQ(r.status, 200) << r.raw;
        ASSERT_EQ(r.code(), 1) << r.raw;
        const nlohmann::json &data = r.body["data"];
        ASSERT_TRUE(data.is_object()) << r.raw;
        ASSERT_TRUE(data.contains("reading") && data["reading"].is_string()) << r.raw;
        ASSERT_TRUE(data.contains("phonemes") && data["phonemes"].is_string()) << r.raw;
        const std::string phonemes = data["phonemes"].get<std::string>();
        EXPECT_GE(phonemes.size(), 10u) << "hardly anything read: " << r.raw;
        EXPECT_EQ(phonemes.find('('), std::string::npos)
            << "switches language: " << phonemes << "\nreading: " << data["reading"].get<std::string>();
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, ReadingEndpoint, ::testing::ValuesIn(nativeSentences()),
                         [](const ::testing::TestParamInfo<NativeSentence> &info) {
                             std::string name = info.param.locale;
                             for (char &c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });
