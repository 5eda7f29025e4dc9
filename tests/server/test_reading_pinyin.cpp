// Pinyin syllables as users write them, and the user's lexicon.txt: parsing,
// picking up changes on disk, and the "save reading" writer.
#include "PinyinSyllables.h"
#include "UserLexicon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tavrel::reading;
using Syllables = std::vector<std::string>;

namespace {

std::string join(const Syllables &s)
{
    std::string out;
    for (const std::string &x : s)
        out += (out.empty() ? "" : " ") + x;
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
        auto got = pinyin::parseReading(c.input, &error);
        ASSERT_TRUE(got.has_value()) << error;
        EXPECT_EQ(join(*got), c.expected);
        EXPECT_EQ(error, "");
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
        EXPECT_EQ(pinyin::parseReading(c.input, &error), std::nullopt);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(pinyin::parseReading(c.input), std::nullopt) << "without an error string";
    }
}

// ---- lexicon.txt ---------------------------------------------------------

TEST(LexiconParse, OneLineTable)
{
    enum Kind { Mandarin, Japanese, Skipped, Problem };
    const struct {
        const char *line;
        Kind kind;
        const char *detail;  // syllables, kana, or a piece of the reason
    } cases[] = {
        {"重庆\tchong2 qing4", Mandarin, "chong2 qing4"},
        {"重庆\tchóng qìng", Mandarin, "chong2 qing4"},
        {"重庆\tchong2qing4", Mandarin, "chong2 qing4"},
        {"  重庆 \t  chong2 qing4  ", Mandarin, "chong2 qing4"},
        {"一点儿\tyi4 dianr3", Mandarin, "yi4 dianr3"},
        {"一点儿\tyi4 dian3 er5", Mandarin, "yi4 dian3 er5"},
        {"哪兒\tnar3", Mandarin, "nar3"},
        {"卡拉OK\tka3 la1", Mandarin, "ka3 la1"},
        {"东京\tとうきょう", Japanese, "とうきょう"},
        {"東京\tトウキョウ", Japanese, "トウキョウ"},
        {"ラーメン\tらーめん", Japanese, "らーめん"},
        {"Sayora\tさよら", Japanese, "さよら"},
        {"# 重庆\tchong2 qing4", Skipped, ""},
        {"   # a comment", Skipped, ""},
        {"", Skipped, ""},
        {" \t ", Skipped, ""},
        {"重庆\tchong2", Problem, "1 个音节，但词有 2 个汉字"},
        {"重庆\tchong2 qing4 shi4", Problem, "3 个音节，但词有 2 个汉字"},
        {"点\tdianr3", Problem, "儿化音节 dianr3 后面应是“儿”字"},
        {"点心\tdianr3", Problem, "儿化音节 dianr3"},
        {"一点儿\tyi4 dianr3 er2", Problem, "个音节"},
        {"重庆", Problem, "缺少制表符"},
        {"重庆 chong2 qing4", Problem, "缺少制表符"},
        {"\tchong2", Problem, "词为空"},
        {"重庆\t", Problem, "读音为空"},
        {"重庆\tchong7 qing4", Problem, "声调必须是 1 到 5：chong7"},
        {"重庆\tchong2 qxz4", Problem, "无法识别的拼音：qxz4"},
        {"重庆\t重慶", Problem, "无法识别的拼音"},
        {"东京\tとうkyo", Problem, "假名读音只能包含平假名、片假名和“ー”：k"},
        {"东京\tとう きょう", Problem, "假名读音只能包含"},
        {"hello\tha1 lou2", Problem, "词中没有汉字"},
        {"\xFF\xFE\tma1", Problem, "UTF-8"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        ParsedLexicon p = parseLexicon(c.line);
        switch (c.kind) {
        case Mandarin: {
            ASSERT_EQ(p.mandarin.size(), 1u);
            EXPECT_TRUE(p.japanese.empty());
            EXPECT_TRUE(p.problems.empty()) << p.problems[0].reason;
            const LexiconEntry &e = p.mandarin.begin()->second;
            EXPECT_EQ(e.word, p.mandarin.begin()->first);
            EXPECT_EQ(join(e.syllables), c.detail);
            EXPECT_EQ(e.kana, "");
            break;
        }
        case Japanese: {
            ASSERT_EQ(p.japanese.size(), 1u);
            EXPECT_TRUE(p.mandarin.empty());
            EXPECT_TRUE(p.problems.empty()) << p.problems[0].reason;
            const LexiconEntry &e = p.japanese.begin()->second;
            EXPECT_EQ(e.kana, c.detail);
            EXPECT_TRUE(e.syllables.empty());
            break;
        }
        case Skipped:
            EXPECT_TRUE(p.mandarin.empty());
            EXPECT_TRUE(p.japanese.empty());
            EXPECT_TRUE(p.problems.empty());
            break;
        case Problem:
            EXPECT_TRUE(p.mandarin.empty());
            EXPECT_TRUE(p.japanese.empty());
            ASSERT_EQ(p.problems.size(), 1u);
            EXPECT_EQ(p.problems[0].line, 1);
            EXPECT_NE(p.problems[0].reason.find(c.detail), std::string::npos)
                << p.problems[0].reason;
            break;
        }
    }
}

TEST(LexiconParse, WholeFileWithBomCrlfCommentsAndBadLines)
{
    const std::string text =
        "\xEF\xBB\xBF# 我的读音\r\n"          // 1
        "重庆\tchong2 qing4\r\n"              // 2
        "\r\n"                                // 3
        "长大\tzhang3\r\n"                    // 4: one syllable short
        "东京\tとうきょう\r\n"                // 5
        "東京\tdong1 jing1\n"                 // 6: the same word in both lists
        "行长\txing2 zhang3\n"                // 7
        "no tab here\n"                       // 8
        "行长\thang2 zhang3\n"                // 9: a later line wins
        "音乐\tyin1 yue7";                    // 10: no line end at the end
    ParsedLexicon p = parseLexicon(text);

    ASSERT_EQ(p.problems.size(), 3u);
    EXPECT_EQ(p.problems[0].line, 4);
    EXPECT_EQ(p.problems[1].line, 8);
    EXPECT_EQ(p.problems[2].line, 10);
    EXPECT_EQ(p.problems[2].reason, "声调必须是 1 到 5：yue7");

    ASSERT_EQ(p.mandarin.size(), 3u);
    EXPECT_EQ(join(p.mandarin.at("重庆").syllables), "chong2 qing4");
    EXPECT_EQ(join(p.mandarin.at("東京").syllables), "dong1 jing1");
    EXPECT_EQ(join(p.mandarin.at("行长").syllables), "hang2 zhang3");
    ASSERT_EQ(p.japanese.size(), 1u);
    EXPECT_EQ(p.japanese.at("东京").kana, "とうきょう");
    EXPECT_EQ(p.longestWord, 2u);
}

TEST(LexiconParse, LongestWordCountsCodePointsOfBothLists)
{
    const struct {
        const char *text;
        std::size_t longest;
    } cases[] = {
        {"", 0},
        {"# only a comment\n", 0},
        {"重庆\tchong2 qing4\n", 2},
        {"重庆\tchong2 qing4\nラーメン屋\tらーめんや\n", 5},
        {"中华人民共和国\tzhong1 hua2 ren2 min2 gong4 he2 guo2\n东京\tとうきょう\n", 7},
        {"重庆\tchong2\n", 0},  // a refused line does not count
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseLexicon(c.text).longestWord, c.longest);
    }
}

