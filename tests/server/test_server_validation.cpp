// Field checks of the service: form decoding, percent fields, the pause,
// the "?" list, and paths that must stay inside <working folder>/audio/.
#include "RequestValidation.h"
#include "ServerTestSupport.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tavrel;
using namespace tavrel::test;

struct FormCase {
    const char *body;
    bool valid;
    std::map<std::string, std::string> expected;
};

class FormParsing : public ::testing::TestWithParam<FormCase> {};

TEST_P(FormParsing, DecodesOrRejects)
{
    const FormCase &c = GetParam();
    auto form = parseForm(c.body);
    ASSERT_EQ(form.has_value(), c.valid) << c.body;
    if (c.valid) {
        EXPECT_EQ(*form, c.expected) << c.body;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, FormParsing,
    ::testing::Values(
        FormCase{"", true, {}},
        FormCase{"rates=%2B0%25&volumes=-25%25", true, {{"rates", "+0%"}, {"volumes", "-25%"}}},
        FormCase{"text=a+b%20c", true, {{"text", "a b c"}}},
        FormCase{"text=%E4%BD%A0%E5%A5%BD", true, {{"text", "你好"}}},
        FormCase{"a=1&a=2", true, {{"a", "1"}}},                   // first value wins
        FormCase{"flag&x=", true, {{"flag", ""}, {"x", ""}}},
        FormCase{"&&k=v&", true, {{"k", "v"}}},
        FormCase{"k=a=b", true, {{"k", "a=b"}}},
        FormCase{"k=%2", false, {}},                              // truncated escape
        FormCase{"k=%", false, {}},
        FormCase{"k=%zz", false, {}},
        FormCase{"%G0=1", false, {}},
        FormCase{"k=%00", true, {{"k", std::string(1, '\0')}}}));

struct PercentCase {
    const char *text;
    std::optional<int> expected;
};

class PercentFields : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentFields, AcceptsOnlySignNumberPercent)
{
    EXPECT_EQ(parsePercent(GetParam().text, -100, 200), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PercentFields,
    ::testing::Values(PercentCase{"+0%", 0}, PercentCase{"-0%", 0}, PercentCase{"-25%", -25},
                      PercentCase{"+100%", 100}, PercentCase{"+200%", 200}, PercentCase{"-100%", -100},
                      PercentCase{"+201%", std::nullopt}, PercentCase{"-101%", std::nullopt},
                      PercentCase{"0%", std::nullopt}, PercentCase{"+10", std::nullopt},
                      PercentCase{"+%", std::nullopt}, PercentCase{"+1000%", std::nullopt},
                      PercentCase{"+1a%", std::nullopt}, PercentCase{"", std::nullopt},
                      PercentCase{" +5%", std::nullopt}, PercentCase{"+5%%", std::nullopt}));

TEST(PauseField, AcceptsMillisecondsWithinRange)
{
    EXPECT_EQ(parsePause("0"), 0);
    EXPECT_EQ(parsePause("1500"), 1500);
    EXPECT_EQ(parsePause("60000"), 60000);
    for (const char *bad : {"", "-1", "60001", "1.5", "abc", "1500ms", "9999999999", " 1"})
        EXPECT_FALSE(parsePause(bad).has_value()) << bad;
}

TEST(AudioList, SplitsAtQuestionMarksAndDropsEmptyEntries)
{
    EXPECT_EQ(splitAudioList("/a/1.mp3?/a/2.mp3?"), (std::vector<std::string>{"/a/1.mp3", "/a/2.mp3"}));
    EXPECT_EQ(splitAudioList("?" "?/a/1.mp3?" "?"), (std::vector<std::string>{"/a/1.mp3"}));
    EXPECT_TRUE(splitAudioList("").empty());
    EXPECT_TRUE(splitAudioList("???").empty());
}

// Paths: judged on their resolved form. "ok" means accepted (for reads:
// accepted and present), "missing" accepted but absent, else the Chinese
// message must be given.
class Paths : public ::testing::Test {
protected:
    void SetUp() override
    {
        outside = work.path() / "outside";
        fs::create_directories(outside);
        writeFile(outside / "secret.mp3", "x");
        writeFile(work.job() / "1.mp3", "x");
        writeFile(work.job() / "notes.txt", "x");
        fs::create_directory_symlink(outside, work.job() / "escape");
        fs::create_symlink(outside / "secret.mp3", work.job() / "link.mp3");
        fs::create_symlink(work.job() / "1.mp3", work.job() / "inner.mp3");
        fs::create_symlink(outside / "gone.mp3", work.job() / "dangling.mp3");
        writeFile(work.job() / "plainfile", "x");
    }
    TempWorkDir work;
    fs::path outside;
    PathGuard guard{work.path()};
};

TEST_F(Paths, WriteTargetsMustResolveInsideTheAudioFolder)
{
    const std::string job = work.job().string();
    const std::string audio = work.audio().string();
    struct Case {
        std::string raw;
        bool ok;
    } cases[] = {
        {job + "/2.mp3", true},
        {job + "/../2.mp3", true},                    // still inside audio/
        {audio + "/top.mp3", true},
        {job + "/../../2.mp3", false},                // the working folder itself
        {job + "/../../../x.mp3", false},
        {job + "/escape/2.mp3", false},               // through a folder link
        {outside.string() + "/2.mp3", false},
        {"/tmp/2.mp3", false},
        {"job/2.mp3", false},                          // relative
        {"", false},
        {job + "/2.mp3?x", false},
        {job + "/2.wav", false},                      // wrong type
        {job + "/.mp3", false},
        {job + "/", false},
        {job + "/missing/2.mp3", false},              // folder not made
        {job + "/plainfile/2.mp3", false},            // "folder" is a file
        {job + "/a\n.mp3", false},
    };
    for (const Case &c : cases) {
        auto r = guard.fileForWrite(c.raw, ".mp3");
        EXPECT_EQ(r.error.empty(), c.ok) << c.raw << " → " << r.error;
        if (c.ok) {
            EXPECT_TRUE(isInside(fs::canonical(work.audio()), r.path.parent_path())) << c.raw;
        }
    }
}

TEST_F(Paths, ReadSourcesAreInsidePresentOrMissing)
{
    const std::string job = work.job().string();
    struct Case {
        std::string raw;
        const char *expect;  // "ok", "missing", "refused"
    } cases[] = {
        {job + "/1.mp3", "ok"},
        {job + "/inner.mp3", "ok"},                   // a link that stays inside
        {job + "/nothere.mp3", "missing"},
        {job + "/nofolder/x.mp3", "missing"},
        {job + "/link.mp3", "refused"},               // a link to a file outside
        {job + "/dangling.mp3", "refused"},
        {job + "/escape/secret.mp3", "refused"},
        {job + "/../../outside/secret.mp3", "refused"},
        {job + "/../../outside/none.mp3", "refused"},
        {"/etc/passwd", "refused"},
        {work.audio().string(), "refused"},
        {"relative.mp3", "refused"},
    };
    for (const Case &c : cases) {
        auto r = guard.fileForRead(c.raw);
        const std::string got = !r.error.empty() ? "refused" : r.missing ? "missing" : "ok";
        EXPECT_EQ(got, c.expect) << c.raw << " → " << r.error;
    }
}

TEST_F(Paths, OutputFolderMustExistInsideTheAudioFolder)
{
    EXPECT_TRUE(guard.folder(work.job().string() + "/").error.empty());
    EXPECT_TRUE(guard.folder(work.audio().string()).error.empty());
    for (const std::string &bad :
         {work.path().string(), outside.string(), (work.job() / "escape").string(),
          (work.job() / "nothere").string(), (work.job() / "1.mp3").string(), std::string("/"),
          work.job().string() + "/../../"})
        EXPECT_FALSE(guard.folder(bad).error.empty()) << bad;
}

TEST(PathsWithoutAudioFolder, EverythingIsRefused)
{
    TempWorkDir work;
    fs::remove_all(work.audio());
    PathGuard guard(work.path());
    EXPECT_FALSE(guard.fileForWrite((work.job() / "1.mp3").string(), ".mp3").error.empty());
    EXPECT_FALSE(guard.fileForRead((work.job() / "1.mp3").string()).error.empty());
    EXPECT_FALSE(guard.folder(work.job().string()).error.empty());
}
