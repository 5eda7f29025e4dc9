// Where cues are cut, how they are timed from word events, and the SRT text.
#include "Subtitles.h"

#include <gtest/gtest.h>

using namespace tavrel;
using namespace tavrel::srt;

static std::vector<std::string> spanTexts(const std::string &utf8)
{
    std::u32string t;
    EXPECT_TRUE(decodeUtf8(utf8, t));
    std::vector<std::string> out;
    for (const auto &s : splitIntoSpans(t))
        out.push_back(s.text);
    return out;
}

struct SplitCase {
    const char *text;
    std::vector<std::string> spans;
};

class CueSplitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CueSplitting, CutsAtClauseMarks)
{
    EXPECT_EQ(spanTexts(GetParam().text), GetParam().spans) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CueSplitting,
    ::testing::Values(
        SplitCase{"你好，世界。今天好吗？很好！", {"你好，", "世界。", "今天好吗？", "很好！"}},
        SplitCase{"一；二", {"一；", "二"}},
        SplitCase{"Hello there. How are you? Fine!", {"Hello there.", "How are you?", "Fine!"}},
        SplitCase{"Pi is 3.14 today.", {"Pi is 3.14 today."}},
        SplitCase{"真的吗？！”他说。", {"真的吗？！”", "他说。"}},
        SplitCase{"。。你好", {"。。你好"}},            // leading marks join the clause
        SplitCase{"你好。。。", {"你好。。。"}},
        SplitCase{"  ", {}},
        SplitCase{"，，，", {}},
        SplitCase{"line one\nline two", {"line one", "line two"}},
        // every end of a sentence the reader pauses at
        SplitCase{"我想……算了。", {"我想……", "算了。"}},
        SplitCase{"好‼走吧︒再见", {"好‼", "走吧︒", "再见"}},
        SplitCase{"全长３．１４米．好", {"全长３．１４米．", "好"}}));

// Texts as the program folds them (a line break becomes "，"): the cues show
// the written text without the comma the fold leaves behind.
INSTANTIATE_TEST_SUITE_P(
    FoldedTexts, CueSplitting,
    ::testing::Values(
        SplitCase{"我们去银行取了3,500元。，", {"我们去银行取了3,500元。"}},
        SplitCase{"，晚上八点半，", {"晚上八点半，"}},
        SplitCase{"第一句话。，第二句话。，", {"第一句话。", "第二句话。"}},
        SplitCase{"，真的吗？，好！，", {"真的吗？", "好！"}},
        SplitCase{"他说：“走吧。”，", {"他说：“走吧。”"}},
        SplitCase{"等一下……，", {"等一下……"}},
        SplitCase{"Hello!，World?，", {"Hello!", "World?"}},
        SplitCase{"，，第一行，第二行", {"第一行，", "第二行"}},
        SplitCase{"，。，", {}}));

struct TidyCase {
    const char *name;
    std::vector<Cue> in;
    std::vector<Cue> out;
};

class CueTidying : public ::testing::TestWithParam<TidyCase> {};

TEST_P(CueTidying, CleansTextsAndGivesEmptyCuesTimeToANeighbour)
{
    const std::vector<Cue> tidy = tidyCues(GetParam().in);
    ASSERT_EQ(tidy.size(), GetParam().out.size()) << GetParam().name;
    for (std::size_t i = 0; i < tidy.size(); ++i) {
        EXPECT_EQ(tidy[i].text, GetParam().out[i].text) << GetParam().name << " cue " << i;
        EXPECT_EQ(tidy[i].startMs, GetParam().out[i].startMs) << GetParam().name << " cue " << i;
        EXPECT_EQ(tidy[i].endMs, GetParam().out[i].endMs) << GetParam().name << " cue " << i;
    }
    // What format() writes is what tidyCues() keeps.
    const std::vector<Cue> written = parse(format(GetParam().in));
    ASSERT_EQ(written.size(), tidy.size());
    for (std::size_t i = 0; i < tidy.size(); ++i)
        EXPECT_EQ(written[i].text, tidy[i].text);
}