// ---- the file on disk ----------------------------------------------------

std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path &p, const std::string &text)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

// Same second, given nanoseconds: an edit the clock alone would not tell apart.
void setMtime(const fs::path &p, long sec, long nsec)
{
    struct timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

class LexiconFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "tavrel-lexicon-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        file = dir / "lexicon.txt";
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(file, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::vector<std::string> folderNames() const
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    UserLexicon make(std::chrono::milliseconds interval = std::chrono::milliseconds(0))
    {
        return UserLexicon(file, [this](const std::string &l) { log.push_back(l); }, interval);
    }

    fs::path dir, file;
    std::vector<std::string> log;
};

std::string readingOf(const std::shared_ptr<const ParsedLexicon> &p, const std::string &word)
{
    auto it = p->mandarin.find(word);
    return it == p->mandarin.end() ? "" : join(it->second.syllables);
}

TEST_F(LexiconFileTest, MissingFileIsEmptyAndQuiet)
{
    auto lex = make();
    auto p = lex.current();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->mandarin.empty());
    EXPECT_TRUE(p->japanese.empty());
    EXPECT_TRUE(p->problems.empty());
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(lex.path(), file);
}

TEST_F(LexiconFileTest, FollowsTheFileThroughItsLife)
{
    auto lex = make();
    EXPECT_TRUE(lex.current()->mandarin.empty());

    writeFile(file, "重庆\tchong2 qing4\n");
    setMtime(file, 1700000000, 100);
    auto first = lex.current();
    EXPECT_EQ(readingOf(first, "重庆"), "chong2 qing4") << "created later";

    // Rewritten in place: same size, same second, same inode.
    writeFile(file, "重庆\tzhong4 qing4\n");
    setMtime(file, 1700000000, 200);
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "zhong4 qing4") << "same-second edit";
    EXPECT_EQ(readingOf(first, "重庆"), "chong2 qing4") << "a snapshot handed out stays as it was";

    // Replaced by rename, the way editors save, even with the old timestamp.
    const fs::path temp = dir / "lexicon.txt~";
    writeFile(temp, "重庆\tchong1 qing4\n");
    setMtime(temp, 1700000000, 200);
    fs::rename(temp, file);
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "chong1 qing4") << "replaced by rename";

    fs::remove(file);
    EXPECT_TRUE(lex.current()->mandarin.empty()) << "deleted";
    EXPECT_TRUE(log.empty());
}

