// Japanese readings: words by their pronunciation, particles as said,
// numbers and counters as an announcer reads them, Latin words for the
// English voice, and the origin each engine character keeps. The expected
// kana are how the sentences are read in standard Japanese.
#include "JapaneseCounters.h"
#include "JapaneseReader.h"
#include "Utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace tavrel::reading;

namespace {

const JapaneseReader &reader()
{
    static const JapaneseReader r;
    return r;
}

Prepared read(const std::string &text, const std::map<std::string, std::string> *user = nullptr)
{
    return reader().read(MappedText::identity(utf8::decode(text)), user);
}

// The runs as "[language]text" joined by " | ", language "ja" for the voice's own.
std::string describeRuns(const Prepared &p)
{
    std::string out;
    for (const EngineRun &r : p.runs) {
        if (!out.empty())
            out += " | ";
        out += "[" + (r.language.empty() ? std::string("ja") : r.language) + "]" + r.text;
    }
    return out;
}

bool isKanji(char32_t c) { return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || c >= 0x20000; }
bool isKana(char32_t c) { return (c >= 0x3041 && c <= 0x3096) || (c >= 0x30A1 && c <= 0x30FC); }
bool isPause(char32_t c) { return c == U'。' || c == U'、' || c == U'！' || c == U'？'; }

// What every result must hold, whatever the text: origins line up with the
// run text and point into the input; Japanese runs hold only kana, spaces
// and 。、！？; English runs hold no kana and no kanji; nothing is read as
// a kanji.
void expectWellFormed(const Prepared &p, std::size_t inputSize, std::size_t originBase = 0)
{
    for (const EngineRun &r : p.runs) {
        SCOPED_TRACE(r.text.substr(0, 200));
        const std::u32string text = utf8::decode(r.text);
        ASSERT_EQ(r.origin.size(), text.size());
        EXPECT_FALSE(text.empty());
        for (std::size_t i = 0; i < text.size(); ++i) {
            EXPECT_GE(r.origin[i], originBase);
            EXPECT_LT(r.origin[i], originBase + inputSize);
            const char32_t c = text[i];
            EXPECT_FALSE(isKanji(c)) << "kanji U+" << std::hex << std::uint32_t(c) << " in a run";
            if (r.language.empty()) {
                EXPECT_TRUE(isKana(c) || c == U' ' || isPause(c))
                    << "U+" << std::hex << std::uint32_t(c) << " in a Japanese run";
            } else {
                EXPECT_FALSE(isKana(c)) << "kana in an English run";
            }
        }
        if (!r.language.empty()) {
            EXPECT_EQ(r.language, "en");
        }
    }
}

struct Case {
    const char *text;
    const char *reading;
};

template <std::size_t N>
void expectReadings(const Case (&cases)[N])
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const Prepared p = read(c.text);
        EXPECT_EQ(p.reading, c.reading) << "runs: " << describeRuns(p);
        expectWellFormed(p, utf8::decode(c.text).size());
    }
}

}  // namespace

TEST(JapaneseReader, LoadsTheIpaDictionary)
{
    ASSERT_TRUE(reader().isReady()) << reader().error();
    EXPECT_TRUE(reader().error().empty());
}

TEST(JapaneseReader, MissingDictionaryIsAnErrorNotACrash)
{
    const JapaneseReader broken("/nonexistent/mecab-dictionary");
    EXPECT_FALSE(broken.isReady());
    EXPECT_FALSE(broken.error().empty());
    const Prepared p = broken.read(MappedText::identity(U"日本語"), nullptr);
    EXPECT_TRUE(p.runs.empty());
}

TEST(JapaneseReader, ParticlesAsPronounced)
{
    const Case cases[] = {
        {"私は学生です。", "わたしわがくせいです。"},
        {"東京へ行きます。", "とうきょうえいきます。"},
        {"本を読む。", "ほんおよむ。"},
        {"今日は雨です", "きょうわあめです"},
        {"こんにちは", "こんにちわ"},
        {"駅へ向かう道を歩く", "えきえむかうみちおあるく"},
        // は and へ inside words stay as written
        {"花が咲いた", "はながさいた"},
        {"部屋", "へや"},
    };
    expectReadings(cases);
}

