// bench_neural: what a neural voice costs. For the first voice of every model
// in models/: the first load (the runtime creating its engine), the real-time
// factor of rendering 20 Mandarin passages through our front end (synthesis
// time / audio time), and the process's peak memory after it; espeak-ng on
// the same passages in the same run is the baseline.
#include "BenchCommon.h"
#include "EspeakEngine.h"
#include "FrontEnd.h"
#include "ModelCatalog.h"
#include "NeuralEngine.h"
#include "SherpaRuntime.h"
#include "Utf8.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

using namespace tavrel;
using Clock = std::chrono::steady_clock;

namespace {

struct Timing {
    double wall = 0;
    double audio = 0;
    bool ok = true;
};

Timing renderAll(SpeechEngine &engine, const std::string &voice, const std::string &locale,
                 const reading::FrontEnd &frontEnd, const std::vector<std::string> &texts)
{
    Timing t;
    for (const std::string &text : texts) {
        std::u32string cps;
        reading::utf8::decodeStrict(text, cps);
        const reading::Prepared prepared = frontEnd.prepare(cps, locale, nullptr);
        const auto start = Clock::now();
        const SynthesisResult r = engine.synthesize(prepared.runs, voice, 0);
        t.wall += std::chrono::duration<double>(Clock::now() - start).count();
        if (!r.ok || r.sampleRate <= 0) {
            t.ok = false;
            continue;
        }
        t.audio += double(r.pcm.size()) / r.sampleRate;
    }
    return t;
}

}  // namespace

int main(int argc, char **argv)
{
    const char *env = std::getenv("LUMO_NEURAL_MODELS");
    const std::filesystem::path models = argc > 1 ? std::filesystem::path(argv[1])
                                         : env       ? std::filesystem::path(env)
                                                     : std::filesystem::path(LUMO_WORKDIR) / "models";
    const neural::ModelCatalog catalog = neural::scanModels(models);
    for (const auto &s : catalog.skipped)
        std::cout << "skipped models/" << s.folder << ": " << s.reason << "\n";
    if (catalog.models.empty()) {
        std::cout << "bench_neural: no neural model in " << models.string()
                  << " (unpack one into models/ of the working folder): nothing to measure\n";
        return 0;
    }
    std::string why;
    auto runtime = neural::SherpaRuntime::open(TAVREL_RUNTIME_DIR, why);
    if (!runtime) {
        std::cout << "bench_neural: " << why << ": nothing to measure\n";
        return 0;
    }

    reading::FrontEnd frontEnd(std::filesystem::path(LUMO_WORKDIR) / "server");
    std::vector<std::string> texts;
    for (const auto &p : bench::buildPassages(60))
        if (!p.english && texts.size() < 20)
            texts.push_back(p.text);

    EspeakEngine espeak;
    const Timing base = renderAll(espeak, "zh-CN-XiaoxiaoNeural", "zh-CN", frontEnd, texts);
    const long rssBefore = bench::peakRssKb();
    std::vector<bench::Row> rows;
    // Real-time factors as milliseconds of synthesis per second of audio, so
    // that espeak-ng's small figure shows.
    rows.push_back({"espeak-ng: ms per audio second (baseline)", base.audio > 0 ? 1000 * base.wall / base.audio : 0, 0,
                    "", true, false});
    for (const auto &model : catalog.models) {
        neural::NeuralEngine engine(runtime, {model});
        const neural::NeuralVoice &voice = model.voices.front();
        const auto start = Clock::now();
        const bool loaded = engine.load(voice.name, why);
        const double loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!loaded) {
            std::cout << model.folder << ": " << why << "\n";
            continue;
        }
        // Mandarin passages: a voice of another language reads them as its own text would be read.
        const Timing t = renderAll(engine, voice.name, voice.locale, frontEnd, texts);
        const double rtf = t.audio > 0 ? 1000 * t.wall / t.audio : 0;
        const double baseRtf = base.audio > 0 ? 1000 * base.wall / base.audio : 0;
        rows.push_back({model.folder + ": first load, s", loadSeconds, 0, "", true, false});
        rows.push_back({model.folder + ": ms per audio second (" + voice.name + ")", rtf, baseRtf,
                        "< 1000 (faster than heard)", t.ok && rtf > 0 && rtf < 1000.0, true});
        rows.push_back({model.folder + ": peak memory, MB", bench::peakRssKb() / 1024.0, rssBefore / 1024.0, "", true,
                        true});
    }
    bench::printTable(rows);
    return 0;
}
