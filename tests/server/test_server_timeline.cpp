// Placing segments on a timeline (audioTimeline) and writing output.wav beside
// output.mp3 (both joins), over real HTTP with real synthesis: where each
// cue's speech is heard in the decoded output, what had to move, and what
// output.srt says.
#include "Mp3Codec.h"
#include "ServerTestSupport.h"
#include "Subtitles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr double kOnsetToleranceMs = 40.0;

std::string timeList(const std::vector<std::int64_t> &times)
{
    std::string list;
    for (std::int64_t t : times)
        contract::appendToTimeList(list, t);
    return list;
}

std::string audioList(const std::vector<fs::path> &files)
{
    std::string list;
    for (const fs::path &f : files)
        contract::appendToAudioList(list, f.string());
    return list;
}

// The speech onset nearest to `ms`, or a huge number when there is none.
double nearestOnset(const std::vector<double> &onsets, double ms)
{
    double best = 1e12;
    for (double o : onsets)
        if (std::abs(o - ms) < std::abs(best - ms))
            best = o;
    return best;
}

std::uint32_t le(const std::string &bytes, std::size_t at, int size)
{
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// A WAV file is the 44-byte header of 16-bit mono PCM at the engine's rate,
// then exactly the samples of the MP3 beside it.
void expectWavOfMp3(const fs::path &wav, const fs::path &mp3)
{
    const std::string bytes = readFile(wav);
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(le(bytes, 4, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le(bytes, 16, 4), 16u);      // the format chunk of plain PCM
    EXPECT_EQ(le(bytes, 20, 2), 1u);       // PCM
    EXPECT_EQ(le(bytes, 22, 2), 1u);       // mono
    EXPECT_EQ(le(bytes, 24, 4), 22050u);
    EXPECT_EQ(le(bytes, 28, 4), 44100u);   // bytes per second
    EXPECT_EQ(le(bytes, 32, 2), 2u);       // bytes per sample
    EXPECT_EQ(le(bytes, 34, 2), 16u);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(le(bytes, 40, 4), bytes.size() - 44);

    const DecodedMp3 audio = decodeMp3(mp3);
    ASSERT_TRUE(audio.ok);
    ASSERT_EQ(audio.rate, 22050);
    ASSERT_EQ((bytes.size() - 44) / 2, audio.samples.size()) << "the WAV lasts as long as the MP3";
    std::vector<std::int16_t> pcm((bytes.size() - 44) / 2);
    std::memcpy(pcm.data(), bytes.data() + 44, pcm.size() * 2);
    int worst = 0;
    for (std::size_t i = 0; i < pcm.size(); ++i)
        worst = std::max(worst, std::abs(int(pcm[i]) - int(audio.samples[i])));
    EXPECT_LE(worst, 2) << "the WAV holds the MP3's sound";
    EXPECT_GT(rms(pcm), 100.0);
}

class Timeline : public ::testing::Test {
protected:
    TempWorkDir work;
    RunningService service{work.path()};

    fs::path render(const std::string &text, const std::string &voice, const std::string &name)
    {
        auto r = postForm(service.port(), "ttsCommunicate", renderFields(text, voice, work.job(), name));
        EXPECT_EQ(r.code(), 1) << r.msg();
        return work.job() / (name + ".mp3");
    }

    Reply place(const std::vector<fs::path> &files, const std::vector<std::int64_t> &starts, Fields extra = {})
    {
        Fields f = {{"audio", audioList(files)}, {"starts", timeList(starts)}, {"path", work.job().string() + "/"}};
        f.insert(f.end(), extra.begin(), extra.end());
        return postForm(service.port(), "audioTimeline", f);
    }

    std::vector<srt::Cue> outputCues() { return srt::parse(readFile(work.job() / "output.srt")); }
};

// (number, shift in ms) of each move the reply reports.
std::vector<std::pair<int, std::int64_t>> moves(const Reply &r)
{
    std::vector<std::pair<int, std::int64_t>> out;
    for (const auto &m : r.body["data"])
        out.emplace_back(m["number"].get<int>(), m["shiftMs"].get<std::int64_t>());
    return out;
}

// One tone of `toneMs` after `leadMs` of silence and before `tailMs` of it, in
// the service's format, with the cue the service would write for it.
fs::path writeToneSegment(const fs::path &dir, const std::string &name, int leadMs, int toneMs, int tailMs)
{
    const int rate = mp3::kSampleRate;
    std::vector<std::int16_t> pcm(static_cast<std::size_t>((leadMs + toneMs + tailMs) * rate / 1000), 0);
    for (int i = 0; i < toneMs * rate / 1000; ++i)
        pcm[static_cast<std::size_t>(leadMs * rate / 1000 + i)] =
            static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265358979 * 440.0 * i / rate));
    mp3::Encoded enc;
    EXPECT_TRUE(mp3::encode(pcm.data(), pcm.size(), rate, enc));
    writeFile(dir / (name + ".mp3"), std::string(enc.bytes.begin(), enc.bytes.end()));
    const std::int64_t leadOut = enc.leadSamples * 1000 / rate;
    writeFile(dir / (name + ".srt"), srt::format({{leadMs + leadOut, leadMs + toneMs + leadOut, name}}));
    return dir / (name + ".mp3");
}

}  // namespace

