// The lines of lexicon.txt: how one is read, which lines setting an entry
// replaces, and what may not be written as a line.
#include "LexiconLine.h"
#include "TextUtf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace textrules;
using Kind = lexicon::Line::Kind;

namespace {

std::string join(const std::vector<std::string> &s)
{
    std::string out;
    for (const std::string &x : s)
        out += (out.empty() ? "" : " ") + x;
    return out;
}

TEST(LexiconLine, TrimTable)
{
    const struct {
        const char *text;
        const char *trimmed;
    } cases[] = {
        {"  重庆 ", "重庆"},
        {"\t重庆\r", "重庆"},
        {"\xE3\x80\x80重庆\xE3\x80\x80 ", "重庆"},  // ideographic spaces
        {"重 庆", "重 庆"},                         // inside stays
        {"\xC2\xA0重庆", "\xC2\xA0重庆"},           // a no-break space is no blank here
        {" \t\xE3\x80\x80", ""},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(lexicon::trim(c.text), c.trimmed);
    }
}

TEST(LexiconLine, ParseLineTable)
{
    const struct {
        const char *line;
        Kind kind;
        const char *word;
        bool kana;
        const char *detail;  // syllables, kana, or the reason
    } cases[] = {
        {"重庆\tchong2 qing4", Kind::Entry, "重庆", false, "chong2 qing4"},
        {"重庆\tchóng qìng", Kind::Entry, "重庆", false, "chong2 qing4"},
        {"重庆\tchong2qing4", Kind::Entry, "重庆", false, "chong2 qing4"},
        {"  重庆 \t  chong2 qing4  ", Kind::Entry, "重庆", false, "chong2 qing4"},
        {"\xE3\x80\x80重庆\tchong2 qing4\xE3\x80\x80", Kind::Entry, "重庆", false, "chong2 qing4"},
        {"一点儿\tyi4 dianr3", Kind::Entry, "一点儿", false, "yi4 dianr3"},
        {"一点儿\tyi4 dian3 er5", Kind::Entry, "一点儿", false, "yi4 dian3 er5"},
        {"哪兒\tnar3", Kind::Entry, "哪兒", false, "nar3"},
        {"卡拉OK\tka3 la1", Kind::Entry, "卡拉OK", false, "ka3 la1"},
        {"东京\tとうきょう", Kind::Entry, "东京", true, "とうきょう"},
        {"東京\tトウキョウ", Kind::Entry, "東京", true, "トウキョウ"},
        {"ラーメン\tらーめん", Kind::Entry, "ラーメン", true, "らーめん"},
        {"Sayora\tさよら", Kind::Entry, "Sayora", true, "さよら"},
        {"# 重庆\tchong2 qing4", Kind::Comment, "", false, ""},
        {"   # a comment", Kind::Comment, "", false, ""},
        {"", Kind::Blank, "", false, ""},
        {" \t ", Kind::Blank, "", false, ""},
        {"重庆\tchong2", Kind::Bad, "重庆", false, "读音有 1 个音节，但词有 2 个汉字"},
        {"重庆\tchong2 qing4 shi4", Kind::Bad, "重庆", false, "读音有 3 个音节，但词有 2 个汉字"},
        {"点\tdianr3", Kind::Bad, "点", false, "儿化音节 dianr3 后面应是“儿”字"},
        {"点心\tdianr3", Kind::Bad, "点心", false, "儿化音节 dianr3 后面应是“儿”字"},
        {"一点儿\tyi4 dianr3 er2", Kind::Bad, "一点儿", false, "读音有 3 个音节，但词有 3 个汉字"},
        {"重庆", Kind::Bad, "", false, "缺少制表符：每行应为“词<Tab>读音”"},
        {"重庆 chong2 qing4", Kind::Bad, "", false, "缺少制表符：每行应为“词<Tab>读音”"},
        {"\tchong2", Kind::Bad, "", false, "词为空"},
        {"重庆\t", Kind::Bad, "重庆", false, "读音为空"},
        {"重庆\tchong7 qing4", Kind::Bad, "重庆", false, "声调必须是 1 到 5：chong7"},
        {"重庆\tchong2 qxz4", Kind::Bad, "重庆", false, "无法识别的拼音：qxz4"},
        {"重庆\t重慶", Kind::Bad, "重庆", false, "无法识别的拼音：重慶"},
        {"东京\tとうkyo", Kind::Bad, "东京", true, "假名读音只能包含平假名、片假名和“ー”：k"},
        {"东京\tとう きょう", Kind::Bad, "东京", true, "假名读音只能包含平假名、片假名和“ー”： "},
        {"hello\tha1 lou2", Kind::Bad, "hello", false, "词中没有汉字，拼音读音只用于中文词语"},
        {"\xFF\xFE\tma1", Kind::Bad, "", false, "不是有效的 UTF-8 文本"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const lexicon::Line line = lexicon::parseLine(c.line);
        EXPECT_EQ(line.kind, c.kind);
        EXPECT_EQ(line.word, c.word);
        EXPECT_EQ(line.kana, c.kana);
        if (c.kind == Kind::Entry && !c.kana) {
            EXPECT_EQ(join(line.syllables), c.detail);
        } else if (c.kind == Kind::Entry) {
            EXPECT_EQ(line.reading, c.detail);
            EXPECT_TRUE(line.syllables.empty());
        } else {
            EXPECT_EQ(line.reason, c.detail);
        }
        if (c.kind != Kind::Bad) {
            EXPECT_EQ(line.reason, "");
        }
    }
}

TEST(LexiconLine, KanaFaultTable)
{
    const struct {
        const char32_t *reading;
        const char *fault;
    } cases[] = {
        {U"とうきょう", ""},
        {U"トーキョー", ""},
        {U"ゝゞヽヾ", ""},
        {U"", "读音为空"},
        {U"tokyo", "假名读音只能包含平假名、片假名和“ー”：t"},
        {U"とう京", "假名读音只能包含平假名、片假名和“ー”：京"},  // the first that is no kana
        {U"ｱｲ", "假名读音只能包含平假名、片假名和“ー”：ｱ"},      // half-width katakana are not taken
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(utf8::encode(c.reading));
        EXPECT_EQ(lexicon::kanaFault(c.reading), c.fault);
    }
}

// Setting an entry touches only the lines for its word; the rest of the
// file, the user's, stays byte for byte.
TEST(LexiconLine, WithEntryTable)
{
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char *name;
        std::string before;
        const char *word;
        const char *reading;
        std::string after;
    } cases[] = {
        {"empty file", "", "重庆", "zhong4 qing4", "重庆\tzhong4 qing4\n"},
        {"replace, the rest byte for byte",
         bom + "# 我的读音  \r\n重庆\tchong2 qing4\r\n\r\n长大\tzhang3 da4\r\n#end", "重庆", "zhong4 qing4",
         bom + "# 我的读音  \r\n重庆\tzhong4 qing4\r\n\r\n长大\tzhang3 da4\r\n#end"},
        {"replace the first, drop later ones",
         "a\tb\n行长\txing2 zhang3\n# keep\n行长\thang2 zhang3\n  行长 \thang2\n", "行长", "háng zhǎng",
         "a\tb\n行长\tháng zhǎng\n# keep\n"},
        {"a bad line for the word is replaced", "重庆\tchong7 qing4\n", "重庆", "chong2 qing4",
         "重庆\tchong2 qing4\n"},
        {"the last line, which has no line end", "x\ty\n重庆\tchong2 qing4", "重庆", "zhong4 qing4",
         "x\ty\n重庆\tzhong4 qing4"},
        {"a comment naming the word is kept", "#重庆\tchong2 qing4\n", "重庆", "zhong4 qing4",
         "#重庆\tchong2 qing4\n重庆\tzhong4 qing4\n"},
        {"a longer word is kept", "重庆市\tchong2 qing4 shi4\n", "重庆", "zhong4 qing4",
         "重庆市\tchong2 qing4 shi4\n重庆\tzhong4 qing4\n"},
        {"kana does not replace the pinyin of the same word", "東京\tdong1 jing1\n", "東京", "とうきょう",
         "東京\tdong1 jing1\n東京\tとうきょう\n"},
        {"kana replaces kana", "東京\tdong1 jing1\n東京\tとうきょう\n", "東京", "トーキョー",
         "東京\tdong1 jing1\n東京\tトーキョー\n"},
        {"append", "重庆\tchong2 qing4\n", "一点儿", "yi4 dianr3", "重庆\tchong2 qing4\n一点儿\tyi4 dianr3\n"},
        {"append after a last line without line end", "重庆\tchong2 qing4", "东京", "とうきょう",
         "重庆\tchong2 qing4\n东京\tとうきょう\n"},
        {"append in the file's own line ends", "重庆\tchong2 qing4\r\n", "东京", "とうきょう",
         "重庆\tchong2 qing4\r\n东京\tとうきょう\r\n"},
        {"a file that is only a BOM", bom, "东京", "とうきょう", bom + "东京\tとうきょう\n"},
        {"blanks around word and reading go", "", " 重庆\xE3\x80\x80", " chong2 qing4 ", "重庆\tchong2 qing4\n"},
        {"lines that are not UTF-8 stay", "\xFF\xFE\n   \n\t\n#\n银行 yin2 hang2\n", "重庆", "zhong4 qing4",
         "\xFF\xFE\n   \n\t\n#\n银行 yin2 hang2\n重庆\tzhong4 qing4\n"},
        {"a broken reading for the word is replaced", "重庆\tchong2 \xFF\n", "重庆", "zhong4 qing4",
         "重庆\tzhong4 qing4\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string after = lexicon::withEntry(c.before, c.word, c.reading);
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(lexicon::withEntry(after, c.word, c.reading), after) << "setting it again changes nothing";
    }
}

TEST(LexiconLine, RefusalTable)
{
    const struct {
        const char *word;
        const char *reading;
        const char *refusal;
    } cases[] = {
        {"重庆", "zhong4 qing4", ""},
        {"重庆", "chóng qìng", ""},
        {"东京", "とうきょう", ""},
        {"重\t庆", "chong2 qing4", "词和读音中不能有制表符或换行"},
        {"重\n庆", "chong2 qing4", "词和读音中不能有制表符或换行"},
        {"重庆", "chong2\r\nqing4", "词和读音中不能有制表符或换行"},
        {"", "chong2", "词和读音都不能为空"},
        {" \xE3\x80\x80 ", "chong2", "词和读音都不能为空"},
        {"重庆", "  ", "词和读音都不能为空"},
        {"#重庆", "chong2 qing4", "词不能以“#”开头，那样的行是注释"},
        {" #重庆", "chong2 qing4", "词不能以“#”开头，那样的行是注释"},
        // what the service would skip is not written either
        {"重庆", "chong2", "读音有 1 个音节，但词有 2 个汉字"},
        {"重庆", "chong7 qing4", "声调必须是 1 到 5：chong7"},
        {"重庆", "xyz3 qing4", "无法识别的拼音：xyz3"},
        {"东京", "とうkyo", "假名读音只能包含平假名、片假名和“ー”：k"},
        {"hello", "ha1 lou2", "词中没有汉字，拼音读音只用于中文词语"},
        {"重庆", "\xFF", "不是有效的 UTF-8 文本"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.word) + " / " + c.reading);
        EXPECT_EQ(lexicon::refusal(c.word, c.reading), c.refusal);
    }
}

// Whatever the writer lets through, the reader takes as an entry for the word.
TEST(LexiconLine, WrittenLinesReadBackAsTheirEntry)
{
    const struct {
        const char *word;
        const char *reading;
    } cases[] = {
        {"重庆", " chóng qìng "}, {"一点儿", "yi4 dianr3"}, {"\xE3\x80\x80东京", "とうきょう"}, {"卡拉OK", "ka3 la1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.word);
        ASSERT_EQ(lexicon::refusal(c.word, c.reading), "");
        std::string content = lexicon::withEntry("", c.word, c.reading);
        ASSERT_FALSE(content.empty());
        ASSERT_EQ(content.back(), '\n');
        content.pop_back();
        const lexicon::Line line = lexicon::parseLine(content);
        EXPECT_EQ(line.kind, Kind::Entry) << line.reason;
        EXPECT_EQ(line.word, lexicon::trim(c.word));
    }
}

}  // namespace
