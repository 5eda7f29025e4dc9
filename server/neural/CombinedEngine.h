// espeak-ng and the neural voices as one engine: each call goes to the engine
// that has the voice; the voice list keeps the locale order, with a locale's
// neural voices after its espeak voices.
#pragma once

#include "SpeechEngine.h"

#include <memory>

namespace tavrel::neural {

class CombinedEngine : public SpeechEngine {
public:
    CombinedEngine(std::shared_ptr<SpeechEngine> first, std::shared_ptr<SpeechEngine> second);

    const std::vector<VoiceInfo> &voices() const override { return m_voices; }
    bool hasVoice(const std::string &name) const override;
    SynthesisResult synthesize(const std::string &text, const std::string &voice, int ratePercent) override;
    SynthesisResult synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                               int ratePercent) override;
    std::string phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice) override;
    std::string modelText(const std::vector<reading::EngineRun> &runs, const std::string &voice) override;
    std::string voiceParameters(const std::string &voice) const override;
    bool stopsOnCancel(const std::string &voice) const override;

private:
    SpeechEngine &engineFor(const std::string &voice) const;

    std::shared_ptr<SpeechEngine> m_first;
    std::shared_ptr<SpeechEngine> m_second;
    std::vector<VoiceInfo> m_voices;
};

}  // namespace tavrel::neural
