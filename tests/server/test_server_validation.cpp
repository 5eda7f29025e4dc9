// Field checks of the service: form decoding, percent fields, the pause,
// the "?" list, paths that must stay inside <working folder>/audio/, and each
// endpoint's form checked into its request or refused with its message.
#include "RequestValidation.h"
#include "Requests.h"
#include "ServerTestSupport.h"
#include "ServiceContract.h"

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
    EXPECT_EQ(parsePercent(GetParam().text, contract::rateMin, contract::rateMax), GetParam().expected)
        << GetParam().text;
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
    EXPECT_EQ(parsePause(std::to_string(contract::pauseMaxMs)), contract::pauseMaxMs);
    const std::string beyond = std::to_string(contract::pauseMaxMs + 1);
    for (const std::string &bad : {std::string(), std::string("-1"), beyond, std::string("1.5"), std::string("abc"),
                                   std::string("1500ms"), std::string("9999999999"), std::string(" 1")})
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

// ---- Each endpoint's form into its request --------------------------------

enum class Endpoint { Reading, Render, Join, Timeline };

// A change to an endpoint's valid form: a field set, or removed (nullopt).
// In values "$J" stands for the job folder, "$W" for the working folder.
using Changes = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct RequestCase {
    const char *name;
    Endpoint endpoint;
    Changes changes;
    std::string refusal;  // empty: accepted
};

std::ostream &operator<<(std::ostream &os, const RequestCase &c) { return os << c.name; }

// The latest time the timeline cases may name: small, so that its bound is
// easy to cross.
constexpr std::int64_t kMaxTimelineMs = 60000;

const VoiceLocales kVoices{{"zh-CN-XiaoxiaoNeural", "zh-CN"}, {"en-US-Female1", "en-US"}};

class RequestForms : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(work.job() / "a.mp3", "x");
        writeFile(work.job() / "b.mp3", "x");
        writeFile(work.path() / "outside.mp3", "x");
    }

    std::string expand(const std::string &value) const
    {
        std::string out;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value.compare(i, 2, "$J") == 0 || value.compare(i, 2, "$W") == 0) {
                out += (value[i + 1] == 'J' ? work.job() : work.path()).string();
                ++i;
            } else {
                out += value[i];
            }
        }
        return out;
    }

    // The endpoint's form as the program sends it, with `changes` applied.
    Form form(Endpoint endpoint, const Changes &changes = {}) const
    {
        static const std::map<Endpoint, Form> valid{
            {Endpoint::Reading, {{"text", "你好"}, {"voice", "zh-CN-XiaoxiaoNeural"}}},
            {Endpoint::Render,
             {{"text", "你好"},
              {"voice", "zh-CN-XiaoxiaoNeural"},
              {"rates", "+0%"},
              {"volumes", "+0%"},
              {"write_media", "$J/1.mp3"},
              {"write_subtitles", "$J/1.srt"}}},
            {Endpoint::Join, {{"audio", "$J/a.mp3?$J/b.mp3?"}, {"path", "$J/"}, {"dura", "300"}}},
            {Endpoint::Timeline, {{"audio", "$J/a.mp3?$J/b.mp3?"}, {"starts", "0,2000"}, {"path", "$J/"}}},
        };
        Form f = valid.at(endpoint);
        for (const auto &[name, value] : changes) {
            if (value)
                f[name] = *value;
            else
                f.erase(name);
        }
        for (auto &[name, value] : f)
            value = expand(value);
        return f;
    }

    // The refusal of the endpoint's check; empty when it accepts the form.
    std::string refusal(Endpoint endpoint, const Form &f) const
    {
        switch (endpoint) {
        case Endpoint::Reading:
            return parseReadingRequest(f, kVoices).refusal();
        case Endpoint::Render:
            return parseRenderRequest(f, kVoices, guard).refusal();
        case Endpoint::Join:
            return parseJoinRequest(f, guard).refusal();
        case Endpoint::Timeline:
            return parseTimelineRequest(f, guard, kMaxTimelineMs).refusal();
        }
        return "?";
    }

    TempWorkDir work;
    PathGuard guard{work.path()};
};

