// The real sherpa-onnx runtime through our own declarations of its C structs
// and functions: a model generated in the published VITS layout must come
// back with its sample rate and speaker count, and generation must return
// audio of exactly the length and pitch the graph computes. A field read at
// the wrong offset changes one of them (a path, the length scale, the
// speaker id).
#include "GenderCache.h"
#include "NeuralEngine.h"
#include "NeuralTestSupport.h"
#include "SherpaRuntime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace tavrel;
using namespace tavrel::neural;
using namespace tavrel::test;

namespace {

class NeuralRuntime : public ::testing::Test {
protected:
    void SetUp() override
    {
        NEURAL_MAKE_MODELS(m_dir.path(), "vits", "vits1");
        std::string why;
        m_runtime = SherpaRuntime::open(runtimeDir(), why);
        ASSERT_TRUE(m_runtime) << why;
        m_catalog = scanModels(m_dir.path() / "models");
        ASSERT_EQ(m_catalog.models.size(), 2u);
        m_engine = std::make_unique<NeuralEngine>(m_runtime, m_catalog.models);
    }

    // Generated as written, no front end: the model's lexicon reads it.
    SynthesisResult say(const std::string &text, const std::string &voice, int rate = 0)
    {
        return m_engine->synthesize(text, voice, rate);
    }

    TempWorkDir m_dir;
    std::shared_ptr<SherpaRuntime> m_runtime;
    ModelCatalog m_catalog;
    std::unique_ptr<NeuralEngine> m_engine;
};

TEST_F(NeuralRuntime, PinnedVersionOpensFromTheServiceFolder)
{
    EXPECT_EQ(m_runtime->version(), kRuntimeVersion);
    std::string why;
    EXPECT_FALSE(SherpaRuntime::open(m_dir.path(), why));
    EXPECT_NE(why.find(SherpaRuntime::kLibraryName), std::string::npos) << why;
}

TEST_F(NeuralRuntime, EngineReportsTheModelsRateAndSpeakers)
{
    std::string why;
    ASSERT_TRUE(m_engine->load("zh-CN-TestZhS000", why)) << why;
    EXPECT_EQ(m_engine->loadedSampleRate("zh-CN-TestZhS002"), kModelRate);
    EXPECT_EQ(m_engine->loadedSpeakers("zh-CN-TestZhS001"), 3);
    ASSERT_TRUE(m_engine->load("zh-CN-TestSoloS000", why)) << why;
    EXPECT_EQ(m_engine->loadedSpeakers("zh-CN-TestSoloS000"), 1);
    EXPECT_EQ(m_engine->loadedSampleRate("zh-CN-TestSoloS000"), kModelRate);
}

// Each phone of the lexicon is one token of kHop samples at speed 1; the
// runtime adds the same framing tokens to every text, so two texts differ by
// exactly their phones.
TEST_F(NeuralRuntime, AudioLengthFollowsTokensAndSpeed)
{
    struct Row {
        int rate;
        double speed;
    };
    for (const Row row : {Row{0, 1.0}, Row{100, 2.0}, Row{-50, 0.5}, Row{50, 1.5}}) {
        SCOPED_TRACE(row.rate);
        const SynthesisResult two = say("你好", "zh-CN-TestZhS000", row.rate);        // n i3 h ao3
        const SynthesisResult four = say("你好世界", "zh-CN-TestZhS000", row.rate);  // + sh i4 j ie4
        ASSERT_TRUE(two.ok) << two.error;
        ASSERT_TRUE(four.ok) << four.error;
        EXPECT_EQ(two.sampleRate, kModelRate);
        const double framing = double(two.pcm.size()) * row.speed / kHop - 4;
        EXPECT_NEAR(framing, std::round(framing), 0.02) << "not whole tokens: " << two.pcm.size();
        EXPECT_GE(framing, 0.0);
        EXPECT_NEAR(double(four.pcm.size()), (4 + 4 + framing) * kHop / row.speed, 1.0);
        EXPECT_NEAR(double(four.pcm.size()) - double(two.pcm.size()), 4 * kHop / row.speed, 2.0);
    }
}

// The graph's pitch is 0.05 + 0.02 * sid radians per sample: the speaker id
// must arrive as the int32 the declaration passes.
TEST_F(NeuralRuntime, SpeakerIdReachesTheModel)
{
    for (int sid : {0, 1, 2}) {
        SCOPED_TRACE(sid);
        const SynthesisResult r = say("你好", "zh-CN-TestZhS00" + std::to_string(sid));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_GT(r.pcm.size(), 200u);
        for (int i : {1, 10, 100, 200}) {
            const double expected = 0.5 * std::sin(i * (0.05 + 0.02 * sid)) * 32767.0;
            EXPECT_NEAR(r.pcm[i], expected, 2.0) << "sample " << i;
        }
    }
    EXPECT_NE(say("你好", "zh-CN-TestZhS000").pcm, say("你好", "zh-CN-TestZhS001").pcm);
    EXPECT_EQ(say("你好", "zh-CN-TestZhS001").pcm, say("你好", "zh-CN-TestZhS001").pcm);
}

// A render stops as soon as its request is given up: at the next sentence,
// or inside one through the runtime's progress callback; without a cancel in
// force, or with one that never fires, it renders everything.
TEST_F(NeuralRuntime, CancelStopsARenderPartWay)
{
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "你好。";
    const SynthesisResult whole = say(text, "zh-CN-TestZhS000");
    ASSERT_TRUE(whole.ok) << whole.error;
    EXPECT_EQ(whole.words.size(), 20u);
    {
        int asked = 0;
        RenderCancel never([&] { return ++asked < 0; });
        const SynthesisResult r = say(text, "zh-CN-TestZhS000");
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.pcm, whole.pcm);
        // Asked before each sentence and by the runtime while it generates.
        EXPECT_GE(asked, 2 * 20) << "the runtime never called the progress callback";
    }
    for (int after : {1, 2, 3, 7}) {
        SCOPED_TRACE(after);
        int asked = 0;
        RenderCancel cancel([&] { return ++asked >= after; });
        const SynthesisResult r = say(text, "zh-CN-TestZhS000");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("取消"), std::string::npos) << r.error;
        EXPECT_TRUE(r.pcm.empty());
        EXPECT_EQ(asked, after) << "went on after it was cancelled";
    }
    // The model is free again at once.
    EXPECT_TRUE(say("你好。", "zh-CN-TestZhS000").ok);
    EXPECT_FALSE(RenderCancel::requested());
}