TEST(JapaneseReader, WordsInKanjiAndKana)
{
    const Case cases[] = {
        {"日本語を勉強しています", "にほんごおべんきょうしています"},
        {"先生", "せんせい"},
        {"大きい犬", "おおきいいぬ"},
        {"映画を見ました", "えいがおみました"},
        {"美しい花", "うつくしいはな"},
        {"東京都庁", "とうきょうとちょう"},
        {"学校", "がっこう"},
        // loanwords keep their katakana, long vowel mark and all
        {"コーヒーを飲みます", "コーヒーおのみます"},
        // half-width katakana reads as full-width
        {"ｺｰﾋｰ", "コーヒー"},
        // kana MeCab has no word for is kept as written
        {"ぴえん", "ぴえん"},
        {"ギガントマキア", "ギガントマキア"},
    };
    expectReadings(cases);
}

TEST(JapaneseReader, NumbersDatesAndTimes)
{
    const Case cases[] = {
        {"2026年", "にせんにじゅうろくねん"},
        {"1998年", "せんきゅうひゃくきゅうじゅうはちねん"},
        {"4年", "よねん"},
        {"2026年3月5日", "にせんにじゅうろくねんさんがついつか"},
        {"4月1日", "しがつついたち"},
        {"7月20日", "しちがつはつか"},
        {"9月14日", "くがつじゅうよっか"},
        {"10時30分", "じゅうじさんじゅっぷん"},
        {"12:45", "じゅうにじよんじゅうごふん"},
        {"9時", "くじ"},
        {"7時", "しちじ"},
        {"4時", "よじ"},
        {"1分", "いっぷん"},
        {"3分", "さんぷん"},
        {"5分", "ごふん"},
        {"8時間", "はちじかん"},
        {"2日間", "ふつかかん"},
        {"3日", "みっか"},
        {"3.5", "さんてんご"},
        {"0.5", "れいてんご"},
        {"15%", "じゅうごパーセント"},
        {"-5", "まいなすご"},
        {"1000", "せん"},
        {"10000", "いちまん"},
        {"1000000", "ひゃくまん"},
        {"100000000", "いちおく"},
        {"1000000000000", "いっちょう"},
        {"2345", "にせんさんびゃくよんじゅうご"},
        {"1,000円", "せんえん"},
        {"10,000円", "いちまんえん"},
        {"3万人", "さんまんにん"},
        {"1億2000万円", "いちおくにせんまんえん"},
        {"0120", "ぜろいちにぜろ"},
        {"2026/3/5", "にせんにじゅうろくねんさんがついつか"},
        {"2026-03-05", "にせんにじゅうろくねんさんがついつか"},
        // a telephone number digit by digit, の between the groups
        {"03-1234-5678", "ぜろさんのいちにさんよんのごろくななはち"},
        // full-width digits and signs are digits
        {"１２３", "ひゃくにじゅうさん"},
        {"１５％", "じゅうごパーセント"},
    };
    expectReadings(cases);
}

TEST(JapaneseReader, CountersWithTheirSoundChanges)
{
    const Case cases[] = {
        {"100円", "ひゃくえん"},
        {"4円", "よえん"},
        {"¥500", "ごひゃくえん"},
        {"$20", "にじゅうドル"},
        {"3人", "さんにん"},
        {"1人", "ひとり"},
        {"2人", "ふたり"},
        {"4人", "よにん"},
        {"1本", "いっぽん"},
        {"3本", "さんぼん"},
        {"6本", "ろっぽん"},
        {"10本", "じゅっぽん"},
        {"300本", "さんびゃっぽん"},
        {"1000本", "せんぼん"},
        {"1回", "いっかい"},
        {"8個", "はっこ"},
        {"3階", "さんがい"},
        {"1冊", "いっさつ"},
        {"6冊", "ろくさつ"},
        {"20歳", "はたち"},
        {"3つ", "みっつ"},
        {"3分の1", "さんぶんのいち"},
        {"5km", "ごキロメートル"},
        {"10〜20人", "じゅうからにじゅうにん"},
        {"2人〜3人", "ふたりからさんにん"},
        // counters only MeCab knows take the same sound changes
        {"第1章", "だいいっしょう"},
        {"8章", "はっしょう"},
        {"6巻", "ろっかん"},
        {"3丁目", "さんちょうめ"},
    };
    expectReadings(cases);
}

TEST(JapaneseReader, NumbersWrittenInKanji)
{
    const Case cases[] = {
        {"三百", "さんびゃく"},
        {"六百", "ろっぴゃく"},
        {"八千", "はっせん"},
        {"三千", "さんぜん"},
        {"一本", "いっぽん"},
        {"三本", "さんぼん"},
        {"三人", "さんにん"},
        {"一人で", "ひとりで"},
        {"三百円", "さんびゃくえん"},
        {"二千二十六年", "にせんにじゅうろくねん"},
        {"二〇二六年", "にせんにじゅうろくねん"},
        {"三日", "みっか"},
        {"二十日", "はつか"},
        {"十一月三日", "じゅういちがつみっか"},
        // words that merely contain numerals keep their own reading
        {"一緒に", "いっしょに"},
        {"十分だ", "じゅうぶんだ"},
        {"一つ", "ひとつ"},
        {"三章", "さんしょう"},
    };
    expectReadings(cases);
}