class RequestCases : public RequestForms, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(RequestCases, AcceptOrRefuseWithTheServicesMessage)
{
    const RequestCase &c = GetParam();
    EXPECT_EQ(refusal(c.endpoint, form(c.endpoint, c.changes)), c.refusal);
}

std::string repeated(const std::string &piece, std::size_t times)
{
    std::string s;
    s.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        s += piece;
    return s;
}

const std::string kLongVoice(100, 'v');

// The messages are the service's answers word for word: the program shows
// them to the user.
INSTANTIATE_TEST_SUITE_P(
    Reading, RequestCases,
    ::testing::Values(
        RequestCase{"Valid", Endpoint::Reading, {}, ""},
        RequestCase{"NoText", Endpoint::Reading, {{"text", std::nullopt}}, "缺少参数：text"},
        RequestCase{"NoVoice", Endpoint::Reading, {{"voice", std::nullopt}}, "缺少参数：voice"},
        RequestCase{"MissingFieldBeforeBlankText", Endpoint::Reading, {{"text", " "}, {"voice", std::nullopt}},
                    "缺少参数：voice"},
        RequestCase{"BlankText", Endpoint::Reading, {{"text", " \t\r\n"}}, "文本为空"},
        RequestCase{"TextAtTheLimit", Endpoint::Reading, {{"text", std::string(contract::textMaxBytes, 'a')}}, ""},
        RequestCase{"TextPastTheLimit", Endpoint::Reading,
                    {{"text", std::string(contract::textMaxBytes + 1, 'a')}}, "文本过长"},
        RequestCase{"NulInText", Endpoint::Reading, {{"text", std::string("你\0好", 7)}}, "文本含有非法字符"},
        RequestCase{"BrokenUtf8", Endpoint::Reading, {{"text", "\xE4\xBD"}}, "文本编码错误"},
        RequestCase{"UnknownVoice", Endpoint::Reading, {{"voice", "zh-CN-Nobody"}}, "未知的语音：zh-CN-Nobody"},
        RequestCase{"UnknownVoiceQuotedShort", Endpoint::Reading, {{"voice", kLongVoice}},
                    "未知的语音：" + kLongVoice.substr(0, 80)},
        RequestCase{"TextBeforeVoice", Endpoint::Reading, {{"text", ""}, {"voice", "x"}}, "文本为空"}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Render, RequestCases,
    ::testing::Values(
        RequestCase{"Valid", Endpoint::Render, {}, ""},
        RequestCase{"NoText", Endpoint::Render, {{"text", std::nullopt}}, "缺少参数：text"},
        RequestCase{"NoRates", Endpoint::Render, {{"rates", std::nullopt}}, "缺少参数：rates"},
        RequestCase{"NoVolumes", Endpoint::Render, {{"volumes", std::nullopt}}, "缺少参数：volumes"},
        RequestCase{"NoMedia", Endpoint::Render, {{"write_media", std::nullopt}}, "缺少参数：write_media"},
        RequestCase{"NoSubtitles", Endpoint::Render, {{"write_subtitles", std::nullopt}},
                    "缺少参数：write_subtitles"},
        RequestCase{"FirstMissingFieldNamed", Endpoint::Render,
                    {{"voice", std::nullopt}, {"rates", std::nullopt}}, "缺少参数：voice"},
        RequestCase{"BlankText", Endpoint::Render, {{"text", "\n"}}, "文本为空"},
        RequestCase{"UnknownVoice", Endpoint::Render, {{"voice", "nobody"}}, "未知的语音：nobody"},
        RequestCase{"SlowestRate", Endpoint::Render, {{"rates", contract::percentText(contract::rateMin)}}, ""},
        RequestCase{"FastestRate", Endpoint::Render, {{"rates", contract::percentText(contract::rateMax)}}, ""},
        RequestCase{"RateTooSlow", Endpoint::Render, {{"rates", contract::percentText(contract::rateMin - 1)}},
                    "语速格式错误，应为 -100% 到 +200% 之间，如 +0%"},
        RequestCase{"RateTooFast", Endpoint::Render, {{"rates", contract::percentText(contract::rateMax + 1)}},
                    "语速格式错误，应为 -100% 到 +200% 之间，如 +0%"},
        RequestCase{"RateWithoutSign", Endpoint::Render, {{"rates", "10%"}},
                    "语速格式错误，应为 -100% 到 +200% 之间，如 +0%"},
        RequestCase{"QuietestVolume", Endpoint::Render, {{"volumes", contract::percentText(contract::volumeMin)}},
                    ""},
        RequestCase{"LoudestVolume", Endpoint::Render, {{"volumes", contract::percentText(contract::volumeMax)}},
                    ""},
        RequestCase{"VolumeTooQuiet", Endpoint::Render,
                    {{"volumes", contract::percentText(contract::volumeMin - 1)}},
                    "音量格式错误，应为 -100% 到 +100% 之间，如 +0%"},
        RequestCase{"VolumeTooLoud", Endpoint::Render, {{"volumes", contract::percentText(contract::volumeMax + 1)}},
                    "音量格式错误，应为 -100% 到 +100% 之间，如 +0%"},
        RequestCase{"RateBeforeVolume", Endpoint::Render, {{"rates", "fast"}, {"volumes", "loud"}},
                    "语速格式错误，应为 -100% 到 +200% 之间，如 +0%"},
        RequestCase{"MediaOutside", Endpoint::Render, {{"write_media", "$W/1.mp3"}},
                    "音频路径错误：路径不在音频文件夹内"},
        RequestCase{"MediaNotMp3", Endpoint::Render, {{"write_media", "$J/1.wav"}},
                    "音频路径错误：文件类型必须是 .mp3"},
        RequestCase{"MediaFolderNotMade", Endpoint::Render, {{"write_media", "$J/later/1.mp3"}},
                    "音频路径错误：文件夹不存在"},
        RequestCase{"SubtitlesNotSrt", Endpoint::Render, {{"write_subtitles", "$J/1.mp3"}},
                    "字幕路径错误：文件类型必须是 .srt"},
        RequestCase{"MediaBeforeSubtitles", Endpoint::Render, {{"write_media", "1.mp3"}, {"write_subtitles", "1"}},
                    "音频路径错误：路径必须是绝对路径"},
        RequestCase{"Reading", Endpoint::Render, {{"reading", "ni3 hao3"}}, ""},
        // Whether syllables fit the text only the reading front end knows.
        RequestCase{"ReadingOfAnotherLength", Endpoint::Render, {{"reading", "chong2"}}, ""},
        RequestCase{"ReadingNotPinyin", Endpoint::Render, {{"reading", "ni3 qxng4"}},
                    "读音错误：无法识别的拼音：qxng4"},
        RequestCase{"ReadingEmpty", Endpoint::Render, {{"reading", ""}}, "读音错误：读音为空"},
        RequestCase{"PathsBeforeReading", Endpoint::Render, {{"write_subtitles", "$W/1.srt"}, {"reading", ""}},
                    "字幕路径错误：路径不在音频文件夹内"}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Join, RequestCases,
    ::testing::Values(
        RequestCase{"Valid", Endpoint::Join, {}, ""},
        RequestCase{"NoAudio", Endpoint::Join, {{"audio", std::nullopt}}, "缺少参数：audio"},
        RequestCase{"NoPath", Endpoint::Join, {{"path", std::nullopt}}, "缺少参数：path"},
        RequestCase{"NoPause", Endpoint::Join, {{"dura", std::nullopt}}, "缺少参数：dura"},
        RequestCase{"NoPauseAtAll", Endpoint::Join, {{"dura", "0"}}, ""},
        RequestCase{"LongestPause", Endpoint::Join, {{"dura", std::to_string(contract::pauseMaxMs)}}, ""},
        RequestCase{"PauseTooLong", Endpoint::Join, {{"dura", std::to_string(contract::pauseMaxMs + 1)}},
                    "停顿时长格式错误，应为 0 到 60000 之间的毫秒数"},
        RequestCase{"NegativePause", Endpoint::Join, {{"dura", "-1"}},
                    "停顿时长格式错误，应为 0 到 60000 之间的毫秒数"},
        RequestCase{"FolderOutside", Endpoint::Join, {{"path", "$W/"}}, "输出文件夹错误：路径不在音频文件夹内"},
        RequestCase{"FolderNotMade", Endpoint::Join, {{"path", "$J/later/"}}, "输出文件夹错误：文件夹不存在"},
        RequestCase{"PauseBeforeFolder", Endpoint::Join, {{"dura", "x"}, {"path", "$W/"}},
                    "停顿时长格式错误，应为 0 到 60000 之间的毫秒数"},
        RequestCase{"WithWav", Endpoint::Join, {{"wav", "1"}}, ""},
        RequestCase{"WithoutWav", Endpoint::Join, {{"wav", "0"}}, ""},
        RequestCase{"BadWav", Endpoint::Join, {{"wav", "yes"}}, "wav 参数错误，应为 0 或 1"},
        RequestCase{"FolderBeforeWav", Endpoint::Join, {{"path", "rel/"}, {"wav", "2"}},
                    "输出文件夹错误：路径必须是绝对路径"},
        RequestCase{"EmptyList", Endpoint::Join, {{"audio", ""}}, "未提供要合并的音频文件"},
        RequestCase{"OnlySeparators", Endpoint::Join, {{"audio", "???"}}, "未提供要合并的音频文件"},
        // At the limit the list is taken and its paths are checked: the
        // first one is refused.
        RequestCase{"ListAtTheLimit", Endpoint::Join,
                    {{"audio", "$W/outside.mp3?" + repeated("$J/a.mp3?", contract::audioListMaxFiles - 1)}},
                    "音频路径错误：路径不在音频文件夹内"},
        RequestCase{"ListTooLong", Endpoint::Join,
                    {{"audio", repeated("$J/a.mp3?", contract::audioListMaxFiles + 1)}}, "音频文件过多"},
        RequestCase{"FileOutside", Endpoint::Join, {{"audio", "$J/a.mp3?$W/outside.mp3?"}},
                    "音频路径错误：路径不在音频文件夹内"},
        RequestCase{"FileMissing", Endpoint::Join, {{"audio", "$J/a.mp3?$J/gone.mp3?"}}, ""},
        RequestCase{"WavBeforeList", Endpoint::Join, {{"wav", "2"}, {"audio", ""}}, "wav 参数错误，应为 0 或 1"}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Timeline, RequestCases,
    ::testing::Values(
        RequestCase{"Valid", Endpoint::Timeline, {}, ""},
        RequestCase{"NoAudio", Endpoint::Timeline, {{"audio", std::nullopt}}, "缺少参数：audio"},
        RequestCase{"NoStarts", Endpoint::Timeline, {{"starts", std::nullopt}}, "缺少参数：starts"},
        RequestCase{"NoPath", Endpoint::Timeline, {{"path", std::nullopt}}, "缺少参数：path"},
        RequestCase{"LatestStart", Endpoint::Timeline, {{"starts", "0," + std::to_string(kMaxTimelineMs)}}, ""},
        RequestCase{"StartTooLate", Endpoint::Timeline, {{"starts", "0," + std::to_string(kMaxTimelineMs + 1)}},
                    "开始时间格式错误，应为逗号分隔的毫秒数（0 到 60000），每段音频一个"},
        RequestCase{"StartsWithABlank", Endpoint::Timeline, {{"starts", "0, 2000"}},
                    "开始时间格式错误，应为逗号分隔的毫秒数（0 到 60000），每段音频一个"},
        RequestCase{"Ends", Endpoint::Timeline, {{"ends", "1500,2000"}}, ""},
        RequestCase{"EndTooLate", Endpoint::Timeline, {{"ends", "1500," + std::to_string(kMaxTimelineMs + 1)}},
                    "结束时间格式错误，应为逗号分隔的毫秒数（0 到 60000），每段音频一个"},
        RequestCase{"EndsCountDiffers", Endpoint::Timeline, {{"ends", "1500"}}, "结束时间与开始时间的个数不同"},
        RequestCase{"EndBeforeStart", Endpoint::Timeline, {{"ends", "1500,1999"}},
                    "第 2 段的结束时间早于开始时间"},
        RequestCase{"LatestOutputEnd", Endpoint::Timeline, {{"end", std::to_string(kMaxTimelineMs)}}, ""},
        RequestCase{"OutputEndTooLate", Endpoint::Timeline, {{"end", std::to_string(kMaxTimelineMs + 1)}},
                    "总时长格式错误，应为毫秒数（0 到 60000）"},
        RequestCase{"StartsBeforeEnds", Endpoint::Timeline, {{"starts", "x"}, {"ends", "y"}},
                    "开始时间格式错误，应为逗号分隔的毫秒数（0 到 60000），每段音频一个"},
        RequestCase{"WithWav", Endpoint::Timeline, {{"wav", "1"}}, ""},
        RequestCase{"BadWav", Endpoint::Timeline, {{"wav", "true"}}, "wav 参数错误，应为 0 或 1"},
        RequestCase{"OutputEndBeforeWav", Endpoint::Timeline, {{"end", "-1"}, {"wav", "2"}},
                    "总时长格式错误，应为毫秒数（0 到 60000）"},
        RequestCase{"FolderOutside", Endpoint::Timeline, {{"path", "$W/"}}, "输出文件夹错误：路径不在音频文件夹内"},
        RequestCase{"WavBeforeFolder", Endpoint::Timeline, {{"wav", "2"}, {"path", "$W/"}},
                    "wav 参数错误，应为 0 或 1"},
        RequestCase{"EmptyList", Endpoint::Timeline, {{"audio", "?"}}, "未提供要合并的音频文件"},
        RequestCase{"ListAtTheLimit", Endpoint::Timeline,
                    {{"audio", repeated("$J/a.mp3?", contract::audioListMaxFiles)}},
                    "开始时间的个数（2）与音频文件的个数（" + std::to_string(contract::audioListMaxFiles) + "）不同"},
        RequestCase{"ListTooLong", Endpoint::Timeline,
                    {{"audio", repeated("$J/a.mp3?", contract::audioListMaxFiles + 1)}}, "音频文件过多"},
        RequestCase{"FewerStartsThanFiles", Endpoint::Timeline, {{"starts", "0"}},
                    "开始时间的个数（1）与音频文件的个数（2）不同"},
        RequestCase{"CountsBeforePaths", Endpoint::Timeline, {{"starts", "0"}, {"audio", "$W/outside.mp3?$J/a.mp3?"}},
                    "开始时间的个数（1）与音频文件的个数（2）不同"},
        RequestCase{"FileOutside", Endpoint::Timeline, {{"audio", "$W/outside.mp3?$J/a.mp3?"}},
                    "音频路径错误：路径不在音频文件夹内"},
        RequestCase{"FileMissing", Endpoint::Timeline, {{"audio", "$J/gone.mp3?$J/a.mp3?"}}, ""}),
    [](const auto &info) { return std::string(info.param.name); });

// What an accepted form becomes: the values the jobs are given.
TEST_F(RequestForms, RenderRequestHoldsTheCheckedValues)
{
    auto checked = parseRenderRequest(
        form(Endpoint::Render, {{"text", "你好"}, {"rates", "-25%"}, {"volumes", "+30%"}, {"reading", "ni3 hao3"}}),
        kVoices, guard);
    ASSERT_TRUE(checked) << checked.refusal();
    const RenderRequest &r = checked.request();
    EXPECT_EQ(r.text, "你好");
    EXPECT_EQ(r.codePoints, U"你好");
    EXPECT_EQ(r.voice, "zh-CN-XiaoxiaoNeural");
    EXPECT_EQ(r.locale, "zh-CN");
    EXPECT_EQ(r.ratePercent, -25);
    EXPECT_EQ(r.volumePercent, 30);
    EXPECT_EQ(r.media, fs::canonical(work.job()) / "1.mp3");
    EXPECT_EQ(r.subtitles, fs::canonical(work.job()) / "1.srt");
    ASSERT_TRUE(r.reading);
    EXPECT_EQ(r.reading->size(), 2u);

    auto plain = parseRenderRequest(form(Endpoint::Render), kVoices, guard);
    ASSERT_TRUE(plain) << plain.refusal();
    EXPECT_FALSE(plain.request().reading);
}

TEST_F(RequestForms, ReadingRequestHoldsTheVoicesLocale)
{
    auto checked = parseReadingRequest(form(Endpoint::Reading, {{"text", "Hi"}, {"voice", "en-US-Female1"}}), kVoices);
    ASSERT_TRUE(checked) << checked.refusal();
    EXPECT_EQ(checked.request().codePoints, U"Hi");
    EXPECT_EQ(checked.request().locale, "en-US");
    EXPECT_EQ(checked.request().voice, "en-US-Female1");
}

TEST_F(RequestForms, JoinRequestKeepsTheListsOrderAndMarksMissingFiles)
{
    auto checked = parseJoinRequest(
        form(Endpoint::Join, {{"audio", "$J/b.mp3??$J/gone.mp3?$J/a.mp3?"}, {"dura", "1500"}, {"wav", "1"}}), guard);
    ASSERT_TRUE(checked) << checked.refusal();
    const JoinRequest &j = checked.request();
    const fs::path job = fs::canonical(work.job());
    ASSERT_EQ(j.inputs.size(), 3u);
    EXPECT_EQ(j.inputs[0].mp3, job / "b.mp3");
    EXPECT_FALSE(j.inputs[0].missing);
    EXPECT_EQ(j.inputs[1].mp3, job / "gone.mp3");
    EXPECT_TRUE(j.inputs[1].missing);
    EXPECT_EQ(j.inputs[2].mp3, job / "a.mp3");
    EXPECT_EQ(j.pauseMs, 1500);
    EXPECT_EQ(j.folder, job);
    EXPECT_TRUE(j.wav);
    EXPECT_FALSE(parseJoinRequest(form(Endpoint::Join), guard).request().wav);  // left out: off
}

TEST_F(RequestForms, TimelineRequestPairsEachFileWithItsTimes)
{
    auto checked = parseTimelineRequest(
        form(Endpoint::Timeline, {{"starts", "100,2000"}, {"ends", "1500,2500"}, {"end", "9000"}}), guard,
        kMaxTimelineMs);
    ASSERT_TRUE(checked) << checked.refusal();
    const TimelineRequest &t = checked.request();
    ASSERT_EQ(t.inputs.size(), 2u);
    EXPECT_EQ(t.inputs[0].mp3, fs::canonical(work.job()) / "a.mp3");
    EXPECT_EQ(t.inputs[0].startMs, 100);
    EXPECT_EQ(t.inputs[0].endMs, 1500);
    EXPECT_EQ(t.inputs[1].startMs, 2000);
    EXPECT_EQ(t.inputs[1].endMs, 2500);
    EXPECT_EQ(t.endMs, 9000);
    EXPECT_FALSE(t.wav);

    // Without ends each cue ends with its speech; without end, with the last.
    auto bare = parseTimelineRequest(form(Endpoint::Timeline), guard, kMaxTimelineMs);
    ASSERT_TRUE(bare) << bare.refusal();
    EXPECT_EQ(bare.request().inputs[0].endMs, -1);
    EXPECT_EQ(bare.request().inputs[1].endMs, -1);
    EXPECT_EQ(bare.request().endMs, 0);
}

TEST_F(RequestForms, TheDefaultTimelineBoundIsTheContracts)
{
    const std::string latest = std::to_string(contract::timelineMaxMs);
    EXPECT_TRUE(parseTimelineRequest(form(Endpoint::Timeline, {{"starts", "0," + latest}}), guard));
    EXPECT_EQ(parseTimelineRequest(form(Endpoint::Timeline, {{"end", std::to_string(contract::timelineMaxMs + 1)}}),
                                   guard)
                  .refusal(),
              "总时长格式错误，应为毫秒数（0 到 " + latest + "）");
}
