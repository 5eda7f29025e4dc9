// Neural voices through the service: listed after their locale's espeak
// voices, rendered through the same endpoints as an espeak voice (MP3 whose
// length follows the text and the rate, a cue per sentence), the reading our
// front end decided handed to the model, a failure envelope for a model that
// cannot load; and the executable itself without runtime or models.
#include "NeuralTestSupport.h"
#include "NeuralVoices.h"
#include "Mp3Codec.h"
#include "Subtitles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace tavrel;
using namespace tavrel::neural;
using namespace tavrel::test;

namespace {

class NeuralService : public ::testing::Test {
protected:
    void SetUp() override
    {
        NEURAL_MAKE_MODELS(m_dir.path(), "vits", "vits1", "corrupt", "loadfail", "slow");
        std::ostringstream log;
        NeuralStartup start = startNeuralVoices(sharedEngine(), m_dir.path(), runtimeDir(), {}, log);
        m_log = log.str();
        ASSERT_TRUE(start.offReason.empty()) << start.offReason;
        m_engine = start.engine;
        m_service = std::make_unique<EngineService>(m_dir.path(), start.engine);
    }

    // Seconds of the model's audio for a text as written (no front end).
    double seconds(const std::string &text, const std::string &voice)
    {
        const SynthesisResult r = m_engine->synthesize(text, voice, 0);
        EXPECT_TRUE(r.ok) << r.error;
        return double(r.pcm.size()) / kModelRate;
    }

    Reply render(const std::string &text, const std::string &voice, const std::string &name,
                 const std::string &rate = "+0%")
    {
        return postForm(m_service->port(), "ttsCommunicate", renderFields(text, voice, m_dir.job(), name, rate));
    }

