// The fixed MP3 format: exact frame-count durations, where input sample 0 is
// heard, silent pause frames, and joining by frame copy (with the slow path
// for foreign MP3 files and skipping of unusable ones).
#include "Join.h"
#include "Mp3Codec.h"
#include "ServerTestSupport.h"
#include "Subtitles.h"

#include <gtest/gtest.h>
#include <lame/lame.h>

#include <cmath>

using namespace tavrel;
using namespace tavrel::test;

namespace {

std::vector<std::int16_t> toneBurst(std::size_t silenceBefore, std::size_t length, std::size_t silenceAfter)
{
    std::vector<std::int16_t> pcm(silenceBefore + length + silenceAfter, 0);
    for (std::size_t i = 0; i < length; ++i)
        pcm[silenceBefore + i] = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440.0 * i / mp3::kSampleRate));
    return pcm;
}

fs::path writeEncoded(const fs::path &p, const std::vector<std::int16_t> &pcm, mp3::Encoded *info = nullptr)
{
    mp3::Encoded enc;
    EXPECT_TRUE(mp3::encode(pcm.data(), pcm.size(), mp3::kSampleRate, enc));
    writeFile(p, std::string(enc.bytes.begin(), enc.bytes.end()));
    if (info)
        *info = enc;
    return p;
}

std::size_t firstLoudSample(const std::vector<std::int16_t> &s)
{
    for (std::size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > 1000)
            return i;
    return s.size();
}

// A valid MP3 in another format (44.1 kHz stereo), as another program might write.
void writeForeignMp3(const fs::path &p, double seconds)
{
    lame_t l = lame_init();
    lame_set_in_samplerate(l, 44100);
    lame_set_num_channels(l, 2);
    lame_set_brate(l, 128);
    ASSERT_GE(lame_init_params(l), 0);
    std::vector<short> left(static_cast<std::size_t>(44100 * seconds)), right(left.size());
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = right[i] = static_cast<short>(9000 * std::sin(2 * M_PI * 300.0 * i / 44100));
    std::vector<unsigned char> out(left.size() * 2 + 7200);
    int n = lame_encode_buffer(l, left.data(), right.data(), static_cast<int>(left.size()), out.data(),
                               static_cast<int>(out.size()));
    n += lame_encode_flush(l, out.data() + n, static_cast<int>(out.size()) - n);
    lame_close(l);
    writeFile(p, std::string(out.begin(), out.begin() + n));
}

}  // namespace

TEST(Mp3Encoding, DurationIsTheFrameCountAndInputStartsAtTheLead)
{
    TempWorkDir work;
    mp3::Encoded enc;
    auto pcm = toneBurst(4410, 11025, 2205);  // 0.2 s silence, 0.5 s tone, 0.1 s silence
    auto file = writeEncoded(work.job() / "a.mp3", pcm, &enc);

    auto decoded = decodeMp3(file);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.rate, mp3::kSampleRate);
    EXPECT_EQ(decoded.channels, 1);
    EXPECT_EQ(static_cast<std::int64_t>(decoded.samples.size()), enc.frames * mp3::kSamplesPerFrame);
    EXPECT_GE(enc.frames * mp3::kSamplesPerFrame, static_cast<std::int64_t>(pcm.size()));

    // The tone begins at input sample 4410; in the file at 4410 + lead.
    const auto onset = static_cast<std::int64_t>(firstLoudSample(decoded.samples));
    EXPECT_NEAR(double(onset), double(4410 + enc.leadSamples), 30.0);
}

TEST(Mp3Encoding, SilenceFramesDecodeToExactSilence)
{
    TempWorkDir work;
    // (A file of one lone frame is not taken as MP3 by mpg123: it wants to
    // see a second header. Pauses always sit between other frames.)
    for (std::int64_t frames : {2, 3, 49, 100}) {
        auto bytes = mp3::silenceFrames(frames);
        auto file = work.job() / "s.mp3";
        writeFile(file, std::string(bytes.begin(), bytes.end()));
        auto decoded = decodeMp3(file);
        ASSERT_TRUE(decoded.ok) << frames;
        EXPECT_EQ(static_cast<std::int64_t>(decoded.samples.size()), frames * mp3::kSamplesPerFrame);
        EXPECT_EQ(rms(decoded.samples), 0.0);
    }
    // 49 frames at 48 kbps hold exactly 7680 bytes: the padding keeps the bitrate.
    EXPECT_EQ(mp3::silenceFrames(49).size(), 7680u);
}