TEST_F(Timeline, EachCueIsHeardAtItsTimeWithSilenceBetween)
{
    struct Seg {
        const char *text;
        const char *voice;
        std::int64_t startMs;
        const char *joined;  // the one cue of output.srt
    } segs[] = {
        {"今天的天气非常好，我们一起去公园散步吧。", "zh-CN-XiaoxiaoNeural", 1300, "今天的天气非常好，我们一起去公园散步吧。"},
        {"Let us walk to the park. It is a lovely day!", "en-US-Male1", 7250, "Let us walk to the park. It is a lovely day!"},
        {"谢谢大家。", "zh-CN-YunxiNeural", 13020, "谢谢大家。"},
        {"好的。", "zh-CN-XiaoxiaoNeural", 16480, "好的。"},
    };
    std::vector<fs::path> files;
    std::vector<std::int64_t> starts;
    int n = 0;
    for (const Seg &s : segs) {
        files.push_back(render(s.text, s.voice, std::to_string(++n)));
        starts.push_back(s.startMs);
    }

    auto r = place(files, starts, {{"end", "21000"}});
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.code(), 1) << r.msg();
    EXPECT_EQ(r.body["data"], nlohmann::json::array()) << "nothing had to move";

    const DecodedMp3 out = decodeMp3(work.job() / "output.mp3");
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.channels, 1);
    EXPECT_GE(out.seconds(), 21.0) << "it lasts to the asked end";
    EXPECT_LT(out.seconds(), 21.0 + 0.03) << "and no longer";
    const auto onsets = speechOnsets(out);
    for (const Seg &s : segs)
        EXPECT_NEAR(nearestOnset(onsets, double(s.startMs)), double(s.startMs), kOnsetToleranceMs) << s.text;
    // Before the first cue there is nothing but the silence the join wrote.
    EXPECT_LT(rms(out.samples, 0, std::size_t(1000 * 22050 / 1000)), 1.0);

    const auto cues = outputCues();
    ASSERT_EQ(cues.size(), std::size(segs)) << readFile(work.job() / "output.srt");
    for (std::size_t i = 0; i < cues.size(); ++i) {
        SCOPED_TRACE(segs[i].text);
        EXPECT_EQ(cues[i].text, segs[i].joined);
        EXPECT_EQ(cues[i].startMs, segs[i].startMs) << "unmoved cues keep their time";
        EXPECT_GT(cues[i].endMs, cues[i].startMs + 300);
        if (i + 1 < cues.size()) {
            EXPECT_LE(cues[i].endMs, cues[i + 1].startMs);
        }
        // The cue ends where its speech has faded.
        const std::size_t endSample = std::size_t(cues[i].endMs * 22050 / 1000);
        EXPECT_LT(rms(out.samples, endSample + 100 * 22, endSample + 300 * 22), 300.0);
    }
    EXPECT_FALSE(fs::exists(work.job() / "output.wav")) << "a WAV only when asked";
}

