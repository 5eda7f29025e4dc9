// Pinyin syllables as users write them, as the service reads them and as the
// program shows them, and how many syllables a word takes.
#include "Pinyin.h"
#include "TextUtf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace textrules;
using Syllables = std::vector<std::string>;

namespace {

std::string join(const Syllables &s)
{
    std::string out;
    for (const std::string &x : s)
        out += (out.empty() ? "" : " ") + x;
    return out;
}

Syllables split(const std::string &s)
{
    Syllables out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t end = s.find(' ', pos);
        if (end == std::string::npos)
            end = s.size();
        if (end > pos)
            out.push_back(s.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

// ---- syllables -----------------------------------------------------------

TEST(PinyinSyllable, ValidityTable)
{
    const struct {
        const char *syllable;
        bool valid;
    } cases[] = {
        {"ma1", true},     {"ma5", true},      {"zhong5", true},  {"zhi1", true},
        {"chi2", true},    {"shi4", true},     {"ri4", true},     {"zi3", true},
        {"ci2", true},     {"si1", true},      {"ju1", true},     {"qu4", true},
        {"xu1", true},     {"yu2", true},      {"yue4", true},    {"yuan2", true},
        {"yun4", true},    {"lv4", true},      {"nv3", true},     {"lve4", true},
        {"nve4", true},    {"lü4", true},      {"lüe4", true},    {"yo1", true},
        {"er2", true},     {"dianr3", true},   {"huar1", true},   {"zhuangr4", true},
        {"m2", true},      {"n2", true},       {"ng2", true},     {"zhuang1", true},
        {"jiong3", true},  {"shei2", true},    {"weng1", true},   {"o4", true},
        {"ei4", true},     {"dia3", true},     {"den4", true},    {"miu4", true},
        // no ü after j q x y, and no such syllables at all
        {"jv1", false},    {"qv1", false},     {"xv2", false},    {"yv1", false},
        {"bia1", false},   {"fiao4", false},   {"gi1", false},    {"zhin1", false},
        {"wong1", false},  {"io1", false},     {"uan1", false},   {"biang2", false},
        // only m, n, ng of the nasal interjections
        {"hm5", false},    {"hng5", false},
        // erhua is a syllable plus r, never on er or the nasals
        {"err2", false},   {"mr2", false},     {"ngr2", false},   {"rr1", false},
        // tone numbers
        {"ma0", false},    {"ma6", false},     {"ma9", false},    {"ma", false},
        {"ma12", false},   {"1", false},       {"", false},
        // the canonical form only: lower case, v for ü, nothing around it
        {"Ma1", false},    {"lue4", false},    {"lu:4", false},   {"ma 1", false},
        {" ma1", false},   {"mǎ", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.syllable);
        EXPECT_EQ(pinyin::isSyllable(c.syllable), c.valid);
    }
}

TEST(PinyinSyllable, InventoryHasNoRepeatsAndEveryToneIsValid)
{
    std::set<std::string> seen;
    for (const std::string &base : pinyin::inventory()) {
        SCOPED_TRACE(base);
        EXPECT_TRUE(seen.insert(base).second) << "listed twice";
        for (char tone = '1'; tone <= '5'; ++tone)
            EXPECT_TRUE(pinyin::isSyllable(base + tone));
    }
    EXPECT_TRUE(seen.count("lve"));
    EXPECT_FALSE(seen.count("jv"));
}

TEST(PinyinSyllable, ErhuaTable)
{
    const struct {
        const char *syllable;
        bool erhua;
    } cases[] = {
        {"dianr3", true}, {"huar1", true}, {"er2", false}, {"er5", false},
        {"ri4", false},   {"ma1", false},  {"err2", false}, {"zher4", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.syllable);
        EXPECT_EQ(pinyin::isErhua(c.syllable), c.erhua);
    }
}

TEST(PinyinSyllable, NormaliseTable)
{
    const struct {
        const char *input;
        std::optional<std::string> expected;
    } cases[] = {
        {"Chong2", "chong2"},
        {"CHONG2", "chong2"},
        {"lü4", "lv4"},
        {"lu:4", "lv4"},
        {"lv4", "lv4"},
        {"LÜ4", "lv4"},
        {"chóng", "chong2"},
        {"CHÓNG", "chong2"},
        {"Chóng", "chong2"},
        {"lǜ", "lv4"},
        {"nǚ", "nv3"},
        {"ér", "er2"},
        {"hǎo", "hao3"},
        {"shuí", "shui2"},
        {"lüè", "lve4"},
        {"Lüè", "lve4"},
        {"nüè", "nve4"},
        {"lue4", "lve4"},   // written without the dots, still only one reading
        {"nüe4", "nve4"},
        {"diǎnr", "dianr3"},
        {"dianr3", "dianr3"},
        {"de", "de5"},
        {"er", "er5"},
        {"lü", "lv5"},
        {"ḿ", "m2"},
        {"ń", "n2"},
        {"ňg", "ng3"},
        {"ma\xCC\x84", "ma1"},           // a + combining macron
        {"lu\xCC\x88\xCC\x80", "lv4"},   // u + combining diaeresis + grave
        {" hao3 ", "hao3"},
        // not syllables
        {"xyz", std::nullopt},
        {"xyz3", std::nullopt},
        {"ma7", std::nullopt},
        {"ma0", std::nullopt},
        {"ma12", std::nullopt},
        {"chóng2", std::nullopt},   // a mark and a number
        {"mǎà", std::nullopt},      // two marks
        {"jv1", std::nullopt},
        {"jǚ", std::nullopt},
        {"ha:o3", std::nullopt},
        {"ma3a", std::nullopt},
        {"", std::nullopt},
        {"\xFF", std::nullopt},
        {"ni hao", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(pinyin::normalise(c.input), c.expected);
    }
}

TEST(PinyinSyllable, ToneMarksTable)
{
    const struct {
        const char *numbered;
        const char *marked;
    } cases[] = {
        {"chong2", "chóng"}, {"lv4", "lǜ"},     {"de5", "de"},       {"dianr3", "diǎnr"},
        {"er2", "ér"},       {"er4", "èr"},     {"hao3", "hǎo"},     {"ma1", "mā"},
        {"liu2", "liú"},     {"gui4", "guì"},   {"dou1", "dōu"},     {"xue2", "xué"},
        {"lve4", "lüè"},     {"nv3", "nǚ"},     {"yue4", "yuè"},     {"zhuang4", "zhuàng"},
        {"jiong3", "jiǒng"}, {"lv5", "lü"},     {"huar1", "huār"},   {"mei2", "méi"},
        {"yao4", "yào"},     {"kuo4", "kuò"},   {"shui3", "shuǐ"},   {"zhi1", "zhī"},
        {"xiu1", "xiū"},     {"ou3", "ǒu"},     {"you3", "yǒu"},     {"yi1", "yī"},
        {"wu3", "wǔ"},       {"ju4", "jù"},     {"yuan2", "yuán"},   {"lüe4", "lüè"},
        {"m2", "ḿ"},         {"n2", "ń"},       {"n3", "ň"},         {"n4", "ǹ"},
        {"ng2", "ńg"},       {"n1", "n\xCC\x84"}, {"m4", "m\xCC\x80"},
        // not canonical: left as it came
        {"xyz3", "xyz3"},    {"lue4", "lue4"},  {"Ma1", "Ma1"},      {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.numbered);
        EXPECT_EQ(pinyin::toToneMarks(c.numbered), c.marked);
        if (pinyin::isSyllable(c.numbered)) {
            std::string canonical = *pinyin::normalise(c.numbered);  // "lüe4" → "lve4"
            EXPECT_EQ(pinyin::normalise(c.marked), canonical) << "round trip";
        }
    }
}

TEST(PinyinSyllable, ToneMarksRoundTripOverTheWholeTable)
{
    for (const std::string &base : pinyin::inventory()) {
        std::vector<std::string> forms{base};
        if (base != "er" && base != "m" && base != "n" && base != "ng")
            forms.push_back(base + "r");
        for (const std::string &form : forms)
            for (char tone = '1'; tone <= '5'; ++tone) {
                const std::string numbered = form + tone;
                SCOPED_TRACE(numbered);
                const std::string marked = pinyin::toToneMarks(numbered);
                EXPECT_EQ(pinyin::normalise(marked), numbered);
                bool ascii = true;
                for (char c : marked)
                    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
                EXPECT_EQ(ascii, tone == '5' && base.find('v') == std::string::npos);
            }
    }
}

// ---- whole readings ------------------------------------------------------

TEST(PinyinReading, UserFormsTable)
{
    const struct {
        const char *input;
        const char *expected;  // canonical syllables, blank-separated
    } cases[] = {
        {"chong2 qing4", "chong2 qing4"},
        {"chóng qìng", "chong2 qing4"},
        {"Chong2 Qing4", "chong2 qing4"},
        {"chong2qing4", "chong2 qing4"},
        {"Chóngqìng", "chong2 qing4"},
        {"xi1'an1", "xi1 an1"},
        {"Xī'ān", "xi1 an1"},
        {"xī\xE2\x80\x99\xC4\x81n", "xi1 an1"},  // typographic apostrophe
        {"xian1", "xian1"},
        {"  ni3 \t hao3  ", "ni3 hao3"},
        {"ni3\xE3\x80\x80hao3", "ni3 hao3"},       // ideographic space
        {"yi4 dianr3", "yi4 dianr3"},
        {"yìdiǎnr", "yi4 dianr3"},
        {"lü4 lv4 lu:4 lǜ", "lv4 lv4 lv4 lv4"},
        {"hao3 de", "hao3 de5"},
        {"yi1-er4", "yi1 er4"},
        // apostrophe rule: a syllable starting with a, o, e is never glued on
        {"fāngàn", "fan1 gan4"},
        {"Xīān", "xi1 an1"},    // no split that keeps the rule: take any split
        {"tiananmen", "tian5 an5 men5"},
        {"zhong1guo2ren2", "zhong1 guo2 ren2"},
        {"m2", "m2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        std::string error = "stale";
        auto got = pinyin::parseReading(std::string_view(c.input), &error);
        ASSERT_TRUE(got.has_value()) << error;
        EXPECT_EQ(join(*got), c.expected);
        EXPECT_EQ(error, "");
        std::u32string cps;
        ASSERT_TRUE(utf8::decodeStrict(c.input, cps));
        EXPECT_EQ(pinyin::parseReading(std::u32string_view(cps)), got) << "as code points";
    }
}

TEST(PinyinReading, ErrorsTable)
{
    const struct {
        const char *input;
        const char *error;
    } cases[] = {
        {"ma7", "声调必须是 1 到 5：ma7"},
        {"ma0", "声调必须是 1 到 5：ma0"},
        {"hao3ma7", "声调必须是 1 到 5：ma7"},
        {"ma10", "声调必须是 1 到 5：ma10"},
        {"xyz3", "无法识别的拼音：xyz3"},
        {"ni3 xyz3", "无法识别的拼音：xyz3"},
        {"ni3 hao3 jv1", "无法识别的拼音：jv1"},
        {"xyz7", "无法识别的拼音：xyz7"},
        {"zhongguo2", "无法识别的拼音：zhongguo2"},
        {"chóng2", "无法识别的拼音：chóng2"},
        {"qwrt", "无法识别的拼音：qwrt"},
        {"hm", "无法识别的拼音：hm"},
        {"ni3，hao3", "无法识别的拼音：，hao3"},
        {"重庆", "无法识别的拼音：重庆"},
        {"", "读音为空"},
        {"  ' ", "读音为空"},
        {"ni3 \xFF", "读音不是有效的 UTF-8 文本"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        std::string error;
        EXPECT_EQ(pinyin::parseReading(std::string_view(c.input), &error), std::nullopt);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(pinyin::parseReading(std::string_view(c.input)), std::nullopt) << "without an error string";
    }
}

TEST(PinyinReading, WholeReadingWithToneMarksTable)
{
    const struct {
        const char *reading;
        const char *marked;
    } cases[] = {
        {"yin2 hang2 de5 hang2 zhang3", "yín háng de háng zhǎng"},
        {"wo3 mai3 le5 iPhone", "wǒ mǎi le iPhone"},  // a Latin word stays
        {"  yi4   dianr3 ", "yì diǎnr"},              // blanks collapse
        {"lü4 lv4", "lǜ lǜ"},
        {"qing7 xyz1", "qing7 xyz1"},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reading);
        EXPECT_EQ(pinyin::withToneMarks(c.reading), c.marked);
    }
}

// ---- syllables over the characters of a word ---------------------------

TEST(PinyinLayout, LayOverHanTable)
{
    using Fault = pinyin::Layout::Fault;
    const struct {
        const char *name;
        const char32_t *text;
        const char *syllables;
        Fault fault;
        const char *perHan;  // when it fits, "_" for a 儿 taken by the erhua before it
        std::size_t han;
        const char *erhua;
    } cases[] = {
        {"one a character", U"重庆", "chong2 qing4", Fault::None, "chong2 qing4", 2, ""},
        {"erhua takes its 儿", U"一点儿", "yi4 dianr3", Fault::None, "yi4 dianr3 _", 3, ""},
        {"traditional 兒", U"一點兒", "yi4 dianr3", Fault::None, "yi4 dianr3 _", 3, ""},
        {"erhua spelled out", U"一点儿", "yi4 dian3 er5", Fault::None, "yi4 dian3 er5", 3, ""},
        {"er is no erhua", U"儿子", "er2 zi5", Fault::None, "er2 zi5", 2, ""},
        {"erhua twice", U"花儿鸟儿", "huar1 niaor3", Fault::None, "huar1 _ niaor3 _", 4, ""},
        {"text between is skipped", U"点 儿, 好！", "dianr3 hao3", Fault::None, "dianr3 _ hao3", 3, ""},
        {"ideographic zero", U"二〇", "er4 ling2", Fault::None, "er4 ling2", 2, ""},
        {"extension G is a character", U"\U00030B38子", "sui4 zi5", Fault::None, "sui4 zi5", 2, ""},
        {"compatibility ideograph", U"\U0000F900", "gai4", Fault::None, "gai4", 1, ""},
        {"no Han, no syllables", U"OK", "", Fault::None, "", 0, ""},
        {"too few", U"重庆", "chong2", Fault::Count, "", 2, ""},
        {"too many", U"重庆", "chong2 qing4 shi4", Fault::Count, "", 2, ""},
        {"too few after an erhua", U"点儿心", "dianr3", Fault::Count, "", 3, ""},
        {"the 儿 is counted too", U"一点儿", "yi4 dian3", Fault::Count, "", 3, ""},
        {"syllables but no Han", U"iPhone", "ai4", Fault::Count, "", 0, ""},
        {"erhua without 儿", U"花园", "huar1 yuan2", Fault::ErhuaWithoutEr, "", 2, "huar1"},
        {"erhua at the end", U"花", "huar1", Fault::ErhuaWithoutEr, "", 1, "huar1"},
        {"erhua before too many", U"花", "huar1 yuan2", Fault::ErhuaWithoutEr, "", 1, "huar1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const pinyin::Layout layout = pinyin::layOverHan(c.text, split(c.syllables));
        EXPECT_EQ(layout.fault, c.fault);
        EXPECT_EQ(layout.fits(), c.fault == Fault::None);
        Syllables expected = split(c.perHan);
        for (std::string &s : expected)
            if (s == "_")
                s.clear();
        EXPECT_EQ(layout.perHan, expected);
        EXPECT_EQ(layout.han, c.han);
        EXPECT_EQ(layout.syllables, split(c.syllables).size());
        EXPECT_EQ(layout.erhua, c.erhua);
    }
}

TEST(PinyinLayout, DescribeNamesTheSubjectAndTheSyllable)
{
    const pinyin::Layout count = pinyin::layOverHan(U"重庆", {"chong2"});
    EXPECT_EQ(pinyin::describe(count, "词", false), "读音有 1 个音节，但词有 2 个汉字");
    EXPECT_EQ(pinyin::describe(count, "“重庆”", true), "读音有 1 个音节，但“重庆”有 2 个汉字");
    const pinyin::Layout erhua = pinyin::layOverHan(U"花园", {"huar1", "yuan2"});
    EXPECT_EQ(pinyin::describe(erhua, "文本", false), "儿化音节 huar1 后面应是“儿”字");
    EXPECT_EQ(pinyin::describe(erhua, "文本", true), "儿化音节 huār 后面应是“儿”字");
    EXPECT_EQ(pinyin::describe(pinyin::layOverHan(U"花", {"hua1"}), "词", true), "");
}

TEST(PinyinLayout, CheckWordReadingTable)
{
    const struct {
        const char32_t *word;
        const char32_t *reading;
        const char *syllables;  // empty: refused
        const char *error;
    } cases[] = {
        {U"重庆", U"zhòng qìng", "zhong4 qing4", ""},
        {U"一点儿", U"yìdiǎnr", "yi4 dianr3", ""},
        {U"卡拉OK", U"ka3 la1", "ka3 la1", ""},  // only the Han characters take syllables
        {U"重庆", U"chong2", "", "读音有 1 个音节，但词有 2 个汉字"},
        {U"花园", U"huar1 yuan2", "", "儿化音节 huar1 后面应是“儿”字"},
        // the word is looked at first, then the reading, then how they fit
        {U"iPhone", U"xyz", "", "词中没有汉字，拼音读音只用于中文词语"},
        {U"重庆", U"chong2 qxng4", "", "无法识别的拼音：qxng4"},
        {U"重庆", U"chong7", "", "声调必须是 1 到 5：chong7"},
        {U"重庆", U"", "", "读音为空"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(utf8::encode(c.word) + " / " + utf8::encode(c.reading));
        std::string error = "stale";
        const auto got = pinyin::checkWordReading(c.word, c.reading, "词", false, &error);
        EXPECT_EQ(got.has_value(), *c.syllables != 0);
        if (got) {
            EXPECT_EQ(join(*got), c.syllables);
        }
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