    TempWorkDir m_dir;
    std::string m_log;
    std::shared_ptr<SpeechEngine> m_engine;
    std::unique_ptr<EngineService> m_service;
};

TEST_F(NeuralService, VoicesFollowTheirLocalesEspeakVoices)
{
    EXPECT_NE(m_log.find("models/vits-corrupt"), std::string::npos) << m_log;
    const Reply r = getJson(m_service->port(), "getVoices");
    ASSERT_EQ(r.code(), 1) << r.raw;
    std::vector<std::string> zh;
    std::vector<std::string> all;
    for (const auto &v : r.body["data"]) {
        all.push_back(v["name"]);
        if (v["locale"] == "zh-CN")
            zh.push_back(v["name"]);
    }
    // Every espeak voice is still there, in its order.
    std::vector<std::string> espeak;
    for (const auto &v : sharedEngine()->voices())
        espeak.push_back(v.name);
    std::vector<std::string> kept;
    for (const auto &n : all)
        if (std::find(espeak.begin(), espeak.end(), n) != espeak.end())
            kept.push_back(n);
    EXPECT_EQ(kept.size(), espeak.size());
    const std::vector<std::string> neural = {"zh-CN-LoadfailS000", "zh-CN-LoadfailS001", "zh-CN-TestSlowS000",
                                             "zh-CN-TestSoloS000", "zh-CN-TestZhS000", "zh-CN-TestZhS001",
                                             "zh-CN-TestZhS002"};
    ASSERT_GE(zh.size(), neural.size() + 1);
    EXPECT_EQ(std::vector<std::string>(zh.end() - neural.size(), zh.end()), neural);
    EXPECT_EQ(all.size(), espeak.size() + neural.size());
    // An espeak voice keeps what decides its sound (the render cache's key).
    EXPECT_EQ(m_engine->voiceParameters("zh-CN-XiaoxiaoNeural"), sharedEngine()->voiceParameters("zh-CN-XiaoxiaoNeural"));
    for (const auto &v : r.body["data"])
        if (v["name"] == "zh-CN-TestZhS001") {
            EXPECT_EQ(v["gender"], "Female");
            EXPECT_EQ(v["displayName"], "vits-test-zh 001 女声");
        }
}

TEST_F(NeuralService, RenderLengthFollowsTextAndRate)
{
    struct Row {
        const char *text;
        const char *rate;
        double speed;
        int phones;
    };
    const Row rows[] = {
        {"你好", "+0%", 1.0, 4},
        {"你好世界", "+0%", 1.0, 8},
        {"你好世界你好", "+0%", 1.0, 12},
        {"你好世界", "+100%", 2.0, 8},
        {"你好世界", "-50%", 0.5, 8},
    };
    // The runtime frames every text with the same few tokens of its own.
    const double framing = seconds("你好", "zh-CN-TestZhS000") - 4.0 * kHop / kModelRate;
    ASSERT_GT(framing, 0.0);
    int index = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.text) + " " + row.rate);
        const std::string name = "r" + std::to_string(index++);
        const Reply r = render(row.text, "zh-CN-TestZhS000", name, row.rate);
        ASSERT_EQ(r.code(), 1) << r.raw;
        const DecodedMp3 mp3 = decodeMp3(m_dir.job() / (name + ".mp3"));
        ASSERT_TRUE(mp3.ok);
        EXPECT_EQ(mp3.rate, kModelRate);  // the model's own rate, kept up to the encoder
        const double expected = (double(row.phones) * kHop / kModelRate + framing) / row.speed;
        // The MP3 adds the encoder's and decoder's lead (1105 samples) in
        // front and pads the end to whole frames of 576 samples.
        const double lead = (576.0 + mp3::kDecoderDelay) / kModelRate, frame = 576.0 / kModelRate;
        EXPECT_GE(mp3.seconds(), expected + lead - 0.002) << mp3.seconds();
        EXPECT_LE(mp3.seconds(), expected + lead + frame + 0.002) << mp3.seconds();
    }
    // Sentence by sentence: as long as its sentences rendered one by one.
    ASSERT_EQ(render("你好，世界。你好世界！", "zh-CN-TestZhS000", "three").code(), 1);
    const DecodedMp3 three = decodeMp3(m_dir.job() / "three.mp3");
    // What the model is given, piece by piece (see ModelIsGivenOurReading).
    const double pieces = seconds("你好,", "zh-CN-TestZhS000") + seconds("是界。", "zh-CN-TestZhS000") +
                          seconds("你好是界!", "zh-CN-TestZhS000");
    EXPECT_NEAR(three.seconds(), pieces, 0.08);
}

TEST_F(NeuralService, EachSentencesCueStartsWithItsAudio)
{
    ASSERT_EQ(render("你好，世界。你好世界！", "zh-CN-TestZhS001", "cues").code(), 1);
    const auto cues = srt::parse(readFile(m_dir.job() / "cues.srt"));
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0].text, "你好，");
    EXPECT_EQ(cues[2].text, "你好世界！");
    // Each cue starts where the sentences before it have been said.
    EXPECT_NEAR(cues[1].startMs - cues[0].startMs, seconds("你好,", "zh-CN-TestZhS001") * 1000, 12);
    EXPECT_NEAR(cues[2].startMs - cues[1].startMs, seconds("是界。", "zh-CN-TestZhS001") * 1000, 12);
    EXPECT_GT(cues[2].endMs, cues[2].startMs);
}

TEST_F(NeuralService, SpeakerIdSelectsTheVoice)
{
    for (const char *v : {"zh-CN-TestZhS000", "zh-CN-TestZhS002"})
        ASSERT_EQ(render("你好世界", v, v).code(), 1);
    ASSERT_EQ(render("你好世界", "zh-CN-TestZhS002", "again").code(), 1);
    const DecodedMp3 a = decodeMp3(m_dir.job() / "zh-CN-TestZhS000.mp3");
    const DecodedMp3 b = decodeMp3(m_dir.job() / "zh-CN-TestZhS002.mp3");
    const DecodedMp3 c = decodeMp3(m_dir.job() / "again.mp3");
    ASSERT_TRUE(a.ok && b.ok && c.ok);
    EXPECT_EQ(a.samples.size(), b.samples.size());
    EXPECT_NE(a.samples, b.samples);
    EXPECT_EQ(b.samples, c.samples);
}