TEST_F(Timeline, AnOverlappingSegmentStartsRightAfterTheOneBeforeAndNothingElseMoves)
{
    const fs::path longOne = render("清晨的阳光透过窗户洒进房间，小林揉了揉眼睛，慢慢地坐了起来。", "zh-CN-XiaoxiaoNeural", "long");
    const fs::path second = render("他想起今天要去图书馆。", "zh-CN-YunxiNeural", "second");
    const fs::path third = render("好的。", "zh-CN-XiaoxiaoNeural", "third");
    const fs::path missing = work.job() / "failed.mp3";

    struct Case {
        const char *label;
        std::vector<fs::path> files;
        std::vector<std::int64_t> starts;
        int movedNumber;         // the list position that moves
        std::size_t movedCue;    // its cue in output.srt
        std::size_t fixedCue;    // a later cue that keeps its time, or SIZE_MAX
    } cases[] = {
        {"second cue inside the first", {longOne, second, third}, {500, 2500, 30000}, 2, 1, 2},
        {"a missing segment keeps its number", {longOne, missing, second, third}, {500, 900, 2500, 30000}, 3, 1, 2},
        {"times out of order", {third, longOne, second}, {20000, 500, 40000}, 2, 1, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        auto r = place(c.files, c.starts);
        ASSERT_EQ(r.code(), 1) << r.msg();
        const auto moved = moves(r);
        ASSERT_EQ(moved.size(), 1u) << r.raw;
        EXPECT_EQ(moved[0].first, c.movedNumber);

        const auto cues = outputCues();
        const DecodedMp3 out = decodeMp3(work.job() / "output.mp3");
        const auto onsets = speechOnsets(out);
        ASSERT_GT(cues.size(), c.fixedCue);
        const srt::Cue &before = cues[c.movedCue - 1];
        const srt::Cue &shifted = cues[c.movedCue];
        const std::int64_t asked = c.starts[std::size_t(c.movedNumber - 1)];
        // Moved by the reported amount, to right after the speech before it.
        EXPECT_EQ(shifted.startMs, asked + moved[0].second);
        EXPECT_GE(shifted.startMs, before.endMs);
        EXPECT_LE(shifted.startMs, before.endMs + 250) << "no more than the speech before it needs";
        EXPECT_NEAR(nearestOnset(onsets, double(shifted.startMs)), double(shifted.startMs), kOnsetToleranceMs);
        // What came after it keeps its own time: no drift.
        const std::int64_t fixedAsked = c.starts.back();
        EXPECT_EQ(cues[c.fixedCue].startMs, fixedAsked);
        EXPECT_NEAR(nearestOnset(onsets, double(fixedAsked)), double(fixedAsked), kOnsetToleranceMs);
    }
}

// A segment's silent tail is cut rather than moving the next one; its sound
// is never cut.
TEST_F(Timeline, TheNextCueMayStartInTheSilentTailOfTheOneBefore)
{
    const fs::path a = writeToneSegment(work.job(), "a", 0, 1000, 1500);
    const fs::path b = writeToneSegment(work.job(), "b", 0, 500, 200);
    // b's tone starts 1.4 s after a's: inside a's file, after its tone.
    auto r = place({a, b}, {2000, 3400});
    ASSERT_EQ(r.code(), 1) << r.msg();
    EXPECT_EQ(r.body["data"], nlohmann::json::array());

    const DecodedMp3 out = decodeMp3(work.job() / "output.mp3");
    const auto onsets = speechOnsets(out);
    EXPECT_NEAR(nearestOnset(onsets, 2000), 2000, kOnsetToleranceMs);
    EXPECT_NEAR(nearestOnset(onsets, 3400), 3400, kOnsetToleranceMs);
    // a's tone whole: loud from 2.0 to 3.0 s.
    EXPECT_GT(rms(out.samples, std::size_t(2.05 * 22050), std::size_t(2.95 * 22050)), 4000.0);
    EXPECT_LT(rms(out.samples, std::size_t(3.1 * 22050), std::size_t(3.35 * 22050)), 300.0);
    EXPECT_NEAR(out.seconds(), 3.4 + 0.5 + 0.2 + 0.1, 0.12) << "a's tail is gone, b's kept";

    // One step later b would reach into a's tone, so it moves after it.
    r = place({a, b}, {2000, 2900});
    ASSERT_EQ(r.code(), 1) << r.msg();
    const auto moved = moves(r);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].first, 2);
    EXPECT_GE(2900 + moved[0].second, 3000);
    EXPECT_LE(2900 + moved[0].second, 3000 + 200) << "right after its tone";
}

