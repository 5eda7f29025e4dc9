// What reading text costs the service: start until it listens with the word
// list and MeCab loaded, and the front end's share of rendering the render
// benchmark's script. (The service's peak memory during a render is
// bench_service_render's.)
#include "BenchCommon.h"
#include "EspeakEngine.h"
#include "FrontEnd.h"
#include "Utf8.h"

#include <algorithm>
#include <cstdio>
#include <signal.h>
#include <sys/wait.h>

namespace {

std::string voiceFor(const bench::Passage &p)
{
    static const char *zh[] = {"zh-CN-XiaoxiaoNeural", "zh-CN-YunxiNeural", "zh-CN-XiaoyiNeural",
                               "zh-CN-YunjianNeural"};
    static const char *en[] = {"en-US-Female1", "en-US-Male1", "en-US-Female2", "en-US-Male2"};
    return p.english ? en[p.speaker % 4] : zh[p.speaker % 4];
}

}  // namespace

int main()
{
    const std::string binary = BENCH_SERVICE_BINARY;
    const bench::fs::path work = bench::fs::temp_directory_path() / "bench_reading_cost";
    bench::fs::create_directories(work / "audio");

    // Start to listening, median of 7.
    std::vector<double> starts;
    for (int i = 0; i < 7; ++i) {
        const auto t0 = bench::Clock::now();
        bench::ServiceProcess s = bench::startService(binary, work, {"--port", "0"});
        const auto t1 = bench::Clock::now();
        if (!s.running()) {
            std::fprintf(stderr, "bench_reading_cost: the service did not start\n");
            return 1;
        }
        starts.push_back(bench::seconds(t0, t1));
        bench::stopService(s);
    }
    std::sort(starts.begin(), starts.end());
    const double startMs = starts[starts.size() / 2] * 1000;

    // The front end against the engine on the render benchmark's script.
    const auto passages = bench::buildPassages(308);
    tavrel::reading::FrontEnd frontEnd(TAVREL_DATA_DIR);
    tavrel::EspeakEngine engine;
    double prepareSeconds = 0, synthSeconds = 0;
    std::size_t characters = 0;
    for (const bench::Passage &p : passages) {
        const std::u32string text = tavrel::reading::utf8::decode(p.text);
        characters += text.size();
        const std::string locale = p.english ? "en-US" : "zh-CN";
        const auto t0 = bench::Clock::now();
        const tavrel::reading::Prepared prepared = frontEnd.prepare(text, locale);
        const auto t1 = bench::Clock::now();
        const auto speech = engine.synthesize(prepared.runs, voiceFor(p), 0);
        const auto t2 = bench::Clock::now();
        if (!speech.ok) {
            std::fprintf(stderr, "bench_reading_cost: a passage did not render\n");
            return 1;
        }
        prepareSeconds += bench::seconds(t0, t1);
        synthSeconds += bench::seconds(t1, t2);
    }
    // Synthesis alone is less than a render (no encoding, no files): the
    // share printed is an upper bound.
    const double share = 100.0 * prepareSeconds / (prepareSeconds + synthSeconds);

    std::printf("script: %zu passages, %zu characters\n", passages.size(), characters);
    std::vector<bench::Row> rows = {
        {"service start to listening, data loaded (ms)", startMs, 0, "<= 300", startMs <= 300, false},
        {"front end on the render script (ms)", prepareSeconds * 1000, synthSeconds * 1000, "(info)", true, true},
        {"front end share of the render (%)", share, 0, "<= 5", share <= 5, false},
    };
    bench::printTable(rows);
    const bool ok = startMs <= 300 && share <= 5;
    if (!ok)
        std::printf("TARGET MISSED\n");
    return ok ? 0 : 1;
}
