// Voices that sound like different people. Every voice of a locale that has
// two or more voices of one gender speaks a native sentence through the
// service; the MP3 is decoded and its median fundamental measured by a small
// autocorrelation pitch tracker. Voices of one gender must lie apart, every
// voice within a natural range, and the user's rate must still move a voice
// as before.
#include "EspeakEngine.h"
#include "NativeSentences.h"
#include "ServerTestSupport.h"
#include "Subtitles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// ---- Pitch tracker ---------------------------------------------------------

struct PitchTrack {
    double medianHz = 0;
    int voicedFrames = 0;    // frames with a clear period
    int soundingFrames = 0;  // frames loud enough to be speech at all
    double periodicity = 0;  // median autocorrelation peak of the voiced frames
    double spreadSemitones = 0;  // from the 10th to the 90th percentile of the frames' pitch
    double voicedShare() const { return soundingFrames ? double(voicedFrames) / soundingFrames : 0; }
};

// Normalised autocorrelation over 40 ms frames every 10 ms, at about 11 kHz,
// for periods of 60–420 Hz. A frame is voiced when its best correlation
// passes 0.6; its period is the shortest lag whose peak comes within 15 % of
// the best, so that a period twice as long (which correlates as well) never
// halves the pitch.
PitchTrack trackPitch(const std::vector<std::int16_t> &samples, long sampleRate)
{
    std::vector<double> x;
    long rate = sampleRate;
    if (sampleRate > 16000) {  // average pairs: low-pass and halve the work
        x.reserve(samples.size() / 2);
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2)
            x.push_back((samples[i] + samples[i + 1]) * 0.5);
        rate = sampleRate / 2;
    } else {
        x.assign(samples.begin(), samples.end());
    }
    const int window = static_cast<int>(rate * 40 / 1000), hop = static_cast<int>(rate * 10 / 1000);
    const int minLag = static_cast<int>(rate / 420.0), maxLag = static_cast<int>(std::ceil(rate / 60.0));

    std::vector<double> energy;
    double loudest = 0;
    for (std::size_t s = 0; s + window + maxLag < x.size(); s += hop) {
        double e = 0;
        for (int j = 0; j < window; ++j)
            e += x[s + j] * x[s + j];
        energy.push_back(e / window);
        loudest = std::max(loudest, e / window);
    }

    PitchTrack out;
    std::vector<double> f0, peaks, r(maxLag + 2, 0.0);
    std::size_t frame = 0;
    for (std::size_t s = 0; s + window + maxLag < x.size(); s += hop, ++frame) {
        // Speech at all: within 20 dB of the loudest frame and above a floor.
        if (energy[frame] < loudest * 0.01 || energy[frame] < 150.0 * 150.0)
            continue;
        ++out.soundingFrames;
        const double *a = &x[s];
        double ea = 0, eb = 0;
        for (int j = 0; j < window; ++j) {
            ea += a[j] * a[j];
            eb += a[j + minLag] * a[j + minLag];
        }
        double best = 0;
        for (int lag = minLag; lag <= maxLag; ++lag) {
            double c = 0;
            for (int j = 0; j < window; ++j)
                c += a[j] * a[j + lag];
            r[lag] = c / std::sqrt(ea * eb + 1e-9);
            best = std::max(best, r[lag]);
            eb += a[window + lag] * a[window + lag] - a[lag] * a[lag];  // slide to the next lag
        }
        if (best < 0.6)
            continue;
        int pick = -1;
        for (int lag = minLag + 1; lag < maxLag && pick < 0; ++lag)
            if (r[lag] >= 0.85 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1])
                pick = lag;
        if (pick < 0)
            continue;
        const double y0 = r[pick - 1], y1 = r[pick], y2 = r[pick + 1];
        const double bend = y0 - 2 * y1 + y2;
        const double shift = bend != 0 ? 0.5 * (y0 - y2) / bend : 0;  // parabola through the peak
        f0.push_back(double(rate) / (pick + shift));
        peaks.push_back(best);
    }
    auto quantile = [](std::vector<double> v, double q) {
        const auto at = v.begin() + static_cast<std::ptrdiff_t>(q * double(v.size() - 1));
        std::nth_element(v.begin(), at, v.end());
        return *at;
    };
    out.voicedFrames = static_cast<int>(f0.size());
    if (!f0.empty()) {
        out.medianHz = quantile(f0, 0.5);
        out.periodicity = quantile(peaks, 0.5);
        out.spreadSemitones = 12 * std::log2(quantile(f0, 0.9) / quantile(f0, 0.1));
    }
    return out;
}

