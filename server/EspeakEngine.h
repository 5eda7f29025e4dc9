#pragma once

#include "SpeechEngine.h"

#include <map>
#include <string>

namespace tavrel {

// What makes one voice a person of its own: its formant set and how it uses
// its voice. The user's rate applies on top of the pace.
struct VoiceStyle {
    const char *variant = "";  // espeak-ng variant file, "f1", "m3"
    int pitch = 50;            // espeakPITCH, 0–100; 50 is the variant's own base pitch
    int range = 50;            // espeakRANGE, 0–100; 50 is the variant's own range
    int pacePercent = 100;     // speaking rate, percent of espeak's normal rate
};

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
    SynthesisResult synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                               int ratePercent) override;
    std::string phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice) override;
    std::string voiceParameters(const std::string &voice) const override;

    // How a voice is spoken, or null for a voice not offered.
    const VoiceStyle *styleOf(const std::string &voice) const;

    // espeak-ng language name → locale code of the program's locale table,
    // exposed for tests.
    static const std::vector<std::pair<std::string, std::string>> &languageLocales();

private:
    // How one voice is spoken: its own espeak voice and variant, the English
    // voice with the same variant for Latin runs inside its text, and its style.
    struct Entry {
        std::string voiceName;         // espeak voice and variant, "cmn-latn-pinyin+f1"
        std::string englishVoiceName;  // "en-us+f1"
        std::string language;          // espeak language of `voiceName`, for (en)…(cmn) marks
        VoiceStyle style;
    };

    void buildVoices();
    const Entry *entryFor(const std::string &voice) const;

    int m_sampleRate = 0;
    std::vector<VoiceInfo> m_voices;
    std::map<std::string, Entry> m_entries;  // identifier → how it is spoken
};

}  // namespace tavrel