// Every family renders through the same engine: the generated Kokoro and
// Matcha models make the same sine as the VITS one, so each shows that the
// speaker id arrives (the pitch), and that the audio grows by the tokens of
// the text added (Kokoro spells "你好" with 7 single-character tokens, VITS
// with 4 phones, Matcha with the same 4 and a blank after each) divided by
// the speed.
TEST(NeuralFamilies, EachFamilyRendersItsSpeakerAtItsLengthAndSpeed)
{
    TempWorkDir dir;
    NEURAL_MAKE_MODELS(dir.path(), "vits", "kokoro", "matcha2");
    std::string why;
    auto runtime = SherpaRuntime::open(runtimeDir(), why);
    ASSERT_TRUE(runtime) << why;
    const ModelCatalog catalog = scanModels(dir.path() / "models");
    for (const auto &s : catalog.skipped)
        ADD_FAILURE() << s.folder << ": " << s.reason;
    NeuralEngine engine(runtime, catalog.models);
    struct Row {
        const char *voice;
        int sid;
        int rate;
        int tokens;  // of "你好"
    };
    const Row rows[] = {
        {"zh-CN-TestZhS001", 1, 16000, 4},
        {"zh-CN-KokoroTestMultiZf001", 2, 24000, 7},
        {"zh-CN-KokoroTestMultiZm009", 3, 24000, 7},
        {"zh-CN-MatchaTestDuoS000", 0, 22050, 8},
        {"zh-CN-MatchaTestDuoS001", 1, 22050, 8},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.voice);
        ASSERT_TRUE(engine.hasVoice(row.voice));
        for (const auto &[ratePercent, speed] : {std::pair{0, 1.0}, std::pair{100, 2.0}}) {
            SCOPED_TRACE(ratePercent);
            const SynthesisResult two = engine.synthesize("你好", row.voice, ratePercent);
            const SynthesisResult four = engine.synthesize("你好你好", row.voice, ratePercent);
            ASSERT_TRUE(two.ok) << two.error;
            ASSERT_TRUE(four.ok) << four.error;
            EXPECT_EQ(two.sampleRate, row.rate);
            EXPECT_NEAR(double(four.pcm.size()) - double(two.pcm.size()), row.tokens * kHop / speed, 2.0)
                << two.pcm.size() << " " << four.pcm.size();
            ASSERT_GT(two.pcm.size(), 200u);
            for (int i : {1, 10, 100, 200}) {
                const double expected = 0.5 * std::sin(i * (0.05 + 0.02 * row.sid)) * 32767.0;
                EXPECT_NEAR(two.pcm[i], expected, 2.0) << "sample " << i;
            }
        }
    }
}

