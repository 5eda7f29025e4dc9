// The three endpoints over real HTTP, with real synthesis, encoding and
// decoding: what the program sends, what it gets, and what lands on disk.
#include "ServerTestSupport.h"
#include "Subtitles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

using namespace tavrel;
using namespace tavrel::test;

namespace {

const char *kZh = "今天的天气非常好，我们一起去公园散步吧。你觉得怎么样？";
const char *kEn = "Let us walk to the park together. It is a lovely day!";

void expectCuesLineUp(const fs::path &srtFile, const DecodedMp3 &audio, std::size_t expectedCues)
{
    auto cues = srt::parse(readFile(srtFile));
    ASSERT_EQ(cues.size(), expectedCues) << readFile(srtFile);
    const auto onsets = speechOnsets(audio);
    const double lengthMs = audio.seconds() * 1000;
    std::int64_t previousEnd = 0;
    for (const auto &c : cues) {
        EXPECT_GE(c.startMs, previousEnd) << c.text;
        EXPECT_GT(c.endMs, c.startMs) << c.text;
        EXPECT_LE(double(c.endMs), lengthMs + 1) << c.text;
        previousEnd = c.endMs;
        double nearest = 1e9;
        for (double o : onsets)
            nearest = std::min(nearest, std::abs(o - double(c.startMs)));
        EXPECT_LE(nearest, 50.0) << "cue \"" << c.text << "\" at " << c.startMs << " ms has no speech onset near it";
    }
}

class Http : public ::testing::Test {
protected:
    TempWorkDir work;
    RunningService service{work.path()};

    Reply render(const std::string &text, const std::string &voice, const std::string &name,
                 const std::string &rates = "+0%", const std::string &volumes = "+0%")
    {
        return postForm(service.port(), "ttsCommunicate", renderFields(text, voice, work.job(), name, rates, volumes));
    }
};

}  // namespace

TEST_F(Http, GetVoicesAnswersTheEnvelopeWithVoiceRecords)
{
    auto r = getJson(service.port(), "getVoices");
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.code(), 1);
    ASSERT_TRUE(r.body["data"].is_array());
    ASSERT_GT(r.body["data"].size(), 50u);
    // Field order as the program's contract writes them, at both levels.
    auto ordered = nlohmann::ordered_json::parse(r.raw);
    std::vector<std::string> topKeys, voiceKeys;
    for (auto it = ordered.begin(); it != ordered.end(); ++it)
        topKeys.push_back(it.key());
    for (auto it = ordered["data"][0].begin(); it != ordered["data"][0].end(); ++it)
        voiceKeys.push_back(it.key());
    EXPECT_EQ(topKeys, (std::vector<std::string>{"code", "msg", "data"}));
    EXPECT_EQ(voiceKeys, (std::vector<std::string>{"name", "locale", "gender"}));
    bool sawXiaoxiao = false;
    for (const auto &v : r.body["data"]) {
        ASSERT_TRUE(v["name"].is_string() && v["locale"].is_string() && v["gender"].is_string());
        sawXiaoxiao |= v["name"] == "zh-CN-XiaoxiaoNeural" && v["locale"] == "zh-CN" && v["gender"] == "Female";
    }
    EXPECT_TRUE(sawXiaoxiao);
}

TEST_F(Http, RenderedSegmentSoundsAsLongAsItsTextAndCuesLineUp)
{
    struct Case {
        const char *text;
        const char *voice;
        std::size_t cues;
        double minSeconds, maxSeconds;
    } cases[] = {
        {kZh, "zh-CN-XiaoxiaoNeural", 3, 3.0, 12.0},
        {kZh, "zh-CN-YunjianNeural", 3, 3.0, 12.0},
        {kEn, "en-US-Female1", 2, 2.0, 8.0},
        {"你好。", "zh-CN-YunxiNeural", 1, 0.3, 3.0},
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::string name = "seg" + std::to_string(n++);
        auto r = render(c.text, c.voice, name);
        ASSERT_EQ(r.status, 200);
        ASSERT_EQ(r.code(), 1) << r.msg();
        auto audio = decodeMp3(work.job() / (name + ".mp3"));
        ASSERT_TRUE(audio.ok) << name;
        EXPECT_EQ(audio.channels, 1);
        EXPECT_GE(audio.seconds(), c.minSeconds) << c.voice;
        EXPECT_LE(audio.seconds(), c.maxSeconds) << c.voice;
        EXPECT_GT(rms(audio.samples), 500.0);
        expectCuesLineUp(work.job() / (name + ".srt"), audio, c.cues);
    }
}