// A voiced sound of known pitch: harmonics falling off like a glottal source,
// the second one boosted (the octave a tracker most easily lands on), a slow
// ±3 % wobble, then silence, then noise, which has no pitch.
std::vector<std::int16_t> knownSound(double f0, double secondHarmonic, long rate)
{
    std::vector<std::int16_t> out;
    double phase = 0;
    for (long i = 0; i < rate * 2; ++i) {
        const double t = double(i) / rate;
        phase += 2 * M_PI * f0 * (1 + 0.03 * std::sin(2 * M_PI * 1.5 * t)) / rate;
        double v = 0;
        for (int k = 1; k * f0 < rate / 2.0; ++k)
            v += (k == 2 ? secondHarmonic : 1.0) / k * std::sin(k * phase);
        out.push_back(static_cast<std::int16_t>(4000 * v));
    }
    out.insert(out.end(), static_cast<std::size_t>(rate / 2), 0);
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> sample(-6000, 6000);
    for (long i = 0; i < rate; ++i)
        out.push_back(static_cast<std::int16_t>(sample(noise)));
    return out;
}

// ---- Rendering through the service ----------------------------------------

// Natural bounds of a voice's median fundamental.
struct Range {
    double low, high;
};
Range naturalRange(const VoiceInfo &v)
{
    if (v.name == "zh-CN-YunxiaNeural")  // a boy, listed as male: between men and women
        return {150, 260};
    return v.gender == "Female" ? Range{160, 280} : Range{80, 170};
}

struct Heard {
    bool ok = false;
    double seconds = 0;
    double spokenSeconds = 0;  // first sound to last, without the silence around it
    PitchTrack pitch;
    std::vector<srt::Cue> cues;
    DecodedMp3 audio;
};

// One service for the whole file: rendering is what is measured.
class VoiceRender : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_work = new TempWorkDir;
        s_service = new RunningService(s_work->path());
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        delete s_work;
        s_service = nullptr;
        s_work = nullptr;
    }

    static Heard hear(const std::string &text, const std::string &voice, const std::string &rates = "+0%")
    {
        Heard h;
        const std::string name = "seg" + std::to_string(s_next++);
        const Reply reply = postForm(s_service->port(), "ttsCommunicate",
                                     renderFields(text, voice, s_work->job(), name, rates));
        if (reply.code() != 1) {
            ADD_FAILURE() << voice << ": " << reply.msg();
            return h;
        }
        h.audio = decodeMp3(s_work->job() / (name + ".mp3"));
        if (!h.audio.ok || h.audio.channels != 1) {
            ADD_FAILURE() << voice << ": the MP3 does not decode to mono";
            return h;
        }
        h.ok = true;
        h.seconds = h.audio.seconds();
        std::size_t first = 0, last = h.audio.samples.size();
        while (first < last && std::abs(h.audio.samples[first]) < 300)
            ++first;
        while (last > first && std::abs(h.audio.samples[last - 1]) < 300)
            --last;
        h.spokenSeconds = double(last - first) / h.audio.rate;
        h.pitch = trackPitch(h.audio.samples, h.audio.rate);
        h.cues = srt::parse(readFile(s_work->job() / (name + ".srt")));
        return h;
    }

    static TempWorkDir *s_work;
    static RunningService *s_service;
    static int s_next;
};
TempWorkDir *VoiceRender::s_work = nullptr;
RunningService *VoiceRender::s_service = nullptr;
int VoiceRender::s_next = 0;

std::vector<VoiceInfo> voicesOf(const std::string &locale)
{
    std::vector<VoiceInfo> out;
    for (const VoiceInfo &v : sharedEngine()->voices())
        if (v.locale == locale)
            out.push_back(v);
    return out;
}