TEST(JapaneseReader, PunctuationPausesAndIsNeverRead)
{
    const Case cases[] = {
        {"はい、そうです。", "はい、そうです。"},
        {"本当？すごい！", "ほんとう？すごい！"},
        {"「こんにちは」と言った。", "こんにちわといった。"},
        {"（ただし、例外あり）", "ただし、れいがいあり"},
        {"はい,そうです.", "はい、そうです。"},
    };
    expectReadings(cases);

    // The pause marks reach the engine as the marks its Japanese voice
    // pauses at; brackets, dots and ASCII marks, which it would spell out
    // in English, do not.
    const Prepared p = read("「東京」・大阪、京都。本当?");
    ASSERT_EQ(p.runs.size(), 1u) << describeRuns(p);
    const std::u32string text = utf8::decode(p.runs[0].text);
    EXPECT_NE(text.find(U'、'), std::u32string::npos) << p.runs[0].text;
    EXPECT_NE(text.find(U'。'), std::u32string::npos) << p.runs[0].text;
    EXPECT_EQ(text.back(), U'？') << p.runs[0].text;
    for (char32_t c : std::u32string(U"「」・?."))
        EXPECT_EQ(text.find(c), std::u32string::npos) << p.runs[0].text;
}

TEST(JapaneseReader, LatinWordsGoToTheEnglishVoice)
{
    struct RunCase {
        const char *text;
        const char *reading;
        const char *runs;
    };
    const RunCase cases[] = {
        {"私はTomです", "わたしわTomです", "[ja]ワタシワ | [en]Tom | [ja]デス"},
        {"iPhoneを買った", "iPhoneおかった", "[en]iPhone | [ja]オ カッタ"},
        {"ＡＢＣ", "ABC", "[en]ABC"},
        {"Hello, world!", "Hello, world!", "[en]Hello, world!"},
        {"New Yorkへ行く", "New Yorkえいく", "[en]New York | [ja]エ イク"},
    };
    for (const RunCase &c : cases) {
        SCOPED_TRACE(c.text);
        const Prepared p = read(c.text);
        EXPECT_EQ(p.reading, c.reading);
        EXPECT_EQ(describeRuns(p), c.runs);
        expectWellFormed(p, utf8::decode(c.text).size());
    }
}

TEST(JapaneseReader, UserEntriesWinLongestFirst)
{
    const std::map<std::string, std::string> user = {
        {"東京", "ひがしきょう"},
        {"東京都", "とうきょうと"},
        {"明日", "みょうにち"},
        {"GitHub", "ぎっとはぶ"},
    };
    const Case cases[] = {
        {"東京へ", "ひがしきょうえ"},
        {"東京都へ", "とうきょうとえ"},
        {"明日は晴れ", "みょうにちわはれ"},
        {"GitHubで公開", "ぎっとはぶでこうかい"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const Prepared p = read(c.text, &user);
        EXPECT_EQ(p.reading, c.reading) << describeRuns(p);
        expectWellFormed(p, utf8::decode(c.text).size());
    }
    // Without the entries, MeCab's own readings.
    EXPECT_EQ(read("明日は晴れ").reading, "あしたわはれ");
    EXPECT_EQ(read("東京へ").reading, "とうきょうえ");
}

TEST(JapaneseReader, OriginsPointBackToTheWrittenCharacters)
{
    // The input's own origins start at 100, as after an earlier stage.
    const std::u32string written = U"東京へ行く";
    MappedText in;
    for (std::size_t i = 0; i < written.size(); ++i)
        in.append(written[i], 100 + i);
    const Prepared p = reader().read(in, nullptr);
    ASSERT_EQ(p.runs.size(), 1u) << describeRuns(p);
    expectWellFormed(p, written.size(), 100);

    // kana → input character, spaces left out: the word 東京 to 東, the
    // particle to へ, 行く's い to 行 and its okurigana to く.
    const std::u32string text = utf8::decode(p.runs[0].text);
    std::u32string kana;
    std::vector<std::size_t> origins;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != U' ') {
            kana.push_back(text[i]);
            origins.push_back(p.runs[0].origin[i]);
        }
    EXPECT_EQ(utf8::encode(kana), "トーキョーエイク");
    EXPECT_EQ(origins, (std::vector<std::size_t>{100, 100, 100, 100, 100, 102, 103, 104}));

    struct OriginCase {
        const char *text;
        std::size_t firstOrigin;  // the input character the first kana stands for
        std::size_t lastOrigin;
    };
    const OriginCase cases[] = {
        {"2026年", 0, 4},         // the digits, then 年
        {"三百円", 0, 2},         // the numeral, then 円
        {"Tomと花", 3, 4},        // after the English run: と, then 花
    };
    for (const OriginCase &c : cases) {
        SCOPED_TRACE(c.text);
        const Prepared q = read(c.text);
        const EngineRun *ja = nullptr;
        for (const EngineRun &r : q.runs)
            if (r.language.empty()) {
                ja = &r;
                break;
            }
        ASSERT_NE(ja, nullptr) << describeRuns(q);
        EXPECT_EQ(ja->origin.front(), c.firstOrigin) << ja->text;
        EXPECT_EQ(ja->origin.back(), c.lastOrigin) << ja->text;
    }
}