TEST_F(Http, RateShortensAndVolumeQuietens)
{
    ASSERT_EQ(render(kZh, "zh-CN-XiaoxiaoNeural", "normal").code(), 1);
    ASSERT_EQ(render(kZh, "zh-CN-XiaoxiaoNeural", "fast", "+50%").code(), 1);
    ASSERT_EQ(render(kZh, "zh-CN-XiaoxiaoNeural", "slow", "-50%").code(), 1);
    // The slowest setting of the program's rate box.
    ASSERT_EQ(render(kZh, "zh-CN-XiaoxiaoNeural", "slowest", "-100%").code(), 1);
    ASSERT_EQ(render(kZh, "zh-CN-XiaoxiaoNeural", "quiet", "+0%", "-50%").code(), 1);
    ASSERT_EQ(render(kZh, "zh-CN-XiaoxiaoNeural", "loud", "+0%", "+50%").code(), 1);
    auto normal = decodeMp3(work.job() / "normal.mp3");
    auto fast = decodeMp3(work.job() / "fast.mp3");
    auto slow = decodeMp3(work.job() / "slow.mp3");
    auto quiet = decodeMp3(work.job() / "quiet.mp3");
    auto loud = decodeMp3(work.job() / "loud.mp3");
    EXPECT_LT(fast.seconds(), normal.seconds() * 0.8);
    EXPECT_GT(slow.seconds(), normal.seconds() * 1.4);
    EXPECT_GE(decodeMp3(work.job() / "slowest.mp3").seconds(), slow.seconds() * 0.98);
    // espeak-ng says the same text a few hundred samples longer or shorter
    // from one utterance to the next, and an MP3 lasts whole frames of 1152
    // samples (52 ms): the same length is the same within one frame.
    EXPECT_NEAR(quiet.seconds(), normal.seconds(), 1152.0 / 22050 + 0.005);
    EXPECT_NEAR(rms(quiet.samples) / rms(normal.samples), 0.5, 0.08);
    EXPECT_NEAR(rms(loud.samples) / rms(normal.samples), 1.5, 0.15);
}

TEST_F(Http, JoinedOutputLastsSegmentsPlusPausesAndItsSubtitlesLineUp)
{
    const std::vector<std::pair<const char *, const char *>> segments = {
        {kZh, "zh-CN-XiaoxiaoNeural"}, {kEn, "en-US-Male1"}, {"最后一段。谢谢大家！", "zh-CN-YunxiNeural"}};
    std::string list;
    double sumSeconds = 0;
    std::size_t cueCount = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::string name = std::to_string(i + 1);
        ASSERT_EQ(render(segments[i].first, segments[i].second, name).code(), 1);
        sumSeconds += decodeMp3(work.job() / (name + ".mp3")).seconds();
        cueCount += srt::parse(readFile(work.job() / (name + ".srt"))).size();
        list += (work.job() / (name + ".mp3")).string() + "?";
        if (i == 0)  // a failed segment and a broken file in the list are skipped
            list += (work.job() / "missing.mp3").string() + "?" + (work.job() / "1.srt").string() + "?";
    }

    for (int pauseMs : {0, 1500}) {
        auto r = postForm(service.port(), "audioCombined",
                          {{"audio", list}, {"path", work.job().string() + "/"}, {"dura", std::to_string(pauseMs)}});
        ASSERT_EQ(r.code(), 1) << r.msg();
        auto out = decodeMp3(work.job() / "output.mp3");
        ASSERT_TRUE(out.ok);
        // Two junctions, each within 80 ms of the asked pause.
        EXPECT_NEAR(out.seconds(), sumSeconds + 2 * pauseMs / 1000.0, 2 * 0.08) << pauseMs;
        expectCuesLineUp(work.job() / "output.srt", out, cueCount);
        const std::string text = readFile(work.job() / "output.srt");
        EXPECT_EQ(text.rfind("1\n", 0), 0u);
        EXPECT_NE(text.find("\n" + std::to_string(cueCount) + "\n"), std::string::npos);
    }
}

TEST_F(Http, NothingUsableToJoinIsRefused)
{
    const auto before = snapshot(work.path());
    auto r = postForm(service.port(), "audioCombined",
                      {{"audio", (work.job() / "a.mp3").string() + "?"}, {"path", work.job().string() + "/"}, {"dura", "0"}});
    EXPECT_EQ(r.code(), 0);
    EXPECT_FALSE(r.msg().empty());
    EXPECT_EQ(snapshot(work.path()), before);
}

