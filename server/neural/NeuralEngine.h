// Neural voices behind the SpeechEngine seam: every speaker of every model
// in models/ is one voice. A model is loaded on first use and kept; one
// model's speakers share its loaded engine, and one model renders one text at
// a time (the runtime's engine is not made for concurrent calls).
#pragma once

#include "ModelCatalog.h"
#include "SherpaRuntime.h"
#include "SpeechEngine.h"

#include <atomic>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tavrel::neural {

class NeuralEngine : public SpeechEngine {
public:
    // Checks, before a model is loaded into this process, that loading it
    // will not bring the process down (the runtime exits or aborts on some
    // malformed models); false with the reason. Empty: load directly.
    using LoadProbe = std::function<bool(const NeuralModel &, std::string &why)>;

    NeuralEngine(std::shared_ptr<SherpaRuntime> runtime, std::vector<NeuralModel> models, LoadProbe probe = {});
    ~NeuralEngine() override;

    NeuralEngine(const NeuralEngine &) = delete;
    NeuralEngine &operator=(const NeuralEngine &) = delete;

    const std::vector<VoiceInfo> &voices() const override { return m_voices; }
    bool hasVoice(const std::string &name) const override { return m_byVoice.count(name) != 0; }
    SynthesisResult synthesize(const std::string &text, const std::string &voice, int ratePercent) override;
    SynthesisResult synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                               int ratePercent) override;
    std::string phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice) override;
    std::string modelText(const std::vector<reading::EngineRun> &runs, const std::string &voice) override;
    bool stopsOnCancel(const std::string &voice) const override { return hasVoice(voice); }

    // Loads the model now; false with the reason when it cannot be loaded.
    bool load(const std::string &voice, std::string &why);
    // The loaded model's sample rate and speaker count, as the runtime reports
    // them (0 before the model is loaded).
    int loadedSampleRate(const std::string &voice);
    int loadedSpeakers(const std::string &voice);

    const std::vector<NeuralModel> &models() const { return m_models; }

    // Estimates, from a short rendering each, the gender of every speaker
    // that no list names and no cache holds yet, and writes each model's
    // cache (GenderCache); the next start names them by it. Returns how many
    // speakers it estimated; `stop` ends it between speakers.
    int estimateGenders(std::ostream &log, const std::atomic<bool> *stop = nullptr);

    // The runtime's speed for the program's rate (0 normal, +50 half again as fast).
    static float speedFor(int ratePercent);

private:
    struct Slot;
    struct Target {
        Slot *slot = nullptr;
        int sid = 0;
    };
    const Target *target(const std::string &voice) const;
    bool ensureLoaded(Slot &slot);  // under slot.mutex
    void ensureLexicon(Slot &slot);
    std::string textFor(Slot &slot, const reading::EngineRun &run, bool mandarin, std::string *phones);

    std::shared_ptr<SherpaRuntime> m_runtime;
    std::vector<NeuralModel> m_models;
    LoadProbe m_probe;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::map<std::string, Target> m_byVoice;
    std::vector<VoiceInfo> m_voices;
};

}  // namespace tavrel::neural