INSTANTIATE_TEST_SUITE_P(
    Cues, CueTidying,
    ::testing::Values(
        TidyCase{"clean cues stay as they are",
                 {{0, 900, "第一句话。"}, {1000, 1800, "第二句话。"}},
                 {{0, 900, "第一句话。"}, {1000, 1800, "第二句话。"}}},
        TidyCase{"folding commas go",
                 {{0, 900, "，第一句话。，"}, {1000, 1800, "，晚上八点半，"}},
                 {{0, 900, "第一句话。"}, {1000, 1800, "晚上八点半，"}}},
        TidyCase{"a cue of marks only gives its time to the one before",
                 {{0, 900, "好的。"}, {900, 1400, "。，"}, {1500, 2000, "再见。"}},
                 {{0, 1400, "好的。"}, {1500, 2000, "再见。"}}},
        TidyCase{"at the start, to the one after",
                 {{0, 400, "……"}, {500, 1000, "开始。"}},
                 {{0, 1000, "开始。"}}},
        TidyCase{"each line of a cue on its own",
                 {{0, 900, "第一行。，\n，第二行"}},
                 {{0, 900, "第一行。\n第二行"}}},
        TidyCase{"nothing at all", {{0, 500, "，"}}, {}}),
    [](const ::testing::TestParamInfo<TidyCase> &info) { return "case" + std::to_string(info.index); });

TEST(CueSplitting, LongClausesAreCutToTheLineLength)
{
    // 50 ideographs without a mark: 100 columns → three pieces.
    std::string zh;
    for (int i = 0; i < 50; ++i)
        zh += "字";
    auto pieces = spanTexts(zh);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 20u * 3);

    // Wide is East Asian Width W or F: pictographs take two columns too.
    std::string emoji;
    for (int i = 0; i < 25; ++i)
        emoji += "\U0001F600";
    pieces = spanTexts(emoji);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 20u * 4);

    // Latin text is cut at blanks, never inside a word, within 40 columns.
    const std::string en =
        "the quick brown fox jumps over the lazy dog while the cat sleeps on the warm mat";
    std::string joined;
    for (const auto &p : spanTexts(en)) {
        EXPECT_LE(p.size(), 40u) << p;
        EXPECT_NE(p.front(), ' ');
        joined += (joined.empty() ? "" : " ") + p;
    }
    EXPECT_EQ(joined, en);
}

// More than a line's worth of blank lines before the first words: the cut
// leaves a piece of blanks only, which must not become a cue of its own.
TEST(CueSplitting, LeadingBlankLinesMakeNoEmptyCue)
{
    const std::string text = std::string(45, '\n') + "hello";
    std::u32string t;
    ASSERT_TRUE(decodeUtf8(text, t));
    auto spans = splitIntoSpans(t);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].text, "hello");
    EXPECT_EQ(spans[0].begin, 0u);
    EXPECT_EQ(spans[0].end, t.size());
}

TEST(CueSplitting, SpansKeepTheirCodePointPositions)
{
    std::u32string t;
    ASSERT_TRUE(decodeUtf8("甲乙，丙丁。", t));
    auto spans = splitIntoSpans(t);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0].begin, 0u);
    EXPECT_EQ(spans[0].end, 3u);
    EXPECT_EQ(spans[1].begin, 3u);
    EXPECT_EQ(spans[1].end, 6u);
}

TEST(Utf8, RejectsMalformedInput)
{
    std::u32string out;
    EXPECT_TRUE(decodeUtf8("a你\xF0\x9F\x98\x80", out));
    EXPECT_EQ(out, (std::u32string{U'a', U'你', U'\U0001F600'}));
    EXPECT_EQ(encodeUtf8(out), "a你\xF0\x9F\x98\x80");
    for (const std::string bad : {"\xC0\xAF", "\xE4\xBD", "\xED\xA0\x80", "\xF5\x80\x80\x80", "\x80", "\xE4"})
        EXPECT_FALSE(decodeUtf8(bad, out)) << testing::PrintToString(bad);
}