// Every bad request: code 0, a message, HTTP 200, and nothing written.
struct BadCase {
    const char *label;
    const char *endpoint;
    // Fields built from the job folder, the audio folder and a folder outside.
    std::function<Fields(const fs::path &job, const fs::path &outside)> fields;
};

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, AnswersCodeZeroWithAMessageAndWritesNothing)
{
    TempWorkDir work;
    const fs::path outside = work.path() / "outside";
    fs::create_directories(outside);
    writeFile(outside / "secret.mp3", "x");
    fs::create_directory_symlink(outside, work.job() / "escape");
    fs::create_symlink(outside / "secret.mp3", work.job() / "link.mp3");
    writeFile(work.job() / "file", "x");
    RunningService service(work.path());

    const auto before = snapshot(work.path());
    auto r = postForm(service.port(), GetParam().endpoint, GetParam().fields(work.job(), outside));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.code(), 0);
    EXPECT_FALSE(r.msg().empty());
    EXPECT_NE(r.msg(), "服务内部错误") << "the handler threw instead of answering";
    EXPECT_EQ(r.body["data"], nlohmann::json::array());
    EXPECT_EQ(snapshot(work.path()), before) << GetParam().label;
}

static Fields tts(const fs::path &job, std::function<void(Fields &)> change)
{
    Fields f = renderFields("你好，世界。", "zh-CN-XiaoxiaoNeural", job, "1");
    change(f);
    return f;
}
static void set(Fields &f, const std::string &key, const std::string &value)
{
    for (auto &kv : f)
        if (kv.first == key)
            kv.second = value;
}
static void drop(Fields &f, const std::string &key)
{
    f.erase(std::remove_if(f.begin(), f.end(), [&](auto &kv) { return kv.first == key; }), f.end());
}
static Fields join(const std::string &audio, const std::string &path, const std::string &dura = "0")
{
    return {{"audio", audio}, {"path", path}, {"dura", dura}};
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BadInput,
    ::testing::Values(
        BadCase{"no text", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { drop(f, "text"); }); }},
        BadCase{"empty text", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "text", ""); }); }},
        BadCase{"blank text", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "text", " \n "); }); }},
        BadCase{"bad utf-8", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "text", "\xE4\xBD"); }); }},
        BadCase{"unknown voice", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "voice", "zh-CN-Nobody"); }); }},
        // The reply quotes the voice: broken UTF-8, or a cut through a character.
        BadCase{"unknown voice, not UTF-8", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "voice", "en-US-Guy\xF3Neural"); }); }},
        BadCase{"unknown voice, cut inside a character", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "voice", "a" + std::string(39, 'x') + "晓晓晓晓晓晓晓晓晓晓晓晓晓晓晓"); }); }},
        BadCase{"no voice", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { drop(f, "voice"); }); }},
        BadCase{"rate without sign", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "rates", "10%"); }); }},
        BadCase{"rate words", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "rates", "fast"); }); }},
        BadCase{"rate too high", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "rates", "+900%"); }); }},
        BadCase{"volume no percent", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "volumes", "+5"); }); }},
        BadCase{"volume too low", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { set(f, "volumes", "-150%"); }); }},
        BadCase{"no volume", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { drop(f, "volumes"); }); }},
        BadCase{"no media path", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [](Fields &f) { drop(f, "write_media"); }); }},
        BadCase{"media outside", "ttsCommunicate", [](auto &j, auto &o) { return tts(j, [&](Fields &f) { set(f, "write_media", (o / "1.mp3").string()); }); }},
        BadCase{"media dot-dot", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [&](Fields &f) { set(f, "write_media", (j / "../../outside/1.mp3").string()); }); }},
        BadCase{"media via link", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [&](Fields &f) { set(f, "write_media", (j / "escape/1.mp3").string()); }); }},
        BadCase{"media question mark", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [&](Fields &f) { set(f, "write_media", (j / "1.mp3?../../x.mp3").string()); }); }},
        BadCase{"media relative", "ttsCommunicate", [](auto &, auto &) { return tts("audio/job", [](Fields &) {}); }},
        BadCase{"media no folder", "ttsCommunicate", [](auto &j, auto &) { return tts(j / "later", [](Fields &) {}); }},
        BadCase{"media folder is a file", "ttsCommunicate", [](auto &j, auto &) { return tts(j / "file", [](Fields &) {}); }},
        BadCase{"media wrong type", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [&](Fields &f) { set(f, "write_media", (j / "1.wav").string()); }); }},
        BadCase{"subtitles outside", "ttsCommunicate", [](auto &j, auto &o) { return tts(j, [&](Fields &f) { set(f, "write_subtitles", (o / "1.srt").string()); }); }},
        BadCase{"subtitles into system", "ttsCommunicate", [](auto &j, auto &) { return tts(j, [&](Fields &f) { set(f, "write_subtitles", "/etc/1.srt"); }); }},
        BadCase{"join no audio", "audioCombined", [](auto &j, auto &) { Fields f = join("", j.string() + "/"); f.erase(f.begin()); return f; }},
        BadCase{"join empty list", "audioCombined", [](auto &j, auto &) { return join("???", j.string() + "/"); }},
        BadCase{"join no path", "audioCombined", [](auto &j, auto &) { return Fields{{"audio", (j / "1.mp3").string() + "?"}, {"dura", "0"}}; }},
        BadCase{"join no dura", "audioCombined", [](auto &j, auto &) { return Fields{{"audio", (j / "1.mp3").string() + "?"}, {"path", j.string() + "/"}}; }},
        BadCase{"join dura words", "audioCombined", [](auto &j, auto &) { return join((j / "1.mp3").string() + "?", j.string() + "/", "1s"); }},
        BadCase{"join dura negative", "audioCombined", [](auto &j, auto &) { return join((j / "1.mp3").string() + "?", j.string() + "/", "-5"); }},
        BadCase{"join dura huge", "audioCombined", [](auto &j, auto &) { return join((j / "1.mp3").string() + "?", j.string() + "/", "99999999"); }},
        BadCase{"join into outside", "audioCombined", [](auto &j, auto &o) { return join((j / "1.mp3").string() + "?", o.string() + "/"); }},
        BadCase{"join into link", "audioCombined", [](auto &j, auto &) { return join((j / "1.mp3").string() + "?", (j / "escape").string() + "/"); }},
        BadCase{"join into missing", "audioCombined", [](auto &j, auto &) { return join((j / "1.mp3").string() + "?", (j / "later").string() + "/"); }},
        BadCase{"join reads outside", "audioCombined", [](auto &j, auto &o) { return join((o / "secret.mp3").string() + "?", j.string() + "/"); }},
        BadCase{"join reads system", "audioCombined", [](auto &j, auto &) { return join("/etc/passwd?", j.string() + "/"); }},
        BadCase{"join reads via link", "audioCombined", [](auto &j, auto &) { return join((j / "link.mp3").string() + "?", j.string() + "/"); }},
        BadCase{"join dot-dot", "audioCombined", [](auto &j, auto &) { return join((j / "../../outside/secret.mp3").string() + "?", j.string() + "/"); }},
        BadCase{"join nothing usable", "audioCombined", [](auto &j, auto &) { return join((j / "file").string() + "?" + (j / "2.mp3").string() + "?", j.string() + "/"); }}),
    [](const auto &info) {
        std::string s = info.param.label;
        for (char &c : s)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return s;
    });