TEST(JapaneseReader, RunsHoldNoKanjiWhateverTheText)
{
    const char *texts[] = {
        "日本国憲法第九条",
        "𠮷野家で牛丼を食べた",             // 𠮷 is in no dictionary
        "魑魅魍魎が跋扈する",
        "佐々木さんと人々",
        "いすゞの車",
        "〇〇さんへ",
        "한국어と日本語とРусский",           // other scripts are left out, not spelled in English
        "絵文字😀も♪記号も※",
        "ーあ ァ ゃ ゝ",                     // marks that cannot start a word
        "ヷヸヹヺ",
        "カァー、キィー",
    };
    for (const char *t : texts) {
        SCOPED_TRACE(t);
        const Prepared p = read(t);
        expectWellFormed(p, utf8::decode(t).size());
        for (const EngineRun &r : p.runs)
            for (char32_t c : utf8::decode(r.text))
                EXPECT_TRUE(c != U'ゝ' && c != U'ヽ' && c != U'ゞ' && c != U'ヾ' && c != U'ヵ' && c != U'ヶ' &&
                            c != U'ヷ' && c != U'ヮ')
                    << r.text;
        const std::u32string reading = utf8::decode(p.reading);
        for (char32_t c : reading)
            EXPECT_FALSE(isKanji(c)) << p.reading;
    }
    // An unknown word in kanji is still read, character by character.
    EXPECT_FALSE(read("𠮷野家").runs.empty());
}

TEST(JapaneseReader, EngineWordsStayShortInLongText)
{
    // espeak-ng drops what goes beyond about 66 kana in one word, so no word
    // of the engine input may come near that, however long the text without
    // a break, even in characters that cannot start a word.
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "あいうえおかきくけこ";
    text += "ーーーー";
    for (int i = 0; i < 100; ++i)
        text += "ッ";
    for (int i = 0; i < 50; ++i)
        text += "東京特許許可局";
    const Prepared p = read(text);
    ASSERT_FALSE(p.runs.empty());
    expectWellFormed(p, utf8::decode(text).size());
    for (const EngineRun &r : p.runs) {
        std::size_t word = 0;
        for (char32_t c : utf8::decode(r.text)) {
            word = (c == U' ' || isPause(c)) ? 0 : word + 1;
            ASSERT_LE(word, 50u) << r.text.substr(0, 300);
        }
    }
}

TEST(JapaneseReader, NeverCrashesOnAnyText)
{
    std::vector<std::u32string> texts = {
        U"",
        U"\u0000\u0001\u0007\u001b\u007f\u0085\u2028",
        U"\r\n\t \u3000",
        U"\uFEFF\u200B\u200D",
        U"\uFFFD\uFFFF",
        std::u32string(1, char32_t(0xD800)) + U"日本" + std::u32string(1, char32_t(0x110000)),
        U"゛゜\u3099\u309A",
        U"1,2,3 1.2.3 1:2:3 99:99 ¥ $ € - -- 〜〜",
        U"99999999999999999999999 1兆2億3万4 9999兆9999億 1億億",
        U"一二三四五六七八九十百千万億兆〇〇〇〇",
    };
    // Every code point class at once, in a stable pseudo-random order.
    std::u32string mixed;
    std::uint32_t seed = 12345;
    const char32_t ranges[][2] = {{0x20, 0x7E}, {0x3040, 0x30FF}, {0x4E00, 0x9FFF}, {0xFF00, 0xFFEF},
                                  {0x0400, 0x04FF}, {0xAC00, 0xD7A3}, {0x1F600, 0x1F64F}, {0x0, 0x1F}};
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const auto &r = ranges[(seed >> 16) % 8];
        seed = seed * 1103515245u + 12345u;
        mixed.push_back(r[0] + (seed >> 8) % (r[1] - r[0] + 1));
    }
    texts.push_back(mixed);
    // 200,000 characters of ordinary mixed text.
    std::u32string big;
    while (big.size() < 200000)
        big += U"今日は2026年3月5日、Tomと一緒に東京へ行きました。コーヒーは300円！";
    texts.push_back(big);

    for (const std::u32string &t : texts) {
        SCOPED_TRACE(utf8::encode(t.substr(0, 40)));
        const Prepared p = reader().read(MappedText::identity(t), nullptr);
        expectWellFormed(p, t.size());
    }
}