TEST_F(NeuralService, ModelIsGivenOurReading)
{
    struct Row {
        const char *text;
        const char *modelText;
        const char *modelPhones;
    };
    // Our front end reads 世 as shi4; the model gets the first character its
    // lexicon reads so (是), whatever its own reading of the text would be.
    const Row rows[] = {
        {"你好", "你好", "n i3 h ao3"},
        {"你好，世界。", "你好,是界。", "n i3 h ao3 sh i4 j ie4"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        const Reply r = postForm(m_service->port(), "ttsReading", {{"text", row.text}, {"voice", "zh-CN-TestZhS000"}});
        ASSERT_EQ(r.code(), 1) << r.raw;
        EXPECT_EQ(r.body["data"]["modelText"], row.modelText);
        EXPECT_EQ(r.body["data"]["modelPhones"], row.modelPhones);
    }
    // An espeak voice answers as before.
    const Reply e = postForm(m_service->port(), "ttsReading", {{"text", "你好"}, {"voice", "zh-CN-XiaoxiaoNeural"}});
    ASSERT_EQ(e.code(), 1) << e.raw;
    EXPECT_FALSE(e.body["data"].contains("modelText"));
}

// A join keeps one rate: passages at the join's rate are copied frame by
// frame, the others resampled and re-encoded; nothing is lost or added but
// the asked pauses, and each passage is heard where it belongs.
TEST_F(NeuralService, JoinOfDifferentRatesResamplesToTheHighest)
{
    ASSERT_EQ(render("你好世界。", "zh-CN-XiaoxiaoNeural", "espeak").code(), 1);
    ASSERT_EQ(render("你好世界你好。", "zh-CN-TestZhS001", "neural").code(), 1);
    ASSERT_EQ(render("你好世界你好世界你好。", "zh-CN-TestZhS002", "neural2").code(), 1);
    const DecodedMp3 espeak = decodeMp3(m_dir.job() / "espeak.mp3");
    const DecodedMp3 neural = decodeMp3(m_dir.job() / "neural.mp3");
    const DecodedMp3 neural2 = decodeMp3(m_dir.job() / "neural2.mp3");
    ASSERT_TRUE(espeak.ok && neural.ok && neural2.ok);
    ASSERT_EQ(espeak.rate, mp3::kSampleRate);
    ASSERT_EQ(neural.rate, kModelRate);
    auto list = [&](std::initializer_list<const char *> names) {
        std::string out;
        for (const char *n : names)
            out += (m_dir.job() / (std::string(n) + ".mp3")).string() + "?";
        return out;
    };
    struct Row {
        std::vector<const char *> names;
        int pauseMs;
        long rate;
        double tolerance;  // a re-encoded passage gains up to a frame and the encoder's delay
    };
    const Row rows[] = {
        {{"espeak", "neural"}, 0, mp3::kSampleRate, 0.12},
        {{"neural", "espeak", "neural2"}, 500, mp3::kSampleRate, 0.2},
        {{"neural", "neural2"}, 300, kModelRate, 0.04},  // one rate: frames copied
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.names.size() * 1000 + row.pauseMs);
        std::string audio;
        double sum = 0;
        std::vector<double> lengths;
        for (const char *n : row.names) {
            audio += list({n});
            const double s = decodeMp3(m_dir.job() / (std::string(n) + ".mp3")).seconds();
            lengths.push_back(s);
            sum += s;
        }
        const Reply r = postForm(m_service->port(), "audioCombined",
                                 {{"audio", audio}, {"path", m_dir.job().string() + "/"},
                                  {"dura", std::to_string(row.pauseMs)}, {"wav", "1"}});
        ASSERT_EQ(r.code(), 1) << r.raw;
        const DecodedMp3 out = decodeMp3(m_dir.job() / "output.mp3");
        ASSERT_TRUE(out.ok);
        EXPECT_EQ(out.rate, row.rate);
        EXPECT_EQ(out.channels, 1);
        const double expected = sum + (row.names.size() - 1) * row.pauseMs / 1000.0;
        EXPECT_NEAR(out.seconds(), expected, row.tolerance);
        // Every passage is heard in its stretch (a resampler that dropped or
        // garbled one would leave it silent), and the pauses are silent.
        double at = 0;
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            // The middle of its stretch: a re-encoded passage starts later by
            // the encoder's lead.
            const auto from = static_cast<std::size_t>((at + lengths[i] * 0.3) * out.rate);
            const auto to = static_cast<std::size_t>((at + lengths[i] * 0.7) * out.rate);
            EXPECT_GT(rms(out.samples, from, to), 800.0) << "passage " << i;
            at += lengths[i];
            if (row.pauseMs >= 300 && i + 1 < lengths.size()) {
                const auto quiet = static_cast<std::size_t>((at + 0.1) * out.rate);
                EXPECT_LT(rms(out.samples, quiet, quiet + out.rate / 20), 200.0) << "pause " << i;
            }
            at += row.pauseMs / 1000.0;
        }
        // output.wav at the join's rate, as long as the MP3.
        const std::string wav = readFile(m_dir.job() / "output.wav");
        ASSERT_GT(wav.size(), 44u);
        const auto le32 = [&](std::size_t at) {
            return std::uint32_t(std::uint8_t(wav[at])) | std::uint32_t(std::uint8_t(wav[at + 1])) << 8 |
                   std::uint32_t(std::uint8_t(wav[at + 2])) << 16 | std::uint32_t(std::uint8_t(wav[at + 3])) << 24;
        };
        EXPECT_EQ(le32(24), std::uint32_t(row.rate));
        EXPECT_NEAR(double(wav.size() - 44) / 2 / row.rate, out.seconds(), 0.001);
    }
    // The timeline too: the espeak cue at 0 s, the neural one at 3 s.
    const Reply t = postForm(m_service->port(), "audioTimeline",
                             {{"audio", list({"espeak", "neural"})}, {"starts", "0,3000"},
                              {"path", m_dir.job().string() + "/"}});
    ASSERT_EQ(t.code(), 1) << t.raw;
    const DecodedMp3 placed = decodeMp3(m_dir.job() / "output.mp3");
    ASSERT_TRUE(placed.ok);
    EXPECT_EQ(placed.rate, mp3::kSampleRate);
    EXPECT_GT(rms(placed.samples, placed.rate * 31 / 10, placed.rate * 33 / 10), 800.0);
    EXPECT_LT(rms(placed.samples, placed.rate * 27 / 10, placed.rate * 29 / 10), 200.0);
    EXPECT_NEAR(placed.seconds(), 3.0 + neural.seconds(), 0.12);
}