// The generated VITS speakers sound at 127, 178 and 229 Hz (0.05 + 0.02 sid
// radians a sample at 16 kHz): the first is estimated male, the others
// female, once, into the folder's cache, which the next scan reads and a
// changed model file voids. Speakers a list names (voices.tsv: speaker 0 of
// vits-named is said to be female although it sounds at 127 Hz) are never
// estimated.
TEST(NeuralGenders, UnnamedSpeakersAreEstimatedOnceFromTheirPitch)
{
    TempWorkDir dir;
    NEURAL_MAKE_MODELS(dir.path(), "vits", "named");
    const fs::path models = dir.path() / "models";
    std::string why;
    auto runtime = SherpaRuntime::open(runtimeDir(), why);
    ASSERT_TRUE(runtime) << why;
    auto genders = [&] {
        std::map<std::string, std::string> out;
        for (const auto &m : scanModels(models).models)
            for (const auto &v : m.voices)
                out[v.name] = v.gender + " " + v.displayName;
        return out;
    };
    const std::map<std::string, std::string> before = {
        {"zh-CN-TestZhS000", "Female vits-test-zh 000 女声"}, {"zh-CN-TestZhS001", "Female vits-test-zh 001 女声"},
        {"zh-CN-TestZhS002", "Female vits-test-zh 002 女声"}, {"zh-CN-NamedXiaohong", "Female 小红 女声"},
        {"zh-CN-NamedXiaoming", "Male 小明 男声"}};
    std::map<std::string, std::string> after = before;
    after["zh-CN-TestZhS000"] = "Male vits-test-zh 000 男声";
    EXPECT_EQ(genders(), before);

    std::ostringstream log;
    {
        NeuralEngine engine(runtime, scanModels(models).models);
        EXPECT_EQ(engine.estimateGenders(log), 3) << log.str();
    }
    EXPECT_TRUE(log.str().empty()) << log.str();
    EXPECT_TRUE(fs::exists(models / "vits-test-zh" / kGenderCacheName));
    EXPECT_FALSE(fs::exists(models / "vits-named" / kGenderCacheName));
    EXPECT_EQ(genders(), after);
    const std::string cache = readFile(models / "vits-test-zh" / kGenderCacheName);
    EXPECT_NE(cache.find("0\tMale\t12"), std::string::npos) << cache;  // 127 Hz, to a whole lag
    EXPECT_NE(cache.find("2\tFemale\t2"), std::string::npos) << cache;
    {
        // Kept: nothing left to estimate on the next start.
        NeuralEngine engine(runtime, scanModels(models).models);
        EXPECT_EQ(engine.estimateGenders(log), 0);
    }
    // Another model file in the folder: estimated again.
    const fs::path model = models / "vits-test-zh" / "model.onnx";
    fs::last_write_time(model, fs::last_write_time(model) + std::chrono::seconds(5));
    EXPECT_EQ(genders(), before);
    {
        NeuralEngine engine(runtime, scanModels(models).models);
        EXPECT_EQ(engine.estimateGenders(log), 3);
    }
    EXPECT_EQ(genders(), after);
    // A damaged cache is ignored, never trusted.
    writeFile(models / "vits-test-zh" / kGenderCacheName, "# model.onnx\tx\n0\tMale\n");
    EXPECT_EQ(genders(), before);
}

TEST(NeuralGenders, PitchOfASignal)
{
    for (double hz : {90.0, 120.0, 180.0, 240.0}) {
        for (int rate : {16000, 22050, 24000}) {
            SCOPED_TRACE(std::to_string(hz) + " Hz at " + std::to_string(rate));
            std::vector<std::int16_t> pcm(static_cast<std::size_t>(rate / 4));
            for (std::size_t i = 0; i < pcm.size(); ++i)  // a voiced buzz: the fundamental and two harmonics
                pcm[i] = static_cast<std::int16_t>(6000 * std::sin(2 * M_PI * hz * double(i) / rate) +
                                                   4000 * std::sin(4 * M_PI * hz * double(i) / rate) +
                                                   3000 * std::sin(6 * M_PI * hz * double(i) / rate));
            EXPECT_NEAR(estimatePitch(pcm, rate), hz, hz * 0.03);
            EXPECT_EQ(genderForPitch(estimatePitch(pcm, rate)), hz < 165 ? "Male" : "Female");
        }
    }
    EXPECT_EQ(estimatePitch(std::vector<std::int16_t>(16000, 0), 16000), 0.0);
    EXPECT_EQ(estimatePitch({}, 16000), 0.0);
}

TEST_F(NeuralRuntime, UnknownVoiceFailsWithItsName)
{
    const SynthesisResult r = say("你好", "zh-CN-NoSuchS000");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("zh-CN-NoSuchS000"), std::string::npos) << r.error;
}

}  // namespace