// Every MP3 rate a model may bring (MPEG-1, 2 and 2.5): the encoder keeps it,
// the service knows its own files at it, and its silence and pauses are exact.
TEST(Mp3Encoding, EachMp3RateIsKeptAndItsSilenceIsExact)
{
    TempWorkDir work;
    for (int rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}) {
        SCOPED_TRACE(rate);
        const int perFrame = rate >= 32000 ? 1152 : 576;
        EXPECT_EQ(mp3::encodedRate(rate), rate);
        EXPECT_EQ(mp3::samplesPerFrame(rate), perFrame);
        std::vector<std::int16_t> pcm(static_cast<std::size_t>(rate / 2));
        for (std::size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 300.0 * double(i) / rate));
        mp3::Encoded enc;
        ASSERT_TRUE(mp3::encode(pcm.data(), pcm.size(), rate, enc));
        EXPECT_EQ(enc.sampleRate, rate);
        writeFile(work.job() / "tone.mp3", std::string(enc.bytes.begin(), enc.bytes.end()));
        EXPECT_EQ(mp3::ownFormatRate(work.job() / "tone.mp3"), rate);
        const DecodedMp3 tone = decodeMp3(work.job() / "tone.mp3");
        ASSERT_TRUE(tone.ok);
        EXPECT_EQ(tone.rate, rate);
        EXPECT_EQ(static_cast<std::int64_t>(tone.samples.size()), enc.frames * perFrame);

        const auto bytes = mp3::silenceFrames(40, rate);
        writeFile(work.job() / "s.mp3", std::string(bytes.begin(), bytes.end()));
        EXPECT_EQ(mp3::ownFormatRate(work.job() / "s.mp3"), rate);
        const DecodedMp3 quiet = decodeMp3(work.job() / "s.mp3");
        ASSERT_TRUE(quiet.ok);
        EXPECT_EQ(quiet.rate, rate);
        EXPECT_EQ(static_cast<std::int64_t>(quiet.samples.size()), 40 * perFrame);
        EXPECT_EQ(rms(quiet.samples), 0.0);
        // 48 kbps whatever the rate: the padding keeps the bitrate.
        EXPECT_NEAR(double(bytes.size()) * 8 / (40.0 * perFrame / rate), 48000.0, 48000.0 / 40);
        for (std::int64_t ms : {100, 500, 3000})
            EXPECT_NEAR(mp3::framesToSeconds(mp3::framesForMilliseconds(ms, rate), rate) * 1000, double(ms),
                        500.0 * perFrame / rate + 0.1);
    }
    // Rates MP3 does not have go to the next one up; a foreign file is not ours.
    EXPECT_EQ(mp3::encodedRate(25000), 32000);
    EXPECT_EQ(mp3::encodedRate(96000), 48000);
    writeForeignMp3(work.job() / "foreign.mp3", 0.3);
    EXPECT_EQ(mp3::ownFormatRate(work.job() / "foreign.mp3"), 0);
    writeFile(work.job() / "text.mp3", "ID3 not a frame");
    EXPECT_EQ(mp3::ownFormatRate(work.job() / "text.mp3"), 0);
}

TEST(Mp3Encoding, PauseLengthRoundsToWholeFrames)
{
    EXPECT_EQ(mp3::framesForMilliseconds(0), 0);
    EXPECT_EQ(mp3::framesForMilliseconds(1), 1);
    EXPECT_EQ(mp3::framesForMilliseconds(1000), 38);  // 38.28 frames
    EXPECT_EQ(mp3::framesForMilliseconds(3000), 115);
    for (std::int64_t ms : {100, 500, 1500, 3000})
        EXPECT_NEAR(mp3::framesToSeconds(mp3::framesForMilliseconds(ms)) * 1000, double(ms), 13.1) << ms;
}

class Joining : public ::testing::Test {
protected:
    // Three segments of known length with a one-cue subtitle each.
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i) {
            mp3::Encoded enc;
            auto mp3File = writeEncoded(work.job() / (std::to_string(i) + ".mp3"),
                                        toneBurst(2205, 4410 * (i + 1), 2205), &enc);
            frames.push_back(enc.frames);
            lead = enc.leadSamples;
            const std::int64_t start = (2205 + enc.leadSamples) * 1000 / mp3::kSampleRate;
            writeFile(work.job() / (std::to_string(i) + ".srt"),
                      srt::format({{start, start + 200 * (i + 1), "seg" + std::to_string(i)}}));
            inputs.push_back({mp3File, false});
        }
    }
    JoinJob job(std::int64_t pauseMs) const
    {
        JoinJob j;
        j.inputs = inputs;
        j.pauseMs = pauseMs;
        j.folder = work.job();
        return j;
    }

    TempWorkDir work;
    std::vector<std::int64_t> frames;
    std::int64_t lead = 0;
    std::vector<JoinInput> inputs;
};