// Kokoro and Matcha voices go through the service like VITS ones: our
// reading handed to the model (/ttsReading says what it was given and what
// its lexicon makes of it), one cue per sentence, the MP3 at the model's rate.
TEST(NeuralFamiliesService, KokoroAndMatchaRenderAndShowWhatTheModelIsGiven)
{
    TempWorkDir dir;
    NEURAL_MAKE_MODELS(dir.path(), "kokoro", "matcha2");
    std::ostringstream log;
    NeuralStartup start = startNeuralVoices(sharedEngine(), dir.path(), runtimeDir(), {}, log);
    ASSERT_TRUE(start.offReason.empty()) << start.offReason;
    EXPECT_TRUE(start.catalog.skipped.empty()) << log.str();
    EngineService service(dir.path(), start.engine);
    struct Row {
        const char *voice;
        long rate;
        const char *modelPhones;
    };
    const Row rows[] = {
        {"zh-CN-KokoroTestMultiZm009", 24000, "n i 3 h a o 3 s h i 4 j i e 4"},
        {"zh-CN-MatchaTestDuoS001", 22050, "n i3 h ao3 sh i4 j ie4"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.voice);
        const Reply reading = postForm(service.port(), "ttsReading", {{"text", "你好，世界。"}, {"voice", row.voice}});
        ASSERT_EQ(reading.code(), 1) << reading.raw;
        EXPECT_EQ(reading.body["data"]["modelText"], "你好,是界。");
        EXPECT_EQ(reading.body["data"]["modelPhones"], row.modelPhones);

        const Reply r = postForm(service.port(), "ttsCommunicate",
                                 renderFields("你好，世界。你好世界！", row.voice, dir.job(), row.voice));
        ASSERT_EQ(r.code(), 1) << r.raw;
        const DecodedMp3 mp3 = decodeMp3(dir.job() / (std::string(row.voice) + ".mp3"));
        ASSERT_TRUE(mp3.ok);
        EXPECT_EQ(mp3.rate, row.rate);
        EXPECT_GT(rms(mp3.samples), 1000.0);
        const auto cues = srt::parse(readFile(dir.job() / (std::string(row.voice) + ".srt")));
        ASSERT_EQ(cues.size(), 3u);
        EXPECT_EQ(cues[1].text, "世界。");
        EXPECT_LT(cues[0].startMs, cues[1].startMs);
        EXPECT_LT(cues[1].startMs, cues[2].startMs);
    }
}