TEST_F(LexiconFileTest, LooksAtTheFileOnlyOncePerInterval)
{
    auto lex = make(std::chrono::hours(1));
    writeFile(file, "重庆\tchong2 qing4\n");
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "chong2 qing4");
    writeFile(file, "重庆\tzhong4 qing4 \n");
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "chong2 qing4") << "checked again too soon";
}

TEST_F(LexiconFileTest, UnreadableFileIsEmpty)
{
    const struct {
        const char *name;
        bool directory;  // else: a file without read permission
    } cases[] = {{"no read permission", false}, {"a folder by that name", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ec;
        fs::permissions(file, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(file, ec);
        log.clear();
        if (c.directory) {
            fs::create_directory(file);
        } else {
            writeFile(file, "重庆\tchong2 qing4\n");
            ::chmod(file.c_str(), 0);
            if (::access(file.c_str(), R_OK) == 0) {
                std::cout << "[  NOTE    ] running as root, which reads any file: "
                             "the no-permission case is not checked\n";
                continue;
            }
        }
        auto lex = make();
        auto p = lex.current();
        EXPECT_TRUE(p->mandarin.empty());
        EXPECT_TRUE(p->problems.empty());
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind("lexicon.txt: ", 0), 0u) << log[0];
        lex.current();
        EXPECT_EQ(log.size(), 1u) << "said once, not on every request";
    }
}

TEST_F(LexiconFileTest, LogsBadLinesOncePerLoad)
{
    writeFile(file, "# mine\n重庆\tchong2\n东京\tとうきょう\nab\n");
    auto lex = make();
    auto p = lex.current();
    EXPECT_EQ(p->japanese.size(), 1u);
    const std::vector<std::string> expected = {
        "lexicon.txt:2: 读音有 1 个音节，但词有 2 个汉字",
        "lexicon.txt:4: 缺少制表符：每行应为“词<Tab>读音”",
    };
    EXPECT_EQ(log, expected);
    lex.current();
    lex.current();
    EXPECT_EQ(log, expected) << "unchanged file, no new messages";

    writeFile(file, "重庆\tchong2\n");
    setMtime(file, 1700000001, 0);
    lex.current();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2], "lexicon.txt:1: 读音有 1 个音节，但词有 2 个汉字");
}

