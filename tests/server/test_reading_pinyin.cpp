// The user's lexicon.txt in the service: the whole file read into its lists,
// and picking up changes on disk. Syllables and single lines are the text
// rules' (tests/textrules).
#include "LexiconLine.h"
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

// ---- lexicon.txt ---------------------------------------------------------

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

// Sets an entry the way the program's "save reading" does: the text rules
// set the line, and the new file is written beside the old one and renamed
// over it.
void saveEntry(const fs::path &file, const std::string &word, const std::string &reading)
{
    const std::string before = fs::exists(file) ? readFile(file) : std::string();
    const fs::path temp = file.parent_path() / ".lexicon.txt.saving";
    writeFile(temp, textrules::lexicon::withEntry(before, word, reading));
    fs::rename(temp, file);
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
    for (int i = 0; i < 60; ++i)
        saveEntry(file, "重庆", i % 2 ? "chong2 qing4" : "zhong4 qing4");
    stop = true;
    for (auto &t : readers)
        t.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "chong2 qing4");
}

TEST_F(LexiconFileTest, SavedEntryIsPickedUp)
{
    auto lex = make();
    saveEntry(file, "重庆", "chóng qìng");
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "chong2 qing4");
    saveEntry(file, "重庆", "zhong4 qing4");
    EXPECT_EQ(readingOf(lex.current(), "重庆"), "zhong4 qing4");
}

}  // namespace