// A sentence the model cannot say (no word of it in its lexicon) is a pause
// in its place with its cue, not a failure of the passage; a passage of
// nothing else is a pause too.
TEST_F(NeuralService, UnsayableSentenceIsAPauseInItsPlace)
{
    ASSERT_EQ(render("你好。今天。你好世界。", "zh-CN-TestZhS001", "gap").code(), 1);
    const auto cues = srt::parse(readFile(m_dir.job() / "gap.srt"));
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[1].text, "今天。");
    EXPECT_NEAR(cues[1].startMs - cues[0].startMs, seconds("你好。", "zh-CN-TestZhS001") * 1000, 12);
    EXPECT_NEAR(cues[2].startMs - cues[1].startMs, 300, 12);
    const DecodedMp3 gap = decodeMp3(m_dir.job() / "gap.mp3");
    ASSERT_TRUE(gap.ok);
    const auto pause = static_cast<std::size_t>((cues[1].startMs + 50) * gap.rate / 1000);
    EXPECT_LT(rms(gap.samples, pause, pause + gap.rate / 5), 50.0);

    // As written, through the model's own lexicon: the runtime finds no
    // token but its own framing, and the sentence keeps its mark.
    const SynthesisResult raw = m_engine->synthesize("你好。今天。", "zh-CN-TestZhS001", 0);
    ASSERT_TRUE(raw.ok) << raw.error;
    ASSERT_EQ(raw.words.size(), 2u);
    EXPECT_GT(raw.pcm.size(), std::size_t(raw.words[1].sample));

    ASSERT_EQ(render("今天。", "zh-CN-TestZhS001", "only").code(), 1);
    EXPECT_EQ(srt::parse(readFile(m_dir.job() / "only.srt")).size(), 1u);
}