TEST_F(LexiconFileTest, ManyThreadsReadWhileTheFileChanges)
{
    auto lex = make();
    const std::string versions[] = {"重庆\tchong2 qing4\n", "重庆\tzhong4 qing4\n"};
    writeFile(file, versions[0]);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&] {
            while (!stop) {
                std::string r = readingOf(lex.current(), "重庆");
                if (r != "chong2 qing4" && r != "zhong4 qing4")
                    ++bad;
            }
        });
    for (int i = 0; i < 60; ++i) {
        std::string err;
        ASSERT_TRUE(writeEntry(file, "重庆", i % 2 ? "chong2 qing4" : "zhong4 qing4", err)) << err;
    }
    stop = true;
    for (auto &t : readers)
        t.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "chong2 qing4");
}

// ---- save reading --------------------------------------------------------

TEST_F(LexiconFileTest, WriteEntryEditsOnlyItsOwnLine)
{
    const struct {
        const char *name;
        std::string before;
        bool exists;  // else there is no file before the write
        const char *word;
        const char *reading;
        std::string after;
    } cases[] = {
        {"replace, the rest byte for byte",
         "\xEF\xBB\xBF# 我的读音  \r\n重庆\tchong2 qing4\r\n\r\n长大\tzhang3 da4\r\n#end",
         true, "重庆", "zhong4 qing4",
         "\xEF\xBB\xBF# 我的读音  \r\n重庆\tzhong4 qing4\r\n\r\n长大\tzhang3 da4\r\n#end"},
        {"replace the first, drop later ones",
         "a\tb\n行长\txing2 zhang3\n# keep\n行长\thang2 zhang3\n  行长 \thang2\n",
         true, "行长", "háng zhǎng",
         "a\tb\n行长\tháng zhǎng\n# keep\n"},
        {"replace a bad line for the word",
         "重庆\tchong7 qing4\n", true, "重庆", "chong2 qing4", "重庆\tchong2 qing4\n"},
        {"replace the last line, which has no line end",
         "x\ty\n重庆\tchong2 qing4", true, "重庆", "zhong4 qing4", "x\ty\n重庆\tzhong4 qing4"},
        {"a comment naming the word is kept",
         "#重庆\tchong2 qing4\n", true, "重庆", "zhong4 qing4",
         "#重庆\tchong2 qing4\n重庆\tzhong4 qing4\n"},
        {"kana does not replace the pinyin of the same word",
         "東京\tdong1 jing1\n", true, "東京", "とうきょう", "東京\tdong1 jing1\n東京\tとうきょう\n"},
        {"append", "重庆\tchong2 qing4\n", true, "一点儿", "yi4 dianr3",
         "重庆\tchong2 qing4\n一点儿\tyi4 dianr3\n"},
        {"append after a last line without line end", "重庆\tchong2 qing4", true, "东京",
         "とうきょう", "重庆\tchong2 qing4\n东京\tとうきょう\n"},
        {"append in the file's own line ends", "重庆\tchong2 qing4\r\n", true, "东京",
         "とうきょう", "重庆\tchong2 qing4\r\n东京\tとうきょう\r\n"},
        {"append to a file that is only a BOM", "\xEF\xBB\xBF", true, "东京", "とうきょう",
         "\xEF\xBB\xBF东京\tとうきょう\n"},
        {"no file yet", "", false, "重庆", " chong2 qing4 ", "重庆\tchong2 qing4\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ec;
        fs::remove(file, ec);
        if (c.exists)
            writeFile(file, c.before);
        std::string error = "stale";
        ASSERT_TRUE(writeEntry(file, c.word, c.reading, error)) << error;
        EXPECT_EQ(error, "");
        EXPECT_EQ(readFile(file), c.after);
        EXPECT_EQ(folderNames(), std::vector<std::string>{"lexicon.txt"}) << "no temporary left";
        ParsedLexicon parsed = parseLexicon(readFile(file));
        EXPECT_TRUE(parsed.mandarin.count(c.word) || parsed.japanese.count(c.word));
    }
}

TEST_F(LexiconFileTest, WriteEntryRefusesWhatTheParserWouldAndWritesNothing)
{
    const struct {
        const char *word;
        const char *reading;
        const char *error;  // a piece of it
    } cases[] = {
        {"重庆", "chong2", "1 个音节，但词有 2 个汉字"},
        {"重庆", "chong7 qing4", "声调必须是 1 到 5：chong7"},
        {"重庆", "xyz3 qing4", "无法识别的拼音：xyz3"},
        {"重庆", "", "读音为空"},
        {"", "chong2", "词为空"},
        {"  ", "chong2", "词为空"},
        {"东京", "とうkyo", "假名读音只能包含"},
        {"hello", "ha1 lou2", "词中没有汉字"},
        {"#重庆", "chong2 qing4", "注释"},
        {"重\n庆", "chong2 qing4", "换行符"},
        {"重庆", "chong2\r\nqing4", "换行符"},
        {"重\t庆", "chong2 qing4", "制表符"},
        {"重庆", "\xFF", "UTF-8"},
    };
    const std::string before = "# 我的读音\r\n重庆\tchong2 qing4";
    for (bool exists : {true, false})
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.word) + " / " + c.reading + (exists ? "" : " (no file)"));
            std::error_code ec;
            fs::remove(file, ec);
            if (exists)
                writeFile(file, before);
            std::string error;
            EXPECT_FALSE(writeEntry(file, c.word, c.reading, error));
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            if (exists) {
                EXPECT_EQ(readFile(file), before);
                EXPECT_EQ(folderNames(), std::vector<std::string>{"lexicon.txt"});
            } else {
                EXPECT_TRUE(folderNames().empty());
            }
        }
}