TEST_F(Timeline, CueEndsAsAskedUnlessTheSpeechRunsLonger)
{
    const fs::path a = writeToneSegment(work.job(), "a", 0, 1000, 100);
    const fs::path b = writeToneSegment(work.job(), "b", 0, 1000, 100);
    // a's slot is longer than its sound, b's shorter.
    auto r = place({a, b}, {1000, 4000}, {{"ends", "3500,4500"}, {"end", "1000"}});
    ASSERT_EQ(r.code(), 1) << r.msg();
    const auto cues = outputCues();
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(cues[0].startMs, 1000);
    EXPECT_EQ(cues[0].endMs, 3500);
    EXPECT_EQ(cues[1].startMs, 4000);
    EXPECT_NEAR(double(cues[1].endMs), 5000, 30) << "the tone is heard to 5.0 s";
    EXPECT_EQ(cues[0].text, "a");
    const DecodedMp3 out = decodeMp3(work.job() / "output.mp3");
    EXPECT_GE(out.seconds() * 1000, double(cues[1].endMs)) << "the output reaches the last cue's end";
}

TEST_F(Timeline, BothJoinsWriteAWavOfTheirOutputWhenAsked)
{
    const fs::path one = render("你好，世界。", "zh-CN-XiaoxiaoNeural", "1");
    const fs::path two = render("Good morning.", "en-US-Female1", "2");

    auto r = place({one, two}, {800, 4000}, {{"wav", "1"}, {"end", "6000"}});
    ASSERT_EQ(r.code(), 1) << r.msg();
    expectWavOfMp3(work.job() / "output.wav", work.job() / "output.mp3");

    r = postForm(service.port(), "audioCombined",
                 {{"audio", audioList({one, two})}, {"path", work.job().string() + "/"}, {"dura", "500"}, {"wav", "1"}});
    ASSERT_EQ(r.code(), 1) << r.msg();
    expectWavOfMp3(work.job() / "output.wav", work.job() / "output.mp3");

    // A join that asks for none leaves no WAV of an earlier one behind.
    r = postForm(service.port(), "audioCombined",
                 {{"audio", audioList({one})}, {"path", work.job().string() + "/"}, {"dura", "0"}, {"wav", "0"}});
    ASSERT_EQ(r.code(), 1) << r.msg();
    EXPECT_FALSE(fs::exists(work.job() / "output.wav"));
}

// Every bad timeline request: code 0, a message, HTTP 200, nothing written.
struct BadTimeline {
    const char *label;
    const char *endpoint;
    std::function<Fields(const fs::path &job, const fs::path &outside)> fields;
};

class BadTimelineInput : public ::testing::TestWithParam<BadTimeline> {};

