// The espeak-ng engine: which voices are offered and under which names, and
// that each of them really speaks.
#include "EspeakEngine.h"
#include "ServerTestSupport.h"
#include "ServiceContract.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// The locale codes the program can display.
const std::set<std::string> kLocaleTable = [] {
    std::set<std::string> codes;
    for (const contract::Locale &l : contract::locales)
        codes.insert(l.code);
    return codes;
}();

int countGender(const std::vector<VoiceInfo> &voices, const std::string &locale, const std::string &gender)
{
    int n = 0;
    for (const auto &v : voices)
        n += (v.locale == locale && v.gender == gender);
    return n;
}

}  // namespace

TEST(Voices, EveryLocaleIsFromTheTableAndGroupedWithStableAsciiNames)
{
    auto engine = sharedEngine();
    ASSERT_TRUE(engine->isReady());
    const auto &voices = engine->voices();
    ASSERT_FALSE(voices.empty());
    EXPECT_EQ(kLocaleTable.size(), 140u);

    std::set<std::string> names, finishedLocales;
    const std::regex namePart("[A-Za-z0-9]+");
    std::string current;
    for (const auto &v : voices) {
        EXPECT_TRUE(kLocaleTable.count(v.locale)) << v.locale;
        ASSERT_EQ(v.name.rfind(v.locale + "-", 0), 0u) << v.name;
        EXPECT_TRUE(std::regex_match(v.name.substr(v.locale.size() + 1), namePart)) << v.name;
        EXPECT_TRUE(v.gender == "Female" || v.gender == "Male") << v.gender;
        EXPECT_TRUE(names.insert(v.name).second) << "duplicate " << v.name;
        if (v.locale != current) {
            EXPECT_FALSE(finishedLocales.count(v.locale)) << v.locale << " listed in two places";
            finishedLocales.insert(current);
            current = v.locale;
        }
    }
}

TEST(Voices, MainLanguagesAreOfferedWithBothGenders)
{
    const auto &voices = sharedEngine()->voices();
    for (const char *locale : {"zh-CN", "en-US"}) {
        EXPECT_GE(countGender(voices, locale, "Female"), 2) << locale;
        EXPECT_GE(countGender(voices, locale, "Male"), 2) << locale;
    }
    for (const char *locale : {"zh-HK", "en-GB", "de-DE", "fr-FR", "ja-JP", "es-ES", "ru-RU"})
        EXPECT_GE(countGender(voices, locale, "Female") + countGender(voices, locale, "Male"), 2) << locale;
    // Mandarin voices use the identifiers the program shows Chinese names for.
    EXPECT_TRUE(sharedEngine()->hasVoice("zh-CN-XiaoxiaoNeural"));
    EXPECT_TRUE(sharedEngine()->hasVoice("zh-CN-YunxiNeural"));
    EXPECT_FALSE(sharedEngine()->hasVoice("zh-CN-Nobody"));
}

TEST(Voices, ListIsTheSameForEverySecondEngine)
{
    EspeakEngine another;
    const auto &a = sharedEngine()->voices();
    const auto &b = another.voices();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a[i].name + a[i].locale + a[i].gender, b[i].name + b[i].locale + b[i].gender);
}

TEST(Synthesis, EveryOfferedVoiceSpeaks)
{
    auto engine = sharedEngine();
    for (const auto &v : engine->voices()) {
        const std::string text = v.locale.rfind("zh", 0) == 0 ? "你好，一二三。" : "Hello 1 2 3.";
        auto r = engine->synthesize(text, v.name, 0);
        ASSERT_TRUE(r.ok) << v.name;
        EXPECT_GT(r.pcm.size(), static_cast<std::size_t>(r.sampleRate) / 4) << v.name;
        EXPECT_GT(rms(r.pcm), 300.0) << v.name;
        EXPECT_FALSE(r.words.empty()) << v.name;
    }
}

TEST(Synthesis, WordEventsAreOrderedAndRateChangesLength)
{
    auto engine = sharedEngine();
    const std::string text = "今天的天气非常好，我们一起去公园散步吧。";
    auto normal = engine->synthesize(text, "zh-CN-XiaoxiaoNeural", 0);
    auto fast = engine->synthesize(text, "zh-CN-XiaoxiaoNeural", 50);
    auto slow = engine->synthesize(text, "zh-CN-XiaoxiaoNeural", -50);
    ASSERT_TRUE(normal.ok && fast.ok && slow.ok);
    EXPECT_LT(fast.pcm.size(), normal.pcm.size() * 0.8);
    EXPECT_GT(slow.pcm.size(), normal.pcm.size() * 1.4);

    ASSERT_GE(normal.words.size(), 10u);
    for (std::size_t i = 1; i < normal.words.size(); ++i) {
        EXPECT_GT(normal.words[i].charIndex, normal.words[i - 1].charIndex);
        EXPECT_GE(normal.words[i].sample, normal.words[i - 1].sample);
    }
    EXPECT_LE(normal.words.back().sample, static_cast<std::int64_t>(normal.pcm.size()));
    EXPECT_FALSE(engine->synthesize(text, "xx-XX-None", 0).ok);
}