TEST(CueTiming, StartsAtFirstWordAndEndsWhereSpeechFades)
{
    // Two clauses: sound 0–1 s, silence 1–1.5 s, sound 1.5–2 s, at 1 kHz.
    SynthesisResult speech;
    speech.ok = true;
    speech.sampleRate = 1000;
    speech.pcm.assign(2000, 0);
    for (int i = 0; i < 1000; ++i)
        speech.pcm[i] = (i % 2) ? 8000 : -8000;
    for (int i = 1500; i < 2000; ++i)
        speech.pcm[i] = (i % 2) ? 8000 : -8000;
    speech.words = {{0, 0}, {1, 400}, {3, 1500}, {4, 1700}};

    std::u32string text;
    ASSERT_TRUE(decodeUtf8("甲乙，丙丁。", text));
    auto cues = timeSpans(splitIntoSpans(text), speech, 100, 3000);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(cues[0].startMs, 100);                 // first word + lead
    EXPECT_NEAR(double(cues[0].endMs), 1100, 20);    // end of sound, not the next start
    EXPECT_EQ(cues[1].startMs, 1600);
    EXPECT_NEAR(double(cues[1].endMs), 2100, 20);
    EXPECT_EQ(cues[0].text, "甲乙，");
}

TEST(CueTiming, SpansWithoutWordsAreLeftOutAndEndsStayInsideTheAudio)
{
    SynthesisResult speech;
    speech.ok = true;
    speech.sampleRate = 1000;
    speech.pcm.assign(1000, 8000);
    speech.words = {{3, 200}};  // only the second clause has an event
    std::u32string text;
    ASSERT_TRUE(decodeUtf8("甲乙，丙丁。", text));
    auto cues = timeSpans(splitIntoSpans(text), speech, 0, 900);
    ASSERT_EQ(cues.size(), 1u);
    EXPECT_EQ(cues[0].startMs, 200);
    EXPECT_EQ(cues[0].endMs, 900);
}

TEST(SrtText, FormatsAndReadsBack)
{
    std::vector<Cue> cues = {{0, 1234, "你好，"}, {3723004, 3723999, "second\nline"}};
    const std::string text = format(cues);
    EXPECT_EQ(text,
              "1\n00:00:00,000 --> 00:00:01,234\n你好，\n\n"
              "2\n01:02:03,004 --> 01:02:03,999\nsecond\nline\n\n");
    auto back = parse(text);
    ASSERT_EQ(back.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back[i].startMs, cues[i].startMs);
        EXPECT_EQ(back[i].endMs, cues[i].endMs);
        EXPECT_EQ(back[i].text, cues[i].text);
    }
}

struct ParseCase {
    const char *text;
    std::vector<std::int64_t> times;  // start, end, start, end …
};

class SrtReading : public ::testing::TestWithParam<ParseCase> {};

TEST_P(SrtReading, ToleratesCommonVariantsAndDropsBrokenBlocks)
{
    auto cues = parse(GetParam().text);
    std::vector<std::int64_t> times;
    for (const auto &c : cues) {
        times.push_back(c.startMs);
        times.push_back(c.endMs);
    }
    EXPECT_EQ(times, GetParam().times);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SrtReading,
    ::testing::Values(
        ParseCase{"\xEF\xBB\xBF" "1\r\n00:00:01,000 --> 00:00:02,500\r\nA\r\n\r\n", {1000, 2500}},
        ParseCase{"00:00:01.5 --> 00:00:02.25\nA\n", {1500, 2250}},
        ParseCase{"1\n00:00:01,000 --> 00:00:02,000\nA\n2\n00:00:03,000 --> 00:00:04,000\nB\n", {1000, 2000, 3000, 4000}},
        ParseCase{"1\nnot a time --> 00:00:02,000\nA\n\n2\n00:00:03,000 --> 00:00:04,000\nB\n", {3000, 4000}},
        ParseCase{"00:61:00,000 --> 00:00:01,000\nA\n", {}},
        ParseCase{"99:00:00,000 --> 98:00:00,000\nA\n", {356400000, 356400000}},
        ParseCase{"", {}},
        ParseCase{"-->", {}}));
