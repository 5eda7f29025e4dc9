// The engine interface the HTTP layer talks to. Another synthesiser can be
// added by implementing it; nothing above this header knows about espeak-ng.
#pragma once

#include "FrontEnd.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavrel {

struct VoiceInfo {
    std::string name;    // identifier the program stores, "<locale>-<Name>"
    std::string locale;  // locale code, e.g. "zh-CN"
    std::string gender;  // "Female" or "Male"
    std::string displayName;  // what the choosers show; empty: the program names it
};

// A position event of the engine: the character (code point index into the
// request text) at which a word starts, and the PCM sample where it is heard.
struct WordMark {
    std::size_t charIndex = 0;
    std::int64_t sample = 0;
};

struct SynthesisResult {
    bool ok = false;
    int sampleRate = 0;
    std::vector<std::int16_t> pcm;  // mono
    std::vector<WordMark> words;    // in text order
    std::string error;              // why it failed, for the reply; empty: the usual message
};

// Whether the request a render serves has been given up (the program
// cancelled its job and dropped the connection). The HTTP layer sets it for
// the request's thread for as long as the render runs; an engine that can
// stop part way asks it between and during its generations.
class RenderCancel {
public:
    explicit RenderCancel(std::function<bool()> givenUp);
    ~RenderCancel();
    RenderCancel(const RenderCancel &) = delete;
    RenderCancel &operator=(const RenderCancel &) = delete;

    // True when the render on this thread should stop.
    static bool requested();
    // The one in force on this thread (null: none), for a callback that may
    // run on another.
    static const RenderCancel *current();
    bool givenUp() const { return m_givenUp && m_givenUp(); }

private:
    std::function<bool()> m_givenUp;
    const RenderCancel *m_outer;
};

class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;

    // The voices on offer, grouped by locale, stable from run to run.
    virtual const std::vector<VoiceInfo> &voices() const = 0;
    virtual bool hasVoice(const std::string &name) const = 0;

    // Renders UTF-8 text as the engine reads it by itself. ratePercent is
    // relative to the voice's normal speed (0 = normal, 50 = half again as
    // fast). Safe to call from any thread.
    virtual SynthesisResult synthesize(const std::string &text, const std::string &voice,
                                       int ratePercent) = 0;

    // Renders the reading front end's output: run after run, each in its
    // language (the voice's own, or "en" with the English voice of the same
    // gender), joined without the pauses of separate sentences. Word marks
    // point into the request text through each run's origins.
    virtual SynthesisResult synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                                       int ratePercent) = 0;

    // What the engine will say for these runs, as its phoneme mnemonics,
    // with a change of language written as the engine writes it: (en)…(cmn).
    virtual std::string phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice) = 0;

    // Everything besides its name that decides how a voice sounds (formant
    // set, pitch, pace), as text: part of the render cache's key, so that a
    // kept render never stands for a voice that has been changed since.
    virtual std::string voiceParameters(const std::string &voice) const { return voice; }

    // The text a model-based engine hands its model for these runs; empty
    // for an engine that reads the runs itself.
    virtual std::string modelText(const std::vector<reading::EngineRun> &, const std::string &) { return {}; }

    // Whether a render with this voice stops part way when RenderCancel
    // says its request was given up.
    virtual bool stopsOnCancel(const std::string &) const { return false; }
};

}  // namespace tavrel