TEST_F(LexiconFileTest, WriteEntryReplacesTheFileInsteadOfRewritingIt)
{
    const std::string before = "重庆\tchong2 qing4\n";
    writeFile(file, before);
    ::chmod(file.c_str(), 0640);
    // A second name for the old file: if it were truncated and rewritten in
    // place, this one would change too.
    const fs::path old = dir / "old-name";
    fs::create_hard_link(file, old);

    std::string error;
    ASSERT_TRUE(writeEntry(file, "重庆", "zhong4 qing4", error)) << error;
    EXPECT_EQ(readFile(old), before);
    EXPECT_EQ(readFile(file), "重庆\tzhong4 qing4\n");
    struct stat a, b;
    ASSERT_EQ(::stat(file.c_str(), &a), 0);
    ASSERT_EQ(::stat(old.c_str(), &b), 0);
    EXPECT_NE(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_mode & 07777, 0640u) << "keeps the file's permissions";
    EXPECT_EQ(folderNames(), (std::vector<std::string>{"lexicon.txt", "old-name"}));
}

TEST_F(LexiconFileTest, WriteEntryKeepsALinkALink)
{
    fs::create_directory(dir / "real");
    const fs::path real = dir / "real" / "lexicon.txt";
    writeFile(real, "重庆\tchong2 qing4\n");
    fs::create_symlink(real, file);
    std::string error;
    ASSERT_TRUE(writeEntry(file, "重庆", "zhong4 qing4", error)) << error;
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(readFile(real), "重庆\tzhong4 qing4\n");
}

TEST_F(LexiconFileTest, WrittenEntryIsPickedUp)
{
    auto lex = make();
    std::string error;
    ASSERT_TRUE(writeEntry(file, "重庆", "chóng qìng", error)) << error;
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "chong2 qing4");
    ASSERT_TRUE(writeEntry(file, "重庆", "zhong4 qing4", error)) << error;
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "zhong4 qing4");
}

}  // namespace