// The locales with two or more voices of one gender, in the service's order.
std::vector<std::string> localesWithSameGenderVoices()
{
    std::map<std::pair<std::string, std::string>, int> count;
    std::vector<std::string> out;
    for (const VoiceInfo &v : sharedEngine()->voices())
        if (++count[{v.locale, v.gender}] == 2 && (out.empty() || out.back() != v.locale))
            out.push_back(v.locale);
    return out;
}

}  // namespace

// The tracker itself, on sounds whose pitch is known: a wrong tracker would
// make every figure below meaningless.
TEST(PitchTracker, FindsTheFundamentalOfKnownSoundsAndNoneInNoise)
{
    const struct {
        double f0;
        double secondHarmonic;
    } cases[] = {{85, 1.0}, {110, 2.5}, {150, 1.0}, {190, 2.5}, {240, 1.0}, {300, 2.0}};
    for (const auto &c : cases) {
        for (long rate : {22050L, 16000L}) {
            const PitchTrack t = trackPitch(knownSound(c.f0, c.secondHarmonic, rate), rate);
            EXPECT_NEAR(t.medianHz, c.f0, c.f0 * 0.02) << c.f0 << " Hz at " << rate;
            // Two seconds voiced of 3.5 s sounding (the noise is loud): 200 of about 350 frames.
            EXPECT_NEAR(t.voicedFrames, 200, 8) << c.f0 << " Hz at " << rate;
            EXPECT_GT(t.periodicity, 0.9) << c.f0;
        }
    }
    const std::vector<std::int16_t> sound = knownSound(100, 1, 22050);
    const PitchTrack noise = trackPitch({sound.begin() + 22050 * 5 / 2, sound.end()}, 22050);
    EXPECT_GT(noise.soundingFrames, 80);
    EXPECT_EQ(noise.voicedFrames, 0);
}

class LocaleVoices : public VoiceRender, public ::testing::WithParamInterface<std::string> {};