// The model's files changed under the running service: a file with fewer
// speakers than listed refuses the missing ones, a removed folder fails its
// voices; each with a clear envelope, while the rest still renders.
TEST_F(NeuralService, ChangedModelFilesGiveFailureEnvelopes)
{
    const fs::path models = m_dir.path() / "models";
    fs::copy_file(models / "vits-test-solo" / "model.onnx", models / "vits-test-zh" / "model.onnx",
                  fs::copy_options::overwrite_existing);
    const Reply missing = render("你好", "zh-CN-TestZhS002", "sid2");
    EXPECT_EQ(missing.code(), 0) << missing.raw;
    EXPECT_NE(missing.msg().find("没有说话人 2"), std::string::npos) << missing.msg();
    EXPECT_EQ(render("你好", "zh-CN-TestZhS000", "sid0").code(), 1);

    fs::remove_all(models / "vits-test-solo");
    const Reply gone = render("你好", "zh-CN-TestSoloS000", "gone");
    EXPECT_EQ(gone.code(), 0) << gone.raw;
    EXPECT_NE(gone.msg().find("vits-test-solo"), std::string::npos) << gone.msg();
    const Reply reading = postForm(m_service->port(), "ttsReading", {{"text", "你好"}, {"voice", "zh-CN-TestSoloS000"}});
    EXPECT_EQ(reading.code(), 1) << reading.raw;  // the front end's reading needs no model
    EXPECT_EQ(render("你好", "zh-CN-XiaoxiaoNeural", "espeak").code(), 1);
    EXPECT_EQ(getJson(m_service->port(), "getVoices").code(), 1);
}

// Sends a request and drops the connection after `waitMs`, as the program
// does when its job is cancelled.
void postAndAbandon(int port, const std::string &endpoint, const Fields &fields, int waitMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    const std::string body = formEncode(fields);
    const std::string request = "POST /" + endpoint + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    ::close(fd);
}