TEST(JapaneseReader, ManyThreadsReadAtOnce)
{
    const std::map<std::string, std::string> user = {{"東京", "ひがしきょう"}};
    const std::string texts[] = {"私は学生です。", "東京へ2026年3月5日に行く", "iPhoneを3台買った",
                                 "三百人の子供たち"};
    std::vector<std::string> expected;
    for (const std::string &t : texts)
        expected.push_back(read(t, &user).reading + "#" + describeRuns(read(t, &user)));

    std::vector<std::thread> threads;
    std::vector<int> mismatches(8, 0);
    for (int n = 0; n < 8; ++n)
        threads.emplace_back([&, n] {
            for (int round = 0; round < 50; ++round)
                for (std::size_t k = 0; k < std::size(texts); ++k) {
                    const Prepared p = read(texts[k], &user);
                    if (p.reading + "#" + describeRuns(p) != expected[k])
                        ++mismatches[n];
                }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(mismatches, std::vector<int>(8, 0));
}

// The stages of the reading, each on its own. The expected kana are how an
// announcer reads the counts; "number|counter" shows where the number's
// reading ends, which decides the origin of each kana.
namespace {

namespace ja = tavrel::reading::japanese_detail;

std::string said(const ja::Counted &c) { return utf8::encode(c.number) + "|" + utf8::encode(c.counter); }

ja::Number number(const std::string &written)
{
    const std::size_t dot = written.find('.');
    return dot == std::string::npos ? ja::makeNumber(written, {})
                                    : ja::makeNumber(written.substr(0, dot), written.substr(dot + 1));
}

}  // namespace

TEST(JapaneseCounters, TheTableReadsWhole)
{
    EXPECT_EQ(ja::counterTableProblems(), std::vector<std::string>{});
    ASSERT_FALSE(ja::counters().empty());
    // Longest first, so that 時間 is found before 時; no counter twice.
    for (std::size_t i = 0; i + 1 < ja::counters().size(); ++i) {
        EXPECT_GE(ja::counters()[i].written.size(), ja::counters()[i + 1].written.size());
        for (std::size_t j = i + 1; j < ja::counters().size(); ++j)
            EXPECT_NE(ja::counters()[i].written, ja::counters()[j].written) << utf8::encode(ja::counters()[i].written);
    }
    for (const char32_t sign : {U'¥', U'$', U'€'})
        EXPECT_NE(ja::currencySign(sign), nullptr);
    EXPECT_EQ(ja::currencySign(U'円'), nullptr);
    // A sign is read only before a number, never as a counter after one.
    for (const ja::Counter &c : ja::counters())
        EXPECT_FALSE(c.sign) << utf8::encode(c.written);
}

TEST(JapaneseCounters, CountsWithTheirSoundChanges)
{
    struct CountCase {
        const char32_t *counter;
        const char *number;
        bool date;  // a day of the month
        const char *said;
    };
    const CountCase cases[] = {
        // people: words for one and two, よ for four
        {U"人", "1", false, "ヒトリ|"}, {U"人", "2", false, "フタリ|"}, {U"人", "3", false, "サン|ニン"},
        {U"人", "4", false, "ヨ|ニン"}, {U"人", "14", false, "ジュウヨ|ニン"}, {U"人", "100", false, "ヒャク|ニン"},
        // days of the month, and numbers of days
        {U"日", "1", true, "ツイタチ|"}, {U"日", "1", false, "イチニチ|"}, {U"日", "2", true, "フツカ|"},
        {U"日", "3", true, "ミッカ|"}, {U"日", "4", true, "ヨッカ|"}, {U"日", "5", true, "イツカ|"},
        {U"日", "6", true, "ムイカ|"}, {U"日", "7", true, "ナノカ|"}, {U"日", "8", true, "ヨウカ|"},
        {U"日", "9", true, "ココノカ|"}, {U"日", "10", true, "トオカ|"}, {U"日", "11", true, "ジュウイチ|ニチ"},
        {U"日", "14", true, "ジュウヨッカ|"}, {U"日", "17", true, "ジュウシチ|ニチ"},
        {U"日", "19", true, "ジュウク|ニチ"}, {U"日", "20", true, "ハツカ|"}, {U"日", "24", true, "ニジュウヨッカ|"},
        {U"日", "29", true, "ニジュウク|ニチ"}, {U"日", "31", true, "サンジュウイチ|ニチ"},
        {U"日間", "1", false, "イチニチ|カン"}, {U"日間", "2", false, "フツカ|カン"},
        {U"日間", "10", false, "トオカ|カン"}, {U"日間", "15", false, "ジュウゴ|ニチカン"},
        {U"日間", "34", false, "サンジュウヨッカ|カン"},
        // months and hours
        {U"月", "1", false, "イチ|ガツ"}, {U"月", "4", false, "シ|ガツ"}, {U"月", "7", false, "シチ|ガツ"},
        {U"月", "9", false, "ク|ガツ"}, {U"月", "12", false, "ジュウニ|ガツ"},
        {U"時", "0", false, "レイ|ジ"}, {U"時", "4", false, "ヨ|ジ"}, {U"時", "7", false, "シチ|ジ"},
        {U"時", "9", false, "ク|ジ"}, {U"時", "19", false, "ジュウク|ジ"},
        {U"時間", "4", false, "ヨ|ジカン"}, {U"時間", "9", false, "ク|ジカン"}, {U"時間", "24", false, "ニジュウヨ|ジカン"},
        {U"分", "1", false, "イッ|プン"}, {U"分", "2", false, "ニ|フン"}, {U"分", "3", false, "サン|プン"},
        {U"分", "4", false, "ヨン|プン"}, {U"分", "5", false, "ゴ|フン"}, {U"分", "6", false, "ロッ|プン"},
        {U"分", "8", false, "ハッ|プン"}, {U"分", "10", false, "ジュッ|プン"}, {U"分", "30", false, "サンジュッ|プン"},
        {U"分間", "3", false, "サン|プンカン"}, {U"分間", "5", false, "ゴ|フンカン"},
        {U"秒", "0.5", false, "レイテンゴ|ビョウ"},
        // years
        {U"年", "4", false, "ヨ|ネン"}, {U"年", "2026", false, "ニセンニジュウロク|ネン"},
        {U"年", "1994", false, "センキュウヒャクキュウジュウヨ|ネン"}, {U"年生", "1", false, "イチ|ネンセイ"},
        {U"年生", "4", false, "ヨ|ネンセイ"}, {U"年間", "4", false, "ヨ|ネンカン"},
        {U"か月", "1", false, "イッ|カゲツ"}, {U"か月", "3", false, "サン|カゲツ"}, {U"ヶ月", "6", false, "ロッ|カゲツ"},
        {U"カ月", "10", false, "ジュッ|カゲツ"}, {U"週間", "1", false, "イッ|シュウカン"},
        {U"週間", "6", false, "ロク|シュウカン"}, {U"週間", "8", false, "ハッ|シュウカン"},
        // h-row counters: ッ before ぽ, voiced after さん, せん, まん
        {U"本", "1", false, "イッ|ポン"}, {U"本", "2", false, "ニ|ホン"}, {U"本", "3", false, "サン|ボン"},
        {U"本", "4", false, "ヨン|ホン"}, {U"本", "6", false, "ロッ|ポン"}, {U"本", "8", false, "ハッ|ポン"},
        {U"本", "10", false, "ジュッ|ポン"}, {U"本", "100", false, "ヒャッ|ポン"}, {U"本", "300", false, "サンビャッ|ポン"},
        {U"本", "1000", false, "セン|ボン"}, {U"本", "3000", false, "サンゼン|ボン"}, {U"本", "10000", false, "イチマン|ボン"},
        {U"匹", "1", false, "イッ|ピキ"}, {U"匹", "3", false, "サン|ビキ"}, {U"匹", "4", false, "ヨン|ヒキ"},
        {U"匹", "6", false, "ロッ|ピキ"}, {U"杯", "1", false, "イッ|パイ"}, {U"杯", "3", false, "サン|バイ"},
        {U"杯", "4", false, "ヨン|ハイ"}, {U"杯", "8", false, "ハッ|パイ"},
        {U"泊", "1", false, "イッ|パク"}, {U"泊", "2", false, "ニ|ハク"}, {U"泊", "3", false, "サン|パク"},
        {U"泊", "4", false, "ヨン|パク"}, {U"泊", "10", false, "ジュッ|パク"},
        // k-row counters
        {U"個", "1", false, "イッ|コ"}, {U"個", "3", false, "サン|コ"}, {U"個", "6", false, "ロッ|コ"},
        {U"個", "8", false, "ハッ|コ"}, {U"個", "10", false, "ジュッ|コ"}, {U"回", "100", false, "ヒャッ|カイ"},
        {U"階", "1", false, "イッ|カイ"}, {U"階", "3", false, "サン|ガイ"}, {U"階", "6", false, "ロッ|カイ"},
        {U"件", "6", false, "ロッ|ケン"}, {U"軒", "1", false, "イッ|ケン"}, {U"軒", "3", false, "サン|ゲン"},
        {U"曲", "1", false, "イッ|キョク"},
        // s- and t-row counters: no ッ after ろく or ひゃく
        {U"歳", "1", false, "イッ|サイ"}, {U"歳", "6", false, "ロク|サイ"}, {U"歳", "8", false, "ハッ|サイ"},
        {U"歳", "10", false, "ジュッ|サイ"}, {U"歳", "20", false, "ハタチ|"}, {U"才", "20", false, "ハタチ|"},
        {U"歳", "21", false, "ニジュウイッ|サイ"}, {U"冊", "1", false, "イッ|サツ"}, {U"冊", "6", false, "ロク|サツ"},
        {U"足", "1", false, "イッ|ソク"}, {U"足", "3", false, "サン|ゾク"}, {U"点", "10", false, "ジュッ|テン"},
        {U"点", "100", false, "ヒャク|テン"}, {U"頭", "8", false, "ハッ|トウ"}, {U"通", "1", false, "イッ|ツウ"},
        {U"着", "1", false, "イッ|チャク"}, {U"社", "10", false, "ジュッ|シャ"},
        // counters that change nothing
        {U"枚", "1", false, "イチ|マイ"}, {U"枚", "4", false, "ヨン|マイ"}, {U"台", "4", false, "ヨン|ダイ"},
        {U"度", "1", false, "イチ|ド"}, {U"番", "1", false, "イチ|バン"}, {U"倍", "2.5", false, "ニテンゴ|バイ"},
        {U"号", "4", false, "ヨン|ゴウ"}, {U"位", "1", false, "イチ|イ"}, {U"名", "3", false, "サン|メイ"},
        {U"割", "3", false, "サン|ワリ"},
        {U"円", "1", false, "イチ|エン"}, {U"円", "4", false, "ヨ|エン"}, {U"円", "14", false, "ジュウヨ|エン"},
        {U"円", "10000", false, "イチマン|エン"},
        {U"つ", "1", false, "ヒトツ|"}, {U"つ", "2", false, "フタツ|"}, {U"つ", "3", false, "ミッツ|"},
        {U"つ", "4", false, "ヨッツ|"}, {U"つ", "5", false, "イツツ|"}, {U"つ", "6", false, "ムッツ|"},
        {U"つ", "7", false, "ナナツ|"}, {U"つ", "8", false, "ヤッツ|"}, {U"つ", "9", false, "ココノツ|"},
        {U"つ", "10", false, "トオ|"},
        // units
        {U"%", "1", false, "イチ|パーセント"}, {U"%", "10", false, "ジュッ|パーセント"},
        {U"%", "100", false, "ヒャク|パーセント"}, {U"cm", "10", false, "ジュッ|センチメートル"},
        {U"km", "5", false, "ゴ|キロメートル"},
    };
    for (const CountCase &c : cases) {
        const ja::Counter &counter = ja::counterNamed(c.counter);
        SCOPED_TRACE(c.number + utf8::encode(c.counter));
        ASSERT_EQ(counter.written, c.counter);
        EXPECT_EQ(said(ja::count(number(c.number), counter, c.date)), c.said);
    }
}

TEST(JapaneseCounters, CurrencySignsAreReadAfterTheNumber)
{
    const ja::Counted yen = ja::count(number("4"), *ja::currencySign(U'¥'), false);
    EXPECT_EQ(said(yen), "ヨ|エン");
    EXPECT_FALSE(yen.loanword);
    const ja::Counted dollars = ja::count(number("20"), *ja::currencySign(U'$'), false);
    EXPECT_EQ(said(dollars), "ニジュウ|ドル");
    EXPECT_TRUE(dollars.loanword);
    EXPECT_EQ(said(ja::count(number("5"), *ja::currencySign(U'€'), false)), "ゴ|ユーロ");
}

TEST(JapaneseCounters, OnlyWhereTheyApply)
{
    // つ counts only what has a word of its own: one to ten.
    const ja::Counter &tsu = ja::counterNamed(U"つ");
    for (const char *n : {"1", "5", "10"})
        EXPECT_TRUE(ja::counterApplies(tsu, number(n))) << n;
    for (const char *n : {"0", "11", "100", "1.5"})
        EXPECT_FALSE(ja::counterApplies(tsu, number(n))) << n;
    EXPECT_TRUE(ja::counterApplies(ja::counterNamed(U"本"), number("11")));
    EXPECT_TRUE(ja::counterNamed(U"分の").numberAfter);
}

TEST(JapaneseCounters, CountersOnlyMeCabKnowsTakeTheSameChanges)
{
    struct GenericCase {
        const char *number;
        const char32_t *pron;     // as MeCab gives it
        const char32_t *spelled;
        const char *said;         // number|pronunciation
        const char32_t *spelledAfter;
    };
    const GenericCase cases[] = {
        {"1", U"ショー", U"ショウ", "イッ|ショー", U"ショウ"},    // 章
        {"8", U"ショー", U"ショウ", "ハッ|ショー", U"ショウ"},
        {"6", U"ショー", U"ショウ", "ロク|ショー", U"ショウ"},
        {"6", U"カン", U"カン", "ロッ|カン", U"カン"},              // 巻
        {"3", U"カン", U"カン", "サン|カン", U"カン"},
        {"3", U"チョーメ", U"チョウメ", "サン|チョーメ", U"チョウメ"},  // 丁目
        {"1", U"ヘン", U"ヘン", "イッ|ペン", U"ペン"},              // 遍
        {"2", U"ヘン", U"ヘン", "ニ|ヘン", U"ヘン"},
        {"3", U"ヘン", U"ヘン", "サン|ベン", U"ベン"},
    };
    for (const GenericCase &c : cases) {
        SCOPED_TRACE(c.number + utf8::encode(c.pron));
        ja::Number n = number(c.number);
        std::u32string pron = c.pron, spelled = c.spelled;
        ja::genericCounter(n, pron, spelled);
        EXPECT_EQ(utf8::encode(ja::joined(n.elements)) + "|" + utf8::encode(pron), c.said);
        EXPECT_EQ(spelled, c.spelledAfter);
    }
}

TEST(JapaneseNumbers, SaidAsAnAnnouncerSaysThem)
{
    const std::pair<const char *, const char *> cases[] = {
        {"0", "ゼロ"}, {"1", "イチ"}, {"10", "ジュウ"}, {"11", "ジュウイチ"}, {"19", "ジュウキュウ"},
        {"20", "ニジュウ"}, {"100", "ヒャク"}, {"300", "サンビャク"}, {"600", "ロッピャク"}, {"800", "ハッピャク"},
        {"1000", "セン"}, {"3000", "サンゼン"}, {"8000", "ハッセン"}, {"10000", "イチマン"},
        {"11000", "イチマンセン"}, {"10000000", "イッセンマン"}, {"100000000", "イチオク"},
        {"1000000000000", "イッチョウ"}, {"6000000000000", "ロクチョウ"}, {"8000000000000", "ハッチョウ"},
        {"10000000000000000", "イッケイ"}, {"2026", "ニセンニジュウロク"},
        {"12345", "イチマンニセンサンビャクヨンジュウゴ"}, {"007", "ナナ"},
        {"0.5", "レイテンゴ"}, {"1.5", "イッテンゴ"}, {"3.14", "サンテンイチヨン"}, {"6.5", "ロクテンゴ"},
        {"8.2", "ハッテンニ"}, {"10.5", "ジュッテンゴ"}, {"100.1", "ヒャクテンイチ"},
    };
    for (const auto &[written, kana] : cases)
        EXPECT_EQ(utf8::encode(ja::joined(number(written).elements)), kana) << written;
    EXPECT_EQ(utf8::encode(ja::digitByDigit("0120")), "ゼロイチニゼロ");
    EXPECT_EQ(number("2026").value, 2026);
    EXPECT_FALSE(number("2.5").whole);
}

TEST(JapaneseNumbers, NumbersWrittenInKanji)
{
    const std::pair<const char32_t *, const char *> cases[] = {
        {U"五", "5"}, {U"〇", "0"}, {U"零", "0"}, {U"十", "10"}, {U"十一", "11"}, {U"百", "100"},
        {U"三百", "300"}, {U"二千二十六", "2026"}, {U"二〇二六", "2026"}, {U"三万五千", "35000"},
        {U"一億二千万", "120000000"},
        {U"一二三", ""},  // a list of digits, not one number
    };
    for (const auto &[written, value] : cases)
        EXPECT_EQ(ja::kanjiNumber(written), value) << utf8::encode(written);
}
