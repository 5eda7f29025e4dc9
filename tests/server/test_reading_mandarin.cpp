// What the Mandarin voices say: text → toned pinyin through the front end,
// as tables of sentences and the readings a Putonghua announcer gives them.
#include "CharClass.h"
#include "FrontEnd.h"
#include "MandarinReader.h"
#include "ServerTestSupport.h"
#include "UserLexicon.h"
#include "Utf8.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tavrel;
using namespace tavrel::reading;

namespace {

const FrontEnd &frontEnd()
{
    static const FrontEnd fe(TAVREL_DATA_DIR);
    return fe;
}

std::string readingOf(const std::string &text, const std::string &locale = "zh-CN",
                      const UserLexicon *user = nullptr)
{
    return frontEnd().prepare(utf8::decode(text), locale, user).reading;
}

struct Case {
    const char *text;
    const char *reading;
};

void expectReadings(const std::vector<Case> &cases, const std::string &locale = "zh-CN")
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readingOf(c.text, locale), c.reading);
    }
}

}  // namespace

TEST(MandarinReading, DataIsLoaded)
{
    EXPECT_TRUE(frontEnd().hasMandarin()) << frontEnd().loadError();
    EXPECT_TRUE(frontEnd().supports("zh-CN"));
    EXPECT_TRUE(frontEnd().supports("zh-TW"));
}

TEST(MandarinReading, PolyphonesAreReadByTheWordTheyAreIn)
{
    expectReadings({
        {"重庆", "chong2 qing4"},
        {"这很重要", "zhe4 hen3 zhong4 yao4"},
        {"我们重新开始", "wo3 men5 chong2 xin1 kai1 shi3"},
        {"银行的行长", "yin2 hang2 de5 hang2 zhang3"},
        {"他喜欢独自行走", "ta1 xi3 huan5 du2 zi4 xing2 zou3"},
        {"一行字", "yi4 hang2 zi4"},
        {"孩子长大了", "hai2 zi5 zhang3 da4 le5"},
        {"这条路很长", "zhe4 tiao2 lu4 hen3 chang2"},
        {"他得到了奖励", "ta1 de2 dao4 le5 jiang3 li4"},
        {"他跑得快", "ta1 pao3 de5 kuai4"},
        {"我得走了", "wo3 dei3 zou3 le5"},
        {"你还是去吧", "ni3 hai2 shi4 qu4 ba5"},
        {"明天还钱", "ming2 tian1 huan2 qian2"},
        {"我想睡觉", "wo3 xiang3 shui4 jiao4"},
        {"我觉得很好", "wo3 jue2 de5 hen3 hao3"},
        {"北京是首都", "bei3 jing1 shi4 shou3 du1"},
        {"这是什么地方", "zhe4 shi4 shen2 me5 di4 fang5"},
        {"的确如此", "di2 que4 ru2 ci3"},
        {"目的地", "mu4 di4 di4"},
        {"音乐很快乐", "yin1 yue4 hen3 kuai4 le4"},
        {"数一数", "shu3 yi5 shu3"},
        {"东西很便宜", "dong1 xi5 hen3 pian2 yi5"},
        {"台湾", "tai2 wan1"},
        {"会议召开", "hui4 yi4 zhao4 kai1"},
        {"今天天气很好", "jin1 tian1 tian1 qi4 hen3 hao3"},
    });
}

TEST(MandarinReading, YiAndBuChangeTone)
{
    expectReadings({
        {"一个", "yi2 ge4"},
        {"一天", "yi4 tian1"},
        {"一年", "yi4 nian2"},
        {"一本书", "yi4 ben3 shu1"},
        {"一样", "yi2 yang4"},
        {"第一", "di4 yi1"},
        {"一点五", "yi1 dian3 wu3"},
        {"三比一", "san1 bi3 yi1"},
        {"十一", "shi2 yi1"},
        {"看一看", "kan4 yi5 kan4"},
        {"一百", "yi4 bai3"},
        {"一万", "yi2 wan4"},
        {"不是", "bu2 shi4"},
        {"不对", "bu2 dui4"},
        {"不好", "bu4 hao3"},
        {"不来", "bu4 lai2"},
        {"是不是", "shi4 bu5 shi4"},
    });
}

