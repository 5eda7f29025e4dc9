#pragma once

#include "SpeechEngine.h"

#include <map>
#include <mutex>
#include <string>

namespace tavrel {

// espeak-ng through its C library. The library keeps one global synthesiser,
// so every synthesis runs under one mutex; callers overlap everything else.
class EspeakEngine : public SpeechEngine {
public:
    EspeakEngine();
    ~EspeakEngine() override;

    EspeakEngine(const EspeakEngine &) = delete;
    EspeakEngine &operator=(const EspeakEngine &) = delete;

    bool isReady() const { return m_sampleRate > 0; }

    const std::vector<VoiceInfo> &voices() const override { return m_voices; }
    bool hasVoice(const std::string &name) const override;
    SynthesisResult synthesize(const std::string &text, const std::string &voice,
                               int ratePercent) override;

    // espeak-ng language name → locale code of the program's locale table,
    // exposed for tests.
    static const std::vector<std::pair<std::string, std::string>> &languageLocales();

private:
    void buildVoices();

    std::mutex m_synthMutex;
    int m_sampleRate = 0;
    std::string m_loadedVoice;  // espeak voice name currently selected
    std::vector<VoiceInfo> m_voices;
    std::map<std::string, std::string> m_espeakSpec;  // identifier → "cmn+f1"
};

}  // namespace tavrel