TEST_F(Joining, OutputLastsTheSegmentsPlusPausesAndSubtitlesFollow)
{
    for (std::int64_t pauseMs : {0, 700}) {
        JoinReport report;
        Outcome out = joinSegments(job(pauseMs), &report);
        ASSERT_TRUE(out.ok) << out.msg;
        EXPECT_EQ(report.used, 3);

        const std::int64_t pauseFrames = mp3::framesForMilliseconds(pauseMs);
        const std::int64_t expected = frames[0] + frames[1] + frames[2] + 2 * pauseFrames;
        auto decoded = decodeMp3(work.job() / "output.mp3");
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(static_cast<std::int64_t>(decoded.samples.size()), expected * mp3::kSamplesPerFrame);

        // Each cue moved by everything before its segment; the tone is heard there.
        auto cues = srt::parse(readFile(work.job() / "output.srt"));
        ASSERT_EQ(cues.size(), 3u);
        std::int64_t before = 0;
        for (int i = 0; i < 3; ++i) {
            const double segStartMs = before * 1000.0 * mp3::kSamplesPerFrame / mp3::kSampleRate;
            const double cueMs = segStartMs + (2205 + lead) * 1000.0 / mp3::kSampleRate;
            EXPECT_NEAR(double(cues[i].startMs), cueMs, 2.0) << "cue " << i << " pause " << pauseMs;
            EXPECT_EQ(cues[i].text, "seg" + std::to_string(i));
            const auto at = static_cast<std::size_t>(cues[i].startMs * mp3::kSampleRate / 1000);
            EXPECT_GT(rms(decoded.samples, at + 100, at + 1100), 3000.0) << "no tone at cue " << i;
            EXPECT_LT(rms(decoded.samples, at - 1500, at - 500), 300.0) << "sound before cue " << i;
            before += frames[i] + pauseFrames;
        }
    }
}

TEST_F(Joining, UnusableInputsAreSkippedWithoutTheirPause)
{
    writeFile(work.job() / "text.mp3", "this is not audio at all, just words in a file\n");
    writeFile(work.job() / "empty.mp3", "");
    JoinJob j = job(500);
    j.inputs.insert(j.inputs.begin() + 1, {work.job() / "text.mp3", false});
    j.inputs.insert(j.inputs.begin() + 2, {work.job() / "empty.mp3", false});
    j.inputs.push_back({work.job() / "gone.mp3", true});

    JoinReport report;
    ASSERT_TRUE(joinSegments(j, &report).ok);
    EXPECT_EQ(report.used, 3);
    EXPECT_EQ(report.skipped, 3);
    auto decoded = decodeMp3(work.job() / "output.mp3");
    EXPECT_EQ(static_cast<std::int64_t>(decoded.samples.size()),
              (frames[0] + frames[1] + frames[2] + 2 * mp3::framesForMilliseconds(500)) * mp3::kSamplesPerFrame);
}

TEST_F(Joining, NothingUsableFailsAndWritesNothing)
{
    writeFile(work.job() / "text.mp3", "not audio");
    JoinJob j;
    j.folder = work.job();
    j.inputs = {{work.job() / "text.mp3", false}, {work.job() / "gone.mp3", true}};
    const auto before = snapshot(work.path());
    Outcome out = joinSegments(j);
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(out.msg.empty());
    EXPECT_EQ(snapshot(work.path()), before);
}

TEST_F(Joining, ForeignMp3IsBroughtToTheFixedFormat)
{
    writeForeignMp3(work.job() / "foreign.mp3", 1.0);
    JoinJob j = job(0);
    j.inputs.insert(j.inputs.begin() + 1, {work.job() / "foreign.mp3", false});
    JoinReport report;
    ASSERT_TRUE(joinSegments(j, &report).ok);
    EXPECT_EQ(report.used, 4);
    auto decoded = decodeMp3(work.job() / "output.mp3");
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.rate, mp3::kSampleRate);
    EXPECT_EQ(decoded.channels, 1);
    const double mine = mp3::framesToSeconds(frames[0] + frames[1] + frames[2]);
    EXPECT_NEAR(decoded.seconds(), mine + 1.0, 0.15);
}
