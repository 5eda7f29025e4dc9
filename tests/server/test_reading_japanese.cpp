// Japanese readings: words by their pronunciation, particles as said,
// numbers and counters as an announcer reads them, Latin words for the
// English voice, and the origin each engine character keeps. The expected
// kana are how the sentences are read in standard Japanese.
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
