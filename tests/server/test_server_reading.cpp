// The reading endpoint and what the real service says, end to end over HTTP:
// readings, espeak's own phoneme trace, subtitles in the written text, and
// the user's lexicon.txt picked up while the service runs.
#include "ServerTestSupport.h"
#include "ServiceContract.h"
#include "Subtitles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

using namespace tavrel;
using namespace tavrel::test;

namespace {

class Reading : public ::testing::Test {
protected:
    TempWorkDir work;
    RunningService service{work.path()};

    Reply reading(const std::string &text, const std::string &voice = "zh-CN-XiaoxiaoNeural")
    {
        return postForm(service.port(), "ttsReading", {{"text", text}, {"voice", voice}});
    }
    static std::string field(const Reply &r, const char *name)
    {
        if (!r.body.contains("data") || !r.body["data"].is_object() || !r.body["data"].contains(name))
            return "<missing>";
        return r.body["data"][name].get<std::string>();
    }
    void writeLexicon(const std::string &content)
    {
        // Replaced by rename, as editors and the program do.
        const auto tmp = work.path() / ".lexicon.tmp";
        std::ofstream(tmp, std::ios::binary) << content;
        fs::rename(tmp, work.path() / "lexicon.txt");
    }
    // The service looks at the file a few times a second: wait for the change.
    std::string readingOnceChanged(const std::string &text, const std::string &expected)
    {
        std::string got;
        for (int i = 0; i < 50; ++i) {
            got = field(reading(text), "reading");
            if (got == expected)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return got;
    }
};

std::size_t utf8CodePoints(const std::string &s)
{
    std::size_t n = 0;
    for (char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

TEST_F(Reading, AnswersReadingAndPhonemes)
{
    const Reply r = reading("重庆银行的行长明天还钱。");
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.code(), 1) << r.raw;
    EXPECT_EQ(field(r, "reading"), "chong2 qing4 yin2 hang2 de5 hang2 zhang3 ming2 tian1 huan2 qian2");
    const std::string ph = field(r, "phonemes");
    EXPECT_FALSE(ph.empty());
    EXPECT_EQ(ph.find("(en)"), std::string::npos) << ph;
}

TEST_F(Reading, ChineseIsNeverSpokenWithEnglishSounds)
{
    const char *sentences[] = {
        "今天天气很好，我们一起去公园散步吧。",
        "会议定于2026年12月10日14:30召开，预计持续3-5天。",
        "本次活动的参与率达到了15%，比去年提高了3.5个百分点。",
        "请拨打客服电话13800138000，或者发送邮件咨询。",
        "臺灣的朋友們，大家好！",
    };
    for (const char *voice : {"zh-CN-XiaoxiaoNeural", "zh-CN-YunxiNeural", "zh-TW-HsiaoChenNeural",
                              "zh-TW-YunJheNeural"}) {
        for (const char *s : sentences) {
            SCOPED_TRACE(std::string(voice) + " " + s);
            const Reply r = reading(s, voice);
            ASSERT_EQ(r.code(), 1) << r.raw;
            EXPECT_EQ(field(r, "phonemes").find('('), std::string::npos) << field(r, "phonemes");
        }
    }
}

TEST_F(Reading, LatinRunsAreSpokenInEnglishBetweenMandarin)
{
    const Reply r = reading("我买了一部iPhone，很好用。");
    ASSERT_EQ(r.code(), 1);
    EXPECT_EQ(field(r, "reading"), "wo3 mai3 le5 yi2 bu4 iPhone hen3 hao3 yong4");
    const std::string ph = field(r, "phonemes");
    const auto en = ph.find("(en)");
    ASSERT_NE(en, std::string::npos) << ph;
    EXPECT_NE(ph.find("(cmn)", en), std::string::npos) << ph;
}

TEST_F(Reading, OffersTaiwanVoices)
{
    const Reply voices = getJson(service.port(), "getVoices");
    ASSERT_EQ(voices.code(), 1);
    std::vector<std::string> taiwan;
    for (const auto &v : voices.body["data"])
        if (v["locale"] == "zh-TW")
            taiwan.push_back(v["name"].get<std::string>());
    EXPECT_EQ(taiwan, (std::vector<std::string>{"zh-TW-HsiaoChenNeural", "zh-TW-YunJheNeural",
                                                "zh-TW-HsiaoYuNeural"}));
}

TEST_F(Reading, RefusesWhatItCannotRead)
{
    struct Case {
        Fields fields;
        const char *msg;
    } cases[] = {
        {{{"voice", "zh-CN-XiaoxiaoNeural"}}, "缺少参数：text"},
        {{{"text", "你好"}}, "缺少参数：voice"},
        {{{"text", "   "}, {"voice", "zh-CN-XiaoxiaoNeural"}}, "文本为空"},
        {{{"text", "你好"}, {"voice", "xx-XX-Nobody"}}, "未知的语音：xx-XX-Nobody"},
        {{{"text", "\xE4\xBD"}, {"voice", "zh-CN-XiaoxiaoNeural"}}, "文本编码错误"},
        {{{"text", std::string(contract::textMaxBytes + 1, 'a')}, {"voice", "zh-CN-XiaoxiaoNeural"}}, "文本过长"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.msg);
        const Reply r = postForm(service.port(), "ttsReading", c.fields);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.code(), 0);
        EXPECT_EQ(r.msg(), c.msg);
    }
    // A form from a web page is refused like the other endpoints.
    const Reply cross = postForm(service.port(), "ttsReading", {{"text", "你好"}, {"voice", "zh-CN-XiaoxiaoNeural"}},
                                 {{"Origin", "http://example.com"}});
    EXPECT_EQ(cross.status, 403);
    EXPECT_EQ(cross.code(), 0);
}

TEST_F(Reading, SubtitlesKeepTheWrittenTextAndFollowTheAudio)
{
    const std::string text = "2026年12月10日，我买了一部iPhone。价格是¥12.50，便宜了15%！";
    const Reply r = postForm(service.port(), "ttsCommunicate",
                             renderFields(text, "zh-CN-YunxiNeural", work.job(), "seg"));
    ASSERT_EQ(r.code(), 1) << r.raw;
    const auto cues = srt::parse(readFile(work.job() / "seg.srt"));
    ASSERT_EQ(cues.size(), 4u) << readFile(work.job() / "seg.srt");
    EXPECT_EQ(cues[0].text, "2026年12月10日，");
    EXPECT_EQ(cues[1].text, "我买了一部iPhone。");
    EXPECT_EQ(cues[2].text, "价格是¥12.50，");
    EXPECT_EQ(cues[3].text, "便宜了15%！");
    const auto audio = decodeMp3(work.job() / "seg.mp3");
    ASSERT_TRUE(audio.ok);
    const auto onsets = speechOnsets(audio);
    for (const auto &c : cues) {
        double nearest = 1e9, at = -1;
        for (double o : onsets)
            if (std::abs(o - double(c.startMs)) < nearest) {
                nearest = std::abs(o - double(c.startMs));
                at = o;
            }
        EXPECT_LE(nearest, 60.0) << c.text << " at " << c.startMs << ", nearest onset " << at;
        EXPECT_LE(double(c.endMs), audio.seconds() * 1000 + 1);
    }
}

TEST_F(Reading, UserLexiconIsPickedUpWithoutARestart)
{
    // Missing: the built-in reading, no error.
    EXPECT_EQ(field(reading("重庆"), "reading"), "chong2 qing4");

    // A hit, and a bad line that is skipped while the rest still counts.
    writeLexicon("# 方言读法\n重庆\tzhong4 qing4\n坏行没有制表符\n银行\tyin2 xyz9\n");
    EXPECT_EQ(readingOnceChanged("重庆银行", "zhong4 qing4 yin2 hang2"), "zhong4 qing4 yin2 hang2");

    // Changed again: the new entry is read, and a render uses it too.
    writeLexicon("重庆\tchong2 qing4\n银行\tyin2 xing2\n");
    EXPECT_EQ(readingOnceChanged("重庆银行", "chong2 qing4 yin2 xing2"), "chong2 qing4 yin2 xing2");

    // Removed: back to the built-in data.
    fs::remove(work.path() / "lexicon.txt");
    EXPECT_EQ(readingOnceChanged("重庆银行", "chong2 qing4 yin2 hang2"), "chong2 qing4 yin2 hang2");
}

TEST_F(Reading, ARenderFollowsTheLexiconEvenWhenTheSameTextWasRenderedBefore)
{
    const std::string text = "我们去银行。";
    ASSERT_EQ(postForm(service.port(), "ttsCommunicate", renderFields(text, "zh-CN-YunxiNeural", work.job(), "a"))
                  .code(),
              1);
    writeLexicon("银行\tyin2 xing2\n");
    ASSERT_EQ(readingOnceChanged(text, "wo3 men5 qu4 yin2 xing2"), "wo3 men5 qu4 yin2 xing2");
    ASSERT_EQ(postForm(service.port(), "ttsCommunicate", renderFields(text, "zh-CN-YunxiNeural", work.job(), "b"))
                  .code(),
              1);
    // The second render is not the first one's bytes from the cache.
    EXPECT_NE(readFile(work.job() / "a.mp3"), readFile(work.job() / "b.mp3"));
}

TEST_F(Reading, SourcesMarkWhatTheUsersListRead)
{
    // Without a list every piece comes from the service's own data.
    const Reply plain = reading("我们去重庆");
    ASSERT_EQ(plain.code(), 1) << plain.raw;
    EXPECT_EQ(field(plain, "reading"), "wo3 men5 qu4 chong2 qing4");
    // Words of the word list, a character no word decided.
    EXPECT_EQ(field(plain, "sources"), "wwcww");

    writeLexicon("# 测试\n重庆\tzhong4 qing4\n一点儿\tyi1 dianr3\n");
    ASSERT_EQ(readingOnceChanged("我们去重庆", "wo3 men5 qu4 zhong4 qing4"), "wo3 men5 qu4 zhong4 qing4");
    struct Case {
        const char *text;
        const char *reading;
        const char *sources;
    } cases[] = {
        {"我们去重庆", "wo3 men5 qu4 zhong4 qing4", "wwcuu"},
        // A Latin word is one piece; a merged erhua syllable is one piece for two characters.
        {"重庆iPhone", "zhong4 qing4 iPhone", "uud"},
        {"等一点儿", "deng3 yi1 dianr3", "cuu"},
        {"重庆，我们", "zhong4 qing4 wo3 men5", "uuww"},
        // A rule decided: 的 between words, 不 between a verb and its
        // complement.
        {"银行的行长", "yin2 hang2 de5 hang2 zhang3", "wwrww"},
        {"找不到", "zhao3 bu5 dao4", "crc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const Reply r = reading(c.text);
        ASSERT_EQ(r.code(), 1) << r.raw;
        EXPECT_EQ(field(r, "reading"), c.reading);
        EXPECT_EQ(field(r, "sources"), c.sources);
    }
}

TEST_F(Reading, SourcesOfJapaneseAreOnePerKana)
{
    const Reply before = reading("東京に行く", "ja-JP-Female1");
    ASSERT_EQ(before.code(), 1) << before.raw;
    const std::string kana = field(before, "reading");
    ASSERT_FALSE(kana.empty());
    EXPECT_EQ(field(before, "sources"), std::string(utf8CodePoints(kana), 'd'));

    writeLexicon("東京\tとーきょー\n");
    std::string got;
    for (int i = 0; i < 50 && got.rfind("とーきょー", 0) != 0; ++i) {
        got = field(reading("東京に行く", "ja-JP-Female1"), "reading");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(got.rfind("とーきょー", 0), 0u) << got;
    const std::string sources = field(reading("東京に行く", "ja-JP-Female1"), "sources");
    ASSERT_EQ(sources.size(), utf8CodePoints(got));
    EXPECT_EQ(sources.substr(0, 5), "uuuuu");
    EXPECT_EQ(sources.find('u', 5), std::string::npos) << sources;
}

TEST_F(Reading, OtherLanguagesHaveNoSources)
{
    const Reply r = reading("Hello there.", "en-US-Female1");
    ASSERT_EQ(r.code(), 1) << r.raw;
    EXPECT_EQ(field(r, "sources"), "");
}

// The optional `reading` field of a render: heard instead of the text's own
// reading, without touching lexicon.txt.
TEST_F(Reading, ARenderReadsTheReadingItIsGiven)
{
    const std::string voice = "zh-CN-YunxiNeural";
    auto render = [&](const std::string &name, const char *given) {
        Fields fields = renderFields("重庆", voice, work.job(), name);
        if (given)
            fields.emplace_back("reading", given);
        return postForm(service.port(), "ttsCommunicate", fields);
    };
    ASSERT_EQ(render("own", nullptr).code(), 1);
    ASSERT_EQ(render("same", "chong2 qing4").code(), 1);
    ASSERT_EQ(render("other", "zhong4 qing4").code(), 1);
    // Its own reading given back sounds the same; another reading does not.
    EXPECT_EQ(readFile(work.job() / "own.mp3"), readFile(work.job() / "same.mp3"));
    EXPECT_NE(readFile(work.job() / "own.mp3"), readFile(work.job() / "other.mp3"));
    // Subtitles keep the written text.
    EXPECT_NE(readFile(work.job() / "other.srt").find("重庆"), std::string::npos);
    // The same reading as the user's list would give is the same sound.
    writeLexicon("重庆\tzhong4 qing4\n");
    ASSERT_EQ(readingOnceChanged("重庆", "zhong4 qing4"), "zhong4 qing4");
    ASSERT_EQ(render("listed", nullptr).code(), 1);
    EXPECT_EQ(readFile(work.job() / "listed.mp3"), readFile(work.job() / "other.mp3"));
    // Nothing was written to the list by a render.
    EXPECT_EQ(readFile(work.path() / "lexicon.txt"), "重庆\tzhong4 qing4\n");
}

TEST_F(Reading, AGivenReadingCoversTheTextAsRead)
{
    struct Case {
        const char *text;
        const char *reading;
    } cases[] = {
        // Numbers are written out first: 2026 is four characters.
        {"2026年", "er4 ling2 er4 liu4 nian2"},
        // A merged erhua syllable takes the 儿 after it.
        {"一点儿", "yi4 dianr3"},
        // Punctuation and Latin words take no syllable.
        {"重庆，iPhone。", "zhong4 qing4"},
        // Tone marks and glued syllables are read as in lexicon.txt.
        {"重庆", "zhòng qìng"},
        {"重庆", "zhong4qing4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Fields fields = renderFields(c.text, "zh-CN-XiaoxiaoNeural", work.job(), "ok");
        fields.emplace_back("reading", c.reading);
        const Reply r = postForm(service.port(), "ttsCommunicate", fields);
        EXPECT_EQ(r.code(), 1) << r.raw;
    }
}

TEST_F(Reading, AReadingThatDoesNotFitIsRefused)
{
    struct Case {
        const char *text;
        const char *voice;
        const char *reading;
        const char *msg;
    } cases[] = {
        {"重庆", "zh-CN-XiaoxiaoNeural", "chong2 qxng4", "读音错误：无法识别的拼音：qxng4"},
        {"重庆", "zh-CN-XiaoxiaoNeural", "chong2 qing7", "读音错误：声调必须是 1 到 5：qing7"},
        {"重庆", "zh-CN-XiaoxiaoNeural", "chong2", "读音错误：读音有 1 个音节，但文本有 2 个汉字"},
        {"重庆", "zh-CN-XiaoxiaoNeural", "chong2 qing4 shi4", "读音错误：读音有 3 个音节，但文本有 2 个汉字"},
        {"花园", "zh-CN-XiaoxiaoNeural", "huar1 yuan2", "读音错误：儿化音节 huar1 后面应是“儿”字"},
        {"重庆", "zh-CN-XiaoxiaoNeural", "", "读音错误：读音为空"},
        {"Hello", "en-US-Female1", "ni3", "读音错误：只有中文语音可以指定拼音读音"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + c.reading);
        Fields fields = renderFields(c.text, c.voice, work.job(), "bad");
        fields.emplace_back("reading", c.reading);
        const auto before = snapshot(work.path());
        const Reply r = postForm(service.port(), "ttsCommunicate", fields);
        EXPECT_EQ(r.code(), 0) << r.raw;
        EXPECT_EQ(r.msg(), c.msg);
        EXPECT_EQ(snapshot(work.path()), before);
    }
}

// Text is simplified before it is read; the user's words, written as a
// Taiwan user writes them, are read all the same.
TEST_F(Reading, TraditionalWordsOfTheListAreRead)
{
    writeLexicon("重慶\tzhong4 qing4\n银行\tyin2 xing2\n銀行\tyin2 hang4\n");
    struct Case {
        const char *text;
        const char *voice;
        const char *reading;
        const char *sources;
    } cases[] = {
        {"我去重慶", "zh-TW-HsiaoChenNeural", "wo3 qu4 zhong4 qing4", "ccuu"},
        {"我去重庆", "zh-CN-XiaoxiaoNeural", "wo3 qu4 zhong4 qing4", "ccuu"},
        // Written both ways, the Simplified entry is the one read.
        {"銀行", "zh-TW-HsiaoChenNeural", "yin2 xing2", "uu"},
    };
    ASSERT_EQ(readingOnceChanged("我去重慶", "wo3 qu4 zhong4 qing4"), "wo3 qu4 zhong4 qing4");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const Reply r = reading(c.text, c.voice);
        ASSERT_EQ(r.code(), 1) << r.raw;
        EXPECT_EQ(field(r, "reading"), c.reading);
        EXPECT_EQ(field(r, "sources"), c.sources);
    }
}