// The program cancels a job by dropping its requests: a neural render in
// progress stops, writes nothing, and frees its model for the next request
// at once instead of after the whole passage.
TEST_F(NeuralService, AbandonedRenderStopsAndFreesTheModel)
{
    const std::string voice = "zh-CN-TestSlowS000";
    ASSERT_EQ(render("你好。", voice, "warm").code(), 1);  // loaded
    auto timed = [&](const std::string &name) {
        const auto start = std::chrono::steady_clock::now();
        const Reply r = render("你好。", voice, name);
        EXPECT_EQ(r.code(), 1) << r.raw;
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    const double one = std::max(timed("one"), timed("two"));
    constexpr int kSentences = 100;
    std::string text;
    for (int i = 0; i < kSentences; ++i)
        text += "你好世界。";
    postAndAbandon(m_service->port(), "ttsCommunicate", renderFields(text, voice, m_dir.job(), "long"),
                   static_cast<int>(std::max(50.0, 3 * one)));
    // Left running, the long passage would hold the model for 100 sentences.
    const double next = timed("next");
    EXPECT_LT(next, 12 * one + 200) << "one sentence takes " << one << " ms";
    EXPECT_FALSE(fs::exists(m_dir.job() / "long.mp3"));
    EXPECT_FALSE(fs::exists(m_dir.job() / "long.srt"));
    // A request that is not given up renders all of it.
    ASSERT_EQ(render("你好世界。你好世界。你好世界。", voice, "kept").code(), 1);
    EXPECT_EQ(srt::parse(readFile(m_dir.job() / "kept.srt")).size(), 3u);
}

TEST_F(NeuralService, ModelThatCannotLoadGetsAFailureEnvelope)
{
    for (int i = 0; i < 2; ++i) {
        const Reply r = render("你好", "zh-CN-LoadfailS001", "fail" + std::to_string(i));
        EXPECT_EQ(r.code(), 0) << r.raw;
        EXPECT_NE(r.msg().find("vits-loadfail"), std::string::npos) << r.msg();
    }
    // The other models and espeak still speak.
    EXPECT_EQ(render("你好", "zh-CN-TestSoloS000", "solo").code(), 1);
    EXPECT_EQ(render("你好", "zh-CN-XiaoxiaoNeural", "espeak").code(), 1);
}

// The executable, started as the program starts it, in a folder of its own.
class ServiceProcess {
public:
    ServiceProcess(const fs::path &binary, const fs::path &workDir) : m_err(workDir / "stderr.txt")
    {
        const std::string exe = binary.string(), dir = workDir.string(), err = m_err.string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (workDir / "stdout.txt").c_str(), O_WRONLY | O_CREAT, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        char *argv[] = {const_cast<char *>(exe.c_str()), const_cast<char *>("--port"), const_cast<char *>("0"),
                        nullptr};
        posix_spawn(&m_pid, exe.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        const fs::path out = workDir / "stdout.txt";
        for (int i = 0; i < 1000 && m_port == 0; ++i) {
            std::ifstream in(out);
            std::string word;
            std::string line;
            std::getline(in, line);
            const auto colon = line.rfind(':');
            if (line.rfind("listening on", 0) == 0 && colon != std::string::npos)
                m_port = std::stoi(line.substr(colon + 1));
            else
                usleep(20000);
        }
    }
    ~ServiceProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    int port() const { return m_port; }
    std::string stderrText() const { return readFile(m_err); }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    fs::path m_err;
};

std::size_t count(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The service itself (which tries each model in a child first): a model file
// truncated after start and a folder removed give failure envelopes; the
// service lives on and serves the others.
TEST(NeuralExecutable, TruncatedOrRemovedModelsAreFailuresNotCrashes)
{
    TempWorkDir dir;
    NEURAL_MAKE_MODELS(dir.path(), "vits", "vits1");
    ServiceProcess service(serverBinary(), dir.path());
    ASSERT_GT(service.port(), 0) << service.stderrText();
    const fs::path model = dir.path() / "models" / "vits-test-zh" / "model.onnx";
    const std::string bytes = readFile(model);
    writeFile(model, bytes.substr(0, bytes.size() / 2));
    fs::remove_all(dir.path() / "models" / "vits-test-solo");
    for (const char *voice : {"zh-CN-TestZhS001", "zh-CN-TestSoloS000"}) {
        SCOPED_TRACE(voice);
        for (int i = 0; i < 2; ++i) {
            const Reply r = postForm(service.port(), "ttsCommunicate",
                                     renderFields("你好", voice, dir.job(), voice + std::to_string(i)));
            EXPECT_EQ(r.code(), 0) << r.raw;
            EXPECT_NE(r.msg().find("无法加载"), std::string::npos) << r.msg();
        }
    }
    EXPECT_EQ(postForm(service.port(), "ttsCommunicate", renderFields("你好", "zh-CN-XiaoxiaoNeural", dir.job(), "e"))
                  .code(),
              1);
    EXPECT_EQ(getJson(service.port(), "getVoices").code(), 1);
}

TEST(NeuralExecutable, WithoutRuntimeServesEspeakAndSaysWhyOnce)
{
    TempWorkDir dir;
    NEURAL_MAKE_MODELS(dir.path(), "vits");
    // A copy of the service with its reading data but without the runtime beside it.
    const fs::path bin = dir.path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(serverBinary(), bin / "Sayora_server_Tavrel");
    fs::create_symlink(serverBinary().parent_path() / "mandarin.lex", bin / "mandarin.lex");
    ServiceProcess service(bin / "Sayora_server_Tavrel", dir.path());
    ASSERT_GT(service.port(), 0) << service.stderrText();
    const Reply voices = getJson(service.port(), "getVoices");
    ASSERT_EQ(voices.code(), 1);
    EXPECT_EQ(voices.body["data"].size(), sharedEngine()->voices().size());
    EXPECT_EQ(postForm(service.port(), "ttsCommunicate", renderFields("你好", "zh-CN-XiaoxiaoNeural", dir.job(), "a"))
                  .code(),
              1);
    const std::string err = service.stderrText();
    EXPECT_EQ(count(err, "没有神经语音"), 1u) << err;
    EXPECT_NE(err.find("libsherpa-onnx-c-api.so"), std::string::npos) << err;
}

TEST(NeuralExecutable, WithoutModelsSaysSoAndServesEspeak)
{
    TempWorkDir dir;
    ServiceProcess service(serverBinary(), dir.path());
    ASSERT_GT(service.port(), 0) << service.stderrText();
    const Reply voices = getJson(service.port(), "getVoices");
    ASSERT_EQ(voices.code(), 1);
    EXPECT_EQ(voices.body["data"].size(), sharedEngine()->voices().size());
    const std::string err = service.stderrText();
    EXPECT_EQ(count(err, "没有神经语音"), 1u) << err;
    EXPECT_NE(err.find("models/"), std::string::npos) << err;
}

TEST(NeuralExecutable, SkipsBrokenFoldersAndSurvivesAModelTheRuntimeRefuses)
{
    TempWorkDir dir;
    NEURAL_MAKE_MODELS(dir.path(), "vits", "notokens", "unknown", "loadfail");
    writeFile(dir.path() / "models" / "vits-test-zh" / "voices.tsv", "1\tA\tzh-CN\tFemale\n9\tB\tzh-CN\tMale\n");
    const fs::path cache = dir.path() / "models" / "vits-test-zh" / ".lumo-speaker-genders.tsv";
    std::optional<ServiceProcess> first(std::in_place, serverBinary(), dir.path());
    ServiceProcess &service = *first;
    ASSERT_GT(service.port(), 0) << service.stderrText();
    const std::string err = service.stderrText();
    EXPECT_NE(err.find("models/vits-test-zh/voices.tsv 第 2 行"), std::string::npos) << err;
    EXPECT_NE(err.find("models/vits-notokens"), std::string::npos) << err;
    EXPECT_NE(err.find("models/mystery-model"), std::string::npos) << err;
    EXPECT_EQ(count(err, "没有神经语音"), 0u) << err;
    const Reply failed =
        postForm(service.port(), "ttsCommunicate", renderFields("你好", "zh-CN-LoadfailS000", dir.job(), "f"));
    EXPECT_EQ(failed.code(), 0) << failed.raw;
    EXPECT_NE(failed.msg().find("无法加载"), std::string::npos) << failed.msg();
    const Reply ok =
        postForm(service.port(), "ttsCommunicate", renderFields("你好世界", "zh-CN-TestZhS002", dir.job(), "ok"));
    ASSERT_EQ(ok.code(), 1) << ok.raw;
    const DecodedMp3 mp3 = decodeMp3(dir.job() / "ok.mp3");
    ASSERT_TRUE(mp3.ok);
    EXPECT_EQ(mp3.rate, kModelRate);
    EXPECT_GT(rms(mp3.samples), 1000.0);

    // The speakers nobody named are estimated in the background; the next
    // start names them by the estimate (speaker 0 sounds at 127 Hz).
    for (int i = 0; i < 500 && !fs::exists(cache); ++i)
        usleep(20000);
    ASSERT_TRUE(fs::exists(cache)) << service.stderrText();
    first.reset();
    fs::remove(dir.path() / "stdout.txt");
    fs::remove(dir.path() / "stderr.txt");
    ServiceProcess again(serverBinary(), dir.path());
    ASSERT_GT(again.port(), 0) << again.stderrText();
    std::map<std::string, std::string> genders;
    const Reply listed = getJson(again.port(), "getVoices");
    ASSERT_EQ(listed.code(), 1) << listed.raw;
    for (const auto &v : listed.body["data"])
        genders[v["name"]] = std::string(v["gender"]) + " " + v.value("displayName", std::string());
    EXPECT_EQ(genders["zh-CN-TestZhS000"], "Male vits-test-zh 000 男声");
    EXPECT_EQ(genders["zh-CN-TestZhA"], "Female vits-test-zh 001 女声");
    EXPECT_EQ(genders["zh-CN-TestZhS002"], "Female vits-test-zh 002 女声");
}

}  // namespace