TEST(MandarinReading, NeutralTonesAndErhua)
{
    expectReadings({
        {"我的书", "wo3 de5 shu1"},
        {"你来了吗", "ni3 lai2 le5 ma5"},
        {"他看着我呢", "ta1 kan4 zhe5 wo3 ne5"},
        {"我去过北京", "wo3 qu4 guo5 bei3 jing1"},
        {"走吧", "zou3 ba5"},
        {"我们", "wo3 men5"},
        {"桌子", "zhuo1 zi5"},
        {"石头", "shi2 tou5"},
        {"妈妈", "ma1 ma5"},
        {"朋友", "peng2 you5"},
        {"一点儿", "yi4 dianr3"},
        {"在这儿", "zai4 zher4"},
        {"女儿", "nv3 er2"},
    });
}

// Light tones by context: the 来/去 of a directional complement after its
// verb but not where the directional word is the verb itself, 不 between a
// verb and its complement, doubled adverbs that keep both tones.
TEST(MandarinReading, ComplementsAndDoubledAdverbs)
{
    expectReadings({
        {"掉下来了", "diao4 xia4 lai5 le5"},
        {"笑了起来", "xiao4 le5 qi3 lai5"},
        {"拿出来", "na2 chu1 lai5"},
        {"安静了下来", "an1 jing4 le5 xia4 lai5"},
        {"就回去", "jiu4 hui2 qu4"},
        {"才敢出来", "cai2 gan3 chu1 lai2"},
        {"找不到", "zhao3 bu5 dao4"},
        {"吃不完", "chi1 bu5 wan2"},
        {"他不会来", "ta1 bu2 hui4 lai2"},
        {"整整三天", "zheng3 zheng3 san1 tian1"},
        {"缓缓地走", "huan3 huan3 de5 zou3"},
        {"看看", "kan4 kan5"},
        {"转过身", "zhuan3 guo4 shen1"},
        {"调到1080P", "tiao2 dao4 yao1 ling2 ba1 ling2 P"},
        {"调查", "diao4 cha2"},
    });
}

// 儿 joins the syllable before it only inside a word: a piece the cut split
// off (事|儿, 小孩|儿), never a word of its own after one the list knows.
TEST(MandarinReading, ErhuaStaysInsideTheWord)
{
    expectReadings({
        {"这事儿你别管", "zhe4 shir4 ni3 bie2 guan3"},
        {"有点儿累", "you3 dianr3 lei4"},
        {"小孩儿", "xiao3 hair2"},
        {"哪儿", "nar3"},
        {"女儿", "nv3 er2"},
        {"他的儿子", "ta1 de5 er2 zi5"},
        {"这款儿童座椅", "zhe4 kuan3 er2 tong2 zuo4 yi3"},
        {"妻儿老小", "qi1 er2 lao3 xiao3"},
    });
}