// Every voice speaks with a clear voice within its natural range, and voices
// of one gender lie at least 12 % apart in median pitch, with formant sets of
// their own besides.
TEST_P(LocaleVoices, SameGenderVoicesAreDifferentPeople)
{
    const std::string locale = GetParam();
    const char *sentence = nativeSentence(locale);
    ASSERT_NE(sentence, nullptr) << "no native sentence for " << locale;
    auto engine = sharedEngine();

    std::vector<std::pair<VoiceInfo, PitchTrack>> heard;
    for (const VoiceInfo &v : voicesOf(locale)) {
        const Heard h = hear(sentence, v.name);
        ASSERT_TRUE(h.ok) << v.name;
        const PitchTrack &p = h.pitch;
        std::printf("%-26s %-6s median F0 %6.1f Hz  voiced %3.0f %%  periodicity %.2f  %5.2f s  spread %4.1f st  "
                    "spoken %4.2f s\n",
                    v.name.c_str(), v.gender.c_str(), p.medianHz, 100 * p.voicedShare(), p.periodicity, h.seconds,
                    p.spreadSemitones, h.spokenSeconds);
        // Voiced most of the time and clearly periodic: no whisper, no croak.
        EXPECT_GT(p.voicedShare(), 0.55) << v.name;
        EXPECT_GT(p.periodicity, 0.7) << v.name;
        const Range range = naturalRange(v);
        EXPECT_GE(p.medianHz, range.low) << v.name;
        EXPECT_LE(p.medianHz, range.high) << v.name;
        heard.emplace_back(v, p);
    }

    for (std::size_t i = 0; i < heard.size(); ++i) {
        for (std::size_t j = i + 1; j < heard.size(); ++j) {
            const auto &[a, pa] = heard[i];
            const auto &[b, pb] = heard[j];
            if (a.gender != b.gender)
                continue;
            const double ratio = std::max(pa.medianHz, pb.medianHz) / std::min(pa.medianHz, pb.medianHz);
            EXPECT_GE(ratio, 1.12) << a.name << " " << pa.medianHz << " Hz, " << b.name << " " << pb.medianHz
                                   << " Hz";
            const VoiceStyle *sa = engine->styleOf(a.name), *sb = engine->styleOf(b.name);
            ASSERT_TRUE(sa && sb);
            EXPECT_STRNE(sa->variant, sb->variant) << a.name << " and " << b.name << " share a formant set";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Every, LocaleVoices, ::testing::ValuesIn(localesWithSameGenderVoices()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The program caches the voice list: giving voices a character of their own
// changes none of the Chinese voices' identifiers, genders or order, and each
// locale still offers two women and two men unless it has voices by name.
TEST(VoiceTable, ListStaysAsTheProgramCachesIt)
{
    std::vector<std::string> chinese;
    std::map<std::string, std::vector<std::string>> others;
    for (const VoiceInfo &v : sharedEngine()->voices()) {
        if (v.locale == "zh-CN" || v.locale == "zh-TW")
            chinese.push_back(v.name + " " + v.gender);
        else
            others[v.locale].push_back(v.name.substr(v.locale.size() + 1) + " " + v.gender);
    }
    EXPECT_EQ(chinese, (std::vector<std::string>{
                           "zh-CN-XiaoxiaoNeural Female", "zh-CN-XiaoyiNeural Female", "zh-CN-YunxiNeural Male",
                           "zh-CN-YunjianNeural Male", "zh-CN-YunyangNeural Male", "zh-CN-YunxiaNeural Male",
                           "zh-TW-HsiaoChenNeural Female", "zh-TW-YunJheNeural Male", "zh-TW-HsiaoYuNeural Female"}));
    ASSERT_FALSE(others.empty());
    for (const auto &[locale, names] : others)
        EXPECT_EQ(names, (std::vector<std::string>{"Female1 Female", "Female2 Female", "Male1 Male", "Male2 Male"}))
            << locale;
}

// No voice is one of espeak-ng's whispering, croaking or robotic variants.
TEST(VoiceTable, OnlyPlainVariants)
{
    auto engine = sharedEngine();
    const std::vector<std::string> plain = {"f1", "f2", "f3", "f4", "m1", "m2", "m3", "m4", "m6"};
    for (const VoiceInfo &v : engine->voices()) {
        const VoiceStyle *s = engine->styleOf(v.name);
        ASSERT_NE(s, nullptr) << v.name;
        EXPECT_NE(std::find(plain.begin(), plain.end(), s->variant), plain.end()) << v.name << " " << s->variant;
        EXPECT_TRUE(s->pitch >= 0 && s->pitch <= 100 && s->range >= 0 && s->range <= 100) << v.name;
        EXPECT_TRUE(s->pacePercent >= 85 && s->pacePercent <= 115) << v.name;
    }
}

// The user's rate applies on top of the voice's own pace: faster is shorter
// and slower longer by the same factor for every voice (subtitle fitting
// relies on it), the pitch does not move with it, and the subtitles still
// start where the speech does.
struct RateCase {
    const char *voice;
    const char *text;
};

class UserRate : public VoiceRender, public ::testing::WithParamInterface<RateCase> {};

TEST_P(UserRate, MovesEveryVoiceAsBefore)
{
    const RateCase &c = GetParam();
    const Heard normal = hear(c.text, c.voice), fast = hear(c.text, c.voice, "+50%"),
                slow = hear(c.text, c.voice, "-30%");
    ASSERT_TRUE(normal.ok && fast.ok && slow.ok);
    std::printf("%s: spoken %.2f s at +0%%, %.2f s at +50%%, %.2f s at -30%%; median F0 %.1f, %.1f, %.1f Hz\n",
                c.voice, normal.spokenSeconds, fast.spokenSeconds, slow.spokenSeconds, normal.pitch.medianHz,
                fast.pitch.medianHz, slow.pitch.medianHz);
    EXPECT_LT(fast.spokenSeconds, normal.spokenSeconds * 0.8) << c.voice;
    EXPECT_GT(slow.spokenSeconds, normal.spokenSeconds * 1.25) << c.voice;
    for (const Heard *h : {&fast, &slow})
        EXPECT_NEAR(h->pitch.medianHz / normal.pitch.medianHz, 1.0, 0.08) << c.voice;
    for (const Heard *h : {&normal, &fast, &slow}) {
        ASSERT_FALSE(h->cues.empty()) << c.voice;
        const std::vector<double> onsets = speechOnsets(h->audio);
        ASSERT_FALSE(onsets.empty());
        EXPECT_NEAR(double(h->cues.front().startMs), onsets.front(), 50.0) << c.voice;
        EXPECT_LE(double(h->cues.back().endMs), h->seconds * 1000 + 1) << c.voice;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Voices, UserRate,
    ::testing::Values(RateCase{"zh-CN-XiaoyiNeural", "今天的天气非常好，我们一起去公园散步吧。"},
                      RateCase{"zh-CN-YunyangNeural", "今天的天气非常好，我们一起去公园散步吧。"},
                      RateCase{"zh-CN-YunxiaNeural", "今天的天气非常好，我们一起去公园散步吧。"},
                      RateCase{"zh-TW-HsiaoChenNeural", "今天的天氣非常好，我們一起去公園散步吧。"},
                      RateCase{"en-US-Male2", "The weather is really nice today, so let's take a walk."}),
    [](const ::testing::TestParamInfo<RateCase> &info) {
        std::string name = info.param.voice;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// The voices' own paces hold under the user's rate: the announcer stays the
// slower speaker, and the user's rate stretches both by the same factor.
TEST_F(VoiceRender, OwnPaceStaysUnderTheUsersRate)
{
    const char *text = "今天的天气非常好，我们一起去公园散步吧。";
    auto engine = sharedEngine();
    const VoiceStyle *steady = engine->styleOf("zh-CN-YunyangNeural"), *quick = engine->styleOf("zh-CN-YunxiNeural");
    ASSERT_TRUE(steady && quick);
    ASSERT_LT(steady->pacePercent, quick->pacePercent);
    const double expected = double(quick->pacePercent) / steady->pacePercent;
    for (const char *rates : {"+0%", "+50%", "-30%"}) {
        const Heard a = hear(text, "zh-CN-YunyangNeural", rates), b = hear(text, "zh-CN-YunxiNeural", rates);
        ASSERT_TRUE(a.ok && b.ok);
        std::printf("%s: spoken %.2f s against %.2f s\n", rates, a.spokenSeconds, b.spokenSeconds);
        EXPECT_NEAR(a.spokenSeconds / b.spokenSeconds, expected, 0.06) << rates;
    }
}

// Characters that show in the melody: the announcer speaks more evenly than
// the young man, the younger women more lively than the calmer ones.
TEST_F(VoiceRender, LivelierVoicesMoveTheirPitchMore)
{
    const struct {
        const char *steadier, *livelier, *text;
    } pairs[] = {
        {"zh-CN-YunyangNeural", "zh-CN-YunxiNeural", "今天天气很好，我们一起去公园散步吧。"},
        {"zh-CN-XiaoxiaoNeural", "zh-CN-XiaoyiNeural", "今天天气很好，我们一起去公园散步吧。"},
        {"zh-TW-HsiaoChenNeural", "zh-TW-HsiaoYuNeural", "今天天氣很好，我們一起去公園散步吧。"},
    };
    for (const auto &p : pairs) {
        const Heard a = hear(p.text, p.steadier), b = hear(p.text, p.livelier);
        ASSERT_TRUE(a.ok && b.ok);
        EXPECT_GE(b.pitch.spreadSemitones, a.pitch.spreadSemitones + 0.5)
            << p.steadier << " " << a.pitch.spreadSemitones << " st, " << p.livelier << " "
            << b.pitch.spreadSemitones << " st";
    }
}

// English words inside a Mandarin text are said by the same person.
TEST_F(VoiceRender, EnglishInsideMandarinKeepsTheVoice)
{
    for (const VoiceInfo &v : voicesOf("zh-CN")) {
        const Heard mandarin = hear("今天天气很好，我们一起去公园散步吧。", v.name);
        const Heard english = hear("Good morning, everyone. Welcome to the show.", v.name);
        ASSERT_TRUE(mandarin.ok && english.ok);
        std::printf("%-26s Mandarin %6.1f Hz, English %6.1f Hz\n", v.name.c_str(), mandarin.pitch.medianHz,
                    english.pitch.medianHz);
        const Range range = naturalRange(v);
        EXPECT_GE(english.pitch.medianHz, range.low) << v.name;
        EXPECT_LE(english.pitch.medianHz, range.high) << v.name;
        EXPECT_NEAR(english.pitch.medianHz / mandarin.pitch.medianHz, 1.0, 0.15) << v.name;
    }
}
