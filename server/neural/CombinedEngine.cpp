#include "CombinedEngine.h"

#include "ServiceContract.h"

#include <algorithm>
#include <iterator>

namespace tavrel::neural {

namespace {

std::size_t localeRank(const std::string &code)
{
    for (std::size_t i = 0; i < std::size(contract::locales); ++i)
        if (code == contract::locales[i].code)
            return i;
    return std::size(contract::locales);
}

}  // namespace

CombinedEngine::CombinedEngine(std::shared_ptr<SpeechEngine> first, std::shared_ptr<SpeechEngine> second)
    : m_first(std::move(first)), m_second(std::move(second))
{
    m_voices = m_first->voices();
    for (const VoiceInfo &v : m_second->voices())
        if (!m_first->hasVoice(v.name))
            m_voices.push_back(v);
    std::stable_sort(m_voices.begin(), m_voices.end(), [](const VoiceInfo &a, const VoiceInfo &b) {
        return localeRank(a.locale) < localeRank(b.locale);
    });
}

bool CombinedEngine::hasVoice(const std::string &name) const
{
    return m_first->hasVoice(name) || m_second->hasVoice(name);
}

SpeechEngine &CombinedEngine::engineFor(const std::string &voice) const
{
    return m_first->hasVoice(voice) || !m_second->hasVoice(voice) ? *m_first : *m_second;
}

SynthesisResult CombinedEngine::synthesize(const std::string &text, const std::string &voice, int ratePercent)
{
    return engineFor(voice).synthesize(text, voice, ratePercent);
}

SynthesisResult CombinedEngine::synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                                           int ratePercent)
{
    return engineFor(voice).synthesize(runs, voice, ratePercent);
}

std::string CombinedEngine::phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice)
{
    return engineFor(voice).phonemes(runs, voice);
}

std::string CombinedEngine::modelText(const std::vector<reading::EngineRun> &runs, const std::string &voice)
{
    return engineFor(voice).modelText(runs, voice);
}

}  // namespace tavrel::neural

namespace tavrel::neural {

std::string CombinedEngine::voiceParameters(const std::string &voice) const
{
    return engineFor(voice).voiceParameters(voice);
}

bool CombinedEngine::stopsOnCancel(const std::string &voice) const
{
    return engineFor(voice).stopsOnCancel(voice);
}

}  // namespace tavrel::neural