// Digit strings that name rather than count are read digit by digit, 1 as
// 幺 where announcers say it; quantities stay quantities; 一 of a code, a
// ratio or a fraction keeps yi1, 一 before 百 inside a number changes.
TEST(MandarinReading, CodesAreReadAsCodes)
{
    expectReadings({
        {"CA1832航班", "CA yao1 ba1 san1 er4 hang2 ban1"},
        {"G1234次", "G yao1 er4 san1 si4 ci4"},
        {"我住1502", "wo3 zhu4 yao1 wu3 ling2 er4"},
        {"1203室", "yao1 er4 ling2 san1 shi4"},
        {"192.168.1.1", "yao1 jiu3 er4 dian3 yao1 liu4 ba1 dian3 yao1 dian3 yao1"},
        {"选1080P", "xuan3 yao1 ling2 ba1 ling2 P"},
        {"618大促", "liu4 yao1 ba1 da4 cu4"},
        {"618元", "liu4 bai3 yi1 shi2 ba1 yuan2"},
        {"A1单元格", "A yi1 dan1 yuan2 ge2"},
        {"RTX4090", "RTX si4 ling2 jiu3 ling2"},
        {"2:1", "er4 bi3 yi1"},
        {"1/3", "san1 fen1 zhi1 yi1"},
        {"1179万", "yi4 qian1 yi4 bai3 qi1 shi2 jiu3 wan4"},
        {"一枚一枚", "yi4 mei2 yi4 mei2"},
    });
}

TEST(MandarinReading, NumbersAreReadAsSpoken)
{
    expectReadings({
        {"10086", "yi2 wan4 ling2 ba1 shi2 liu4"},
        {"2个", "liang3 ge4"},
        {"2026年", "er4 ling2 er4 liu4 nian2"},
        {"3.5", "san1 dian3 wu3"},
        {"15%", "bai3 fen1 zhi1 shi2 wu3"},
        {"3/4", "si4 fen1 zhi1 san1"},
        {"12月10日", "shi2 er4 yue4 shi2 ri4"},
        {"14:30", "shi2 si4 dian3 san1 shi2 fen1"},
        {"3-5天", "san1 dao4 wu3 tian1"},
        {"第3名", "di4 san1 ming2"},
        {"-5", "fu4 wu3"},
        {"5km", "wu3 gong1 li3"},
        {"１２３", "yi4 bai3 er4 shi2 san1"},
    });
}

TEST(MandarinReading, LatinRunsStayAsWrittenAndPunctuationIsNotRead)
{
    expectReadings({
        {"我买了一部iPhone", "wo3 mai3 le5 yi2 bu4 iPhone"},
        {"AI和GPU", "AI he2 GPU"},
        {"5G网络", "wu3 G wang3 luo4"},
        {"你好！“再见”。", "ni3 hao3 zai4 jian4"},
        {"……", ""},
    });
}

TEST(MandarinReading, TraditionalTextReadsLikeSimplified)
{
    const std::vector<Case> cases = {
        {"臺灣的銀行", "tai2 wan1 de5 yin2 hang2"},
        {"我們還是去重慶吧", "wo3 men5 hai2 shi4 qu4 chong2 qing4 ba5"},
        {"頭髮很長", "tou2 fa5 hen3 chang2"},
        // Simplified to an ideograph of extension G (𰬸), which is read too.
        {"繐帳", "sui4 zhang4"},
    };
    expectReadings(cases, "zh-TW");
    expectReadings(cases, "zh-CN");
}

TEST(MandarinReading, EngineInputHasNoHanziAndLatinGoesToEnglish)
{
    const Prepared p = frontEnd().prepare(utf8::decode("我用iPhone听音乐，CEO也用。"), "zh-CN");
    ASSERT_EQ(p.runs.size(), 5u);
    for (std::size_t i = 0; i < p.runs.size(); ++i)
        EXPECT_EQ(p.runs[i].language, i % 2 ? "en" : "") << i;
    for (const EngineRun &run : p.runs) {
        for (char32_t c : utf8::decode(run.text))
            EXPECT_FALSE(textrules::isHan(c)) << run.text;
        EXPECT_EQ(utf8::decode(run.text).size(), run.origin.size());
    }
    // Acronyms are spelled, words are not.
    EXPECT_NE(p.runs[1].text.find("iPhone"), std::string::npos);
    EXPECT_NE(p.runs[2].text.find("yin1"), std::string::npos);
    EXPECT_NE(p.runs[3].text.find("C.E.O."), std::string::npos);
    EXPECT_EQ(spellAcronyms("GPU and NASA"), "G.P.U. and N.A.S.A.");
    EXPECT_EQ(spellAcronyms("iPhone A"), "iPhone A");
}

