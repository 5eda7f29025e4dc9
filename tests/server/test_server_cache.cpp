// The render cache: a segment served from it is byte for byte what its render
// wrote, whatever was rendered in between, and the cache keeps to its byte
// bound by dropping the least recently used entries.
#include "RenderCache.h"
#include "SegmentRender.h"
#include "ServerTestSupport.h"
#include "Subtitles.h"

#include <gtest/gtest.h>

#include <set>

using namespace tavrel;
using namespace tavrel::test;

namespace {

RenderedSegment fakeSegment(std::size_t mp3Bytes, char fill)
{
    RenderedSegment s;
    s.mp3.assign(mp3Bytes, static_cast<std::uint8_t>(fill));
    s.srt = std::string("1\n00:00:00,000 --> 00:00:01,000\n") + fill + "\n\n";
    return s;
}

struct Case {
    const char *text;
    const char *voice;
    int rate;
    int volume;
};

std::string percent(int v)
{
    return (v < 0 ? "" : "+") + std::to_string(v) + "%";
}

RenderJob jobFor(const Case &c, const fs::path &dir, const std::string &name)
{
    RenderJob job;
    job.text = c.text;
    std::u32string text;
    srt::decodeUtf8(c.text, text);
    job.prepared = reading::asWritten(text);
    job.voice = c.voice;
    job.ratePercent = c.rate;
    job.volumePercent = c.volume;
    job.media = dir / (name + ".mp3");
    job.subtitles = dir / (name + ".srt");
    return job;
}

// Texts shared between voices, rates and volumes: an entry found under the
// wrong key would show as different bytes.
const Case kCases[] = {
    {"清晨的阳光透过窗户洒进房间，小林揉了揉眼睛。", "zh-CN-XiaoxiaoNeural", 0, 0},
    {"清晨的阳光透过窗户洒进房间，小林揉了揉眼睛。", "zh-CN-YunxiNeural", 0, 0},
    {"清晨的阳光透过窗户洒进房间，小林揉了揉眼睛。", "zh-CN-XiaoxiaoNeural", 40, 0},
    {"清晨的阳光透过窗户洒进房间，小林揉了揉眼睛。", "zh-CN-XiaoxiaoNeural", 0, -50},
    {"The morning train was late again, so everyone had time to talk.", "en-US-Male1", -25, 0},
    {"The morning train was late again, so everyone had time to talk.", "en-GB-Female2", 0, 30},
    {"他说：Hello, world! 然后笑了。", "zh-CN-YunjianNeural", 100, -20},
};

}  // namespace

TEST(RenderCache, DropsTheLeastRecentlyUsedAndKeepsToItsBound)
{
    const std::size_t entryBytes = 10000;
    // Room for two entries with their allowance, not three.
    RenderCache cache(2 * entryBytes + 2000);
    const RenderKey a{"a", "v", 0, 0}, b{"b", "v", 0, 0}, c{"c", "v", 0, 0};
    cache.insert(a, fakeSegment(entryBytes, 'a'));
    cache.insert(b, fakeSegment(entryBytes, 'b'));
    ASSERT_NE(cache.find(a), nullptr);  // a is now the most recent
    cache.insert(c, fakeSegment(entryBytes, 'c'));

    EXPECT_EQ(cache.find(b), nullptr);
    auto keptA = cache.find(a);
    auto keptC = cache.find(c);
    ASSERT_NE(keptA, nullptr);
    ASSERT_NE(keptC, nullptr);
    EXPECT_EQ(keptA->mp3, fakeSegment(entryBytes, 'a').mp3);
    EXPECT_EQ(keptC->srt, fakeSegment(entryBytes, 'c').srt);
    const auto stats = cache.stats();
    EXPECT_EQ(stats.entries, 2u);
    EXPECT_LE(stats.bytes, cache.maxBytes());
}