TEST_F(Http, MalformedBodiesAreRepliesNotFailures)
{
    const auto before = snapshot(work.path());
    struct Case {
        const char *body;
        const char *type;
    } cases[] = {
        {"text=%E4%B&voice=x", "application/x-www-form-urlencoded"},
        {"{\"text\":\"你好\"}", "application/json"},
        {"", "application/x-www-form-urlencoded"},
        {"text", "text/plain"},
    };
    for (const auto &c : cases)
        for (const char *endpoint : {"ttsCommunicate", "audioCombined"}) {
            auto r = postRaw(service.port(), endpoint, c.body, c.type);
            EXPECT_EQ(r.status, 200) << c.body;
            EXPECT_EQ(r.code(), 0) << c.body;
            EXPECT_FALSE(r.msg().empty());
        }
    auto r = getJson(service.port(), "noSuchEndpoint");
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.code(), 0);
    EXPECT_EQ(snapshot(work.path()), before);
}

// A long segment travels in a body far beyond 8 KB and is still read whole.
TEST_F(Http, LongSegmentsAreAccepted)
{
    std::string text;
    while (text.size() < 3000)
        text += kZh;
    const Fields fields = renderFields(text, "zh-CN-XiaoxiaoNeural", work.job(), "long");
    ASSERT_GT(formEncode(fields).size(), 9000u);
    auto r = postForm(service.port(), "ttsCommunicate", fields);
    ASSERT_EQ(r.code(), 1) << r.msg();
    auto audio = decodeMp3(work.job() / "long.mp3");
    EXPECT_GT(audio.seconds(), 100.0);
}