TEST(MandarinReading, OriginsPointBackToTheWrittenCharacters)
{
    // 我 0, 在 1, 2 2, 0 3, 2 4, 6 5, 年 6, 用 7, i 8 …
    const std::u32string text = utf8::decode("我在2026年用iPhone。");
    const Prepared p = frontEnd().prepare(text, "zh-CN");
    ASSERT_EQ(p.runs.size(), 2u);
    auto originOf = [](const EngineRun &run, const std::string &piece) {
        const std::size_t at = run.text.find(piece);
        return at == std::string::npos ? std::size_t(-1) : run.origin[at];
    };
    EXPECT_EQ(originOf(p.runs[0], "wo3"), 0u);
    EXPECT_EQ(originOf(p.runs[0], "zai4"), 1u);
    EXPECT_EQ(originOf(p.runs[0], "er4"), 2u);
    EXPECT_EQ(originOf(p.runs[0], "nian2"), 6u);
    EXPECT_EQ(originOf(p.runs[1], "iPhone"), 8u);
    for (const EngineRun &run : p.runs)
        for (std::size_t o : run.origin)
            EXPECT_LT(o, text.size());
}

TEST(MandarinReading, UserLexiconWinsOverTheData)
{
    test::TempWorkDir work;
    const auto file = work.path() / "lexicon.txt";
    std::ofstream(file) << "# 我们的读法\n重庆\tzhong4 qing4\n银行\tyin2 xing2\n花园儿\thua1 yuanr2\n";
    UserLexicon user(file, [](const std::string &) {}, std::chrono::milliseconds(0));
    EXPECT_EQ(readingOf("重庆银行", "zh-CN", &user), "zhong4 qing4 yin2 xing2");
    EXPECT_EQ(readingOf("重庆银行"), "chong2 qing4 yin2 hang2");
    // A user's erhua syllable reads its character and the 儿 after it.
    EXPECT_EQ(readingOf("逛花园儿", "zh-CN", &user), "guang4 hua1 yuanr2");
}

TEST(MandarinReading, AnyTextGetsAReadingWithoutHanziInTheEngineInput)
{
    std::u32string noise;
    for (char32_t c : utf8::decode("乱码\x01\x7f﻿\t\r\n𠀀😀ÄéЖ中文ｱ123456789０.,;%¥$€"))
        noise.push_back(c);
    noise.push_back(0xD800);  // a surrogate code point, as a lenient decoder could leave one
    std::u32string digits(200000, U'7');
    for (const std::u32string &text : {noise, digits, std::u32string()}) {
        const Prepared p = frontEnd().prepare(text, "zh-CN");
        for (const EngineRun &run : p.runs) {
            EXPECT_EQ(utf8::decode(run.text).size(), run.origin.size());
            for (char32_t c : utf8::decode(run.text))
                EXPECT_FALSE(textrules::isHan(c));
        }
    }
}

// Where each syllable comes from, so that a user correcting a reading sees
// why it was read so: a word of the word list (w), the character's own
// reading (c), a rule that decided or changed it (r).
TEST(MandarinReading, SourcesTellWordsFromCharactersAndRules)
{
    const struct {
        const char *text;
        const char *reading;
        const char *sources;
    } cases[] = {
        {"我们去重庆", "wo3 men5 qu4 chong2 qing4", "wwcww"},
        {"银行的行长", "yin2 hang2 de5 hang2 zhang3", "wwrww"},
        {"找不到", "zhao3 bu5 dao4", "crc"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const Prepared p = frontEnd().prepare(utf8::decode(c.text), "zh-CN");
        EXPECT_EQ(p.reading, c.reading);
        EXPECT_EQ(p.sources, c.sources);
    }
}