TEST(RenderCache, KeyTellsEveryFieldApart)
{
    RenderCache cache(1 << 20);
    const RenderKey base{"text", "voice", 10, -10};
    cache.insert(base, fakeSegment(100, 'x'));
    // The last: the same voice after its pitch or pace was changed.
    for (const RenderKey &other : {RenderKey{"text ", "voice", 10, -10}, RenderKey{"text", "voice2", 10, -10},
                                   RenderKey{"text", "voice", 11, -10}, RenderKey{"text", "voice", 10, -9},
                                   RenderKey{"text", "voice", 10, -10, "", "f1 pitch 60"}})
        EXPECT_EQ(cache.find(other), nullptr) << other.text << "/" << other.voice << "/" << other.ratePercent << "/"
                                              << other.volumePercent;
    EXPECT_NE(cache.find(base), nullptr);
}

TEST(RenderCache, AnEntryLargerThanTheBoundIsNotKept)
{
    RenderCache cache(4096);
    cache.insert({"big", "v", 0, 0}, fakeSegment(8192, 'b'));
    EXPECT_EQ(cache.find({"big", "v", 0, 0}), nullptr);
    EXPECT_EQ(cache.stats().bytes, 0u);
}

// espeak-ng carries state from one utterance to the next, so two renders of
// the same request differ in a few samples; the files a render wrote are the
// only "fresh render" there is. A hit must write exactly those bytes, whatever
// the engine spoke in between, and never another key's.
TEST(CachedRender, WritesExactlyWhatTheRenderWrote)
{
    TempWorkDir work;
    const fs::path fresh = work.job() / "fresh", cached = work.job() / "cached";
    for (const auto &d : {fresh, cached})
        fs::create_directories(d);
    auto engine = sharedEngine();
    RenderCache cache(64u << 20);
    const std::size_t n = std::size(kCases);

    for (std::size_t i = 0; i < n; ++i)
        ASSERT_TRUE(renderSegmentCached(*engine, cache, jobFor(kCases[i], fresh, std::to_string(i))).ok) << i;
    EXPECT_EQ(cache.stats().misses, n);
    // The engine speaks other things in between, then everything comes back
    // from the cache in the other order.
    for (std::size_t i = 0; i < n; ++i)
        ASSERT_TRUE(renderSegment(*engine, jobFor(kCases[i], work.job(), "other" + std::to_string(i))).ok) << i;
    for (std::size_t i = n; i-- > 0;)
        ASSERT_TRUE(renderSegmentCached(*engine, cache, jobFor(kCases[i], cached, std::to_string(i))).ok) << i;
    EXPECT_EQ(cache.stats().hits, n);

    std::set<std::string> distinct;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string name = std::to_string(i);
        for (const char *ext : {".mp3", ".srt"}) {
            const std::string want = readFile(fresh / (name + ext));
            ASSERT_FALSE(want.empty()) << name << ext;
            EXPECT_EQ(readFile(cached / (name + ext)), want) << "case " << i << ext;
        }
        distinct.insert(readFile(fresh / (name + ".mp3")));
    }
    // Every case sounds different, so a mixed-up key could not go unseen.
    EXPECT_EQ(distinct.size(), n);
}

TEST(CachedRender, TheServiceAnswersARepeatWithTheSameFiles)
{
    TempWorkDir work;
    RunningService service(work.path());
    const Case &c = kCases[6];
    const Fields once = renderFields(c.text, c.voice, work.job(), "once", percent(c.rate), percent(c.volume));
    const Fields other = renderFields(kCases[4].text, kCases[4].voice, work.job(), "other");
    const Fields again = renderFields(c.text, c.voice, work.job(), "again", percent(c.rate), percent(c.volume));
    ASSERT_EQ(postForm(service.port(), "ttsCommunicate", once).code(), 1);
    ASSERT_EQ(postForm(service.port(), "ttsCommunicate", other).code(), 1);
    ASSERT_EQ(postForm(service.port(), "ttsCommunicate", again).code(), 1);

    for (const char *ext : {".mp3", ".srt"}) {
        const std::string want = readFile(work.job() / (std::string("once") + ext));
        ASSERT_FALSE(want.empty());
        EXPECT_EQ(readFile(work.job() / (std::string("again") + ext)), want) << ext;
    }
}