struct CrossSiteCase {
    const char *header;
    const char *value;
};

class CrossSite : public ::testing::TestWithParam<CrossSiteCase> {};

TEST_P(CrossSite, BrowserRequestsAreRefusedWith403AndWriteNothing)
{
    TempWorkDir work;
    RunningService service(work.path());
    const std::multimap<std::string, std::string> headers = {{GetParam().header, GetParam().value}};
    // A segment already there: a join that got through would write output.mp3,
    // a render would replace 1.mp3.
    ASSERT_EQ(postForm(service.port(), "ttsCommunicate", renderFields("你好。", "zh-CN-XiaoxiaoNeural", work.job(), "1")).code(), 1);
    const Fields joinFields = {{"audio", (work.job() / "1.mp3").string() + "?"}, {"path", work.job().string() + "/"}, {"dura", "0"}};
    const auto before = snapshot(work.path());

    std::vector<Reply> replies = {
        getJson(service.port(), "getVoices", headers),
        postForm(service.port(), "ttsCommunicate", renderFields("你好。", "zh-CN-XiaoxiaoNeural", work.job(), "1"), headers),
        postForm(service.port(), "audioCombined", joinFields, headers)};
    for (const auto &r : replies) {
        EXPECT_EQ(r.status, 403);
        EXPECT_EQ(r.code(), 0);
    }
    EXPECT_EQ(snapshot(work.path()), before);
    // The same join without the browser's header goes through.
    EXPECT_EQ(postForm(service.port(), "audioCombined", joinFields).code(), 1);
}

INSTANTIATE_TEST_SUITE_P(Headers, CrossSite,
                         ::testing::Values(CrossSiteCase{"Origin", "https://evil.example"},
                                           CrossSiteCase{"Origin", "null"},
                                           CrossSiteCase{"Origin", "http://127.0.0.1:5000"},
                                           CrossSiteCase{"Sec-Fetch-Site", "cross-site"},
                                           CrossSiteCase{"Sec-Fetch-Site", "same-site"},
                                           CrossSiteCase{"Sec-Fetch-Site", "same-origin"},
                                           CrossSiteCase{"Host", "rebound.example:5000"}));

TEST_F(Http, ASecondServiceCannotTakeTheSamePort)
{
    ServiceConfig config;
    config.port = service.port();
    config.workDir = work.path();
    SpeechService second(config, sharedEngine());
    std::string error;
    EXPECT_FALSE(second.bind(error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    EXPECT_EQ(getJson(service.port(), "getVoices").code(), 1);
}

TEST_F(Http, RequestsTypedByTheUserStillWork)
{
    auto r = getJson(service.port(), "getVoices", {{"Sec-Fetch-Site", "none"}, {"Host", "localhost:5000"}});
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.code(), 1);
}

// The program sends one request per segment, all at once.
TEST_F(Http, TwoHundredSimultaneousRequestsAllSucceed)
{
    constexpr int kRequests = 200;
    std::vector<std::thread> threads;
    std::vector<int> codes(kRequests, -1);
    std::atomic<int> ready{0};
    for (int i = 0; i < kRequests; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < kRequests)
                std::this_thread::yield();
            const std::string text = (i % 2 ? "第" + std::to_string(i) + "段，你好。" : "Segment " + std::to_string(i) + ".");
            const std::string voice = i % 2 ? "zh-CN-XiaoyiNeural" : "en-GB-Male2";
            codes[i] = postForm(service.port(), "ttsCommunicate", renderFields(text, voice, work.job(), std::to_string(i))).code();
        });
    }
    for (auto &t : threads)
        t.join();
    for (int i = 0; i < kRequests; ++i) {
        EXPECT_EQ(codes[i], 1) << "request " << i;
        EXPECT_TRUE(decodeMp3(work.job() / (std::to_string(i) + ".mp3")).ok) << i;
        EXPECT_TRUE(fs::exists(work.job() / (std::to_string(i) + ".srt"))) << i;
    }
}