TEST_P(BadTimelineInput, AnswersCodeZeroWithAMessageAndWritesNothing)
{
    TempWorkDir work;
    const fs::path outside = work.path() / "outside";
    fs::create_directories(outside);
    writeToneSegment(outside, "secret", 0, 300, 100);
    writeToneSegment(work.job(), "1", 0, 300, 100);
    writeToneSegment(work.job(), "2", 0, 300, 100);
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

static Fields timeline(const fs::path &job, std::function<void(Fields &)> change = {})
{
    Fields f = {{"audio", audioList({job / "1.mp3", job / "2.mp3"})},
                {"starts", "0,2000"},
                {"path", job.string() + "/"}};
    if (change)
        change(f);
    return f;
}
static void setField(Fields &f, const std::string &key, const std::string &value)
{
    for (auto &kv : f)
        if (kv.first == key) {
            kv.second = value;
            return;
        }
    f.emplace_back(key, value);
}
static void dropField(Fields &f, const std::string &key)
{
    f.erase(std::remove_if(f.begin(), f.end(), [&](auto &kv) { return kv.first == key; }), f.end());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BadTimelineInput,
    ::testing::Values(
        BadTimeline{"no audio", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { dropField(f, "audio"); }); }},
        BadTimeline{"no starts", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { dropField(f, "starts"); }); }},
        BadTimeline{"no path", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { dropField(f, "path"); }); }},
        BadTimeline{"empty list", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "audio", "??"); setField(f, "starts", "0"); }); }},
        BadTimeline{"starts empty", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", ""); }); }},
        BadTimeline{"starts in seconds", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0s,2s"); }); }},
        BadTimeline{"starts negative", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "-5,2000"); }); }},
        BadTimeline{"starts with blanks", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0, 2000"); }); }},
        BadTimeline{"starts empty piece", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0,,2000"); }); }},
        BadTimeline{"starts trailing comma", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0,2000,"); }); }},
        BadTimeline{"starts past a day", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0,86400001"); }); }},
        BadTimeline{"starts too long a number", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0,99999999999999999999"); }); }},
        BadTimeline{"fewer starts than files", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0"); }); }},
        BadTimeline{"more starts than files", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "starts", "0,1,2"); }); }},
        BadTimeline{"ends not times", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "ends", "1000,x"); }); }},
        BadTimeline{"ends too few", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "ends", "1000"); }); }},
        BadTimeline{"end before start", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "ends", "1000,1999"); }); }},
        BadTimeline{"end words", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "end", "long"); }); }},
        BadTimeline{"end past a day", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "end", "86400001"); }); }},
        BadTimeline{"wav yes", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "wav", "yes"); }); }},
        BadTimeline{"wav empty", "audioTimeline", [](auto &j, auto &) { return timeline(j, [](Fields &f) { setField(f, "wav", ""); }); }},
        BadTimeline{"into outside", "audioTimeline", [](auto &j, auto &o) { return timeline(j, [&](Fields &f) { setField(f, "path", o.string() + "/"); }); }},
        BadTimeline{"into link", "audioTimeline", [](auto &j, auto &) { return timeline(j, [&](Fields &f) { setField(f, "path", (j / "escape").string() + "/"); }); }},
        BadTimeline{"into missing", "audioTimeline", [](auto &j, auto &) { return timeline(j, [&](Fields &f) { setField(f, "path", (j / "later").string() + "/"); }); }},
        BadTimeline{"reads outside", "audioTimeline", [](auto &j, auto &o) { return timeline(j, [&](Fields &f) { setField(f, "audio", audioList({j / "1.mp3", o / "secret.mp3"})); }); }},
        BadTimeline{"reads via link", "audioTimeline", [](auto &j, auto &) { return timeline(j, [&](Fields &f) { setField(f, "audio", audioList({j / "link.mp3", j / "1.mp3"})); }); }},
        BadTimeline{"reads system", "audioTimeline", [](auto &j, auto &) { return timeline(j, [&](Fields &f) { setField(f, "audio", audioList({j / "1.mp3", "/etc/passwd"})); }); }},
        BadTimeline{"dot-dot", "audioTimeline", [](auto &j, auto &) { return timeline(j, [&](Fields &f) { setField(f, "audio", audioList({j / "1.mp3", j / "../../outside/secret.mp3"})); }); }},
        BadTimeline{"nothing usable", "audioTimeline", [](auto &j, auto &) { return timeline(j, [&](Fields &f) { setField(f, "audio", audioList({j / "file", j / "missing.mp3"})); }); }},
        BadTimeline{"join wav two", "audioCombined", [](auto &j, auto &) { return Fields{{"audio", (j / "1.mp3").string() + "?"}, {"path", j.string() + "/"}, {"dura", "0"}, {"wav", "2"}}; }}),
    [](const auto &info) {
        std::string s = info.param.label;
        for (char &c : s)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return s;
    });

TEST(TimelineCrossSite, BrowserRequestsAreRefusedWith403AndWriteNothing)
{
    TempWorkDir work;
    const fs::path one = writeToneSegment(work.job(), "1", 0, 300, 100);
    RunningService service(work.path());
    const Fields fields = {{"audio", audioList({one})}, {"starts", "500"}, {"path", work.job().string() + "/"}};
    const auto before = snapshot(work.path());
    for (const auto &[header, value] : std::vector<std::pair<std::string, std::string>>{
             {"Origin", "https://evil.example"}, {"Sec-Fetch-Site", "cross-site"}, {"Host", "rebound.example:5000"}}) {
        SCOPED_TRACE(header);
        auto r = postForm(service.port(), "audioTimeline", fields, {{header, value}});
        EXPECT_EQ(r.status, 403);
        EXPECT_EQ(r.code(), 0);
        EXPECT_EQ(snapshot(work.path()), before);
    }
    EXPECT_EQ(postForm(service.port(), "audioTimeline", fields).code(), 1);
}

TEST(TimelineBodies, MalformedBodiesAreRepliesNotFailures)
{
    TempWorkDir work;
    RunningService service(work.path());
    for (const auto &[body, type] : std::vector<std::pair<std::string, std::string>>{
             {"audio=%E4%B&starts=0", "application/x-www-form-urlencoded"},
             {"{\"audio\":\"x\"}", "application/json"},
             {"", "application/x-www-form-urlencoded"}}) {
        auto r = postRaw(service.port(), "audioTimeline", body, type);
        EXPECT_EQ(r.status, 200) << body;
        EXPECT_EQ(r.code(), 0) << body;
        EXPECT_FALSE(r.msg().empty());
    }
}
