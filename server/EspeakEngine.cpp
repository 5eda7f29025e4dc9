#include "EspeakEngine.h"

#include "ServiceContract.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tavrel {

namespace {

// espeak-ng is one synthesiser per process: its initialisation, its voice
// and its callback are global, so they are guarded globally, whatever number
// of engine objects exist (tests make several).
std::mutex g_espeakMutex;
std::once_flag g_initOnce;
int g_sampleRate = 0;
std::string g_loadedVoiceName;

struct Collector {
    SynthesisResult *result = nullptr;  // null: the sound is not kept (phoneme traces)
    std::size_t maxSamples = 0;
    bool overflow = false;
};
Collector *g_collector = nullptr;  // only touched under g_espeakMutex

int synthCallback(short *wav, int numSamples, espeak_EVENT *events)
{
    Collector *c = g_collector;
    if (!c)
        return 1;
    if (!c->result)
        return 0;
    if (wav && numSamples > 0) {
        if (c->result->pcm.size() + static_cast<std::size_t>(numSamples) > c->maxSamples) {
            c->overflow = true;
            return 1;  // abort: the text would make an unreasonably long file
        }
        c->result->pcm.insert(c->result->pcm.end(), wav, wav + numSamples);
    }
    for (espeak_EVENT *e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type == espeakEVENT_WORD && e->text_position > 0) {
            WordMark m;
            m.charIndex = static_cast<std::size_t>(e->text_position - 1);
            m.sample = static_cast<std::int64_t>(e->audio_position) * g_sampleRate / 1000;
            c->result->words.push_back(m);
        }
    }
    return 0;
}

// The voices of a locale, each a person of its own: the formant set (an
// espeak-ng variant; only the plain ones, never whispering, croaking or
// robotic ones) with its own base pitch, pitch range and pace. Voices of one
// gender in one locale lie at least 12 % apart in median pitch; the figures
// in README.md were measured on rendered sentences, and test_server_voices
// keeps them so.
struct VoiceDesign {
    const char *name;    // identifier after "<locale>-"
    const char *gender;
    VoiceStyle style;
};

// Every locale without voices of its own: two women, two men.
const VoiceDesign kGenericVoices[] = {
    {"Female1", "Female", {"f1", 63, 50, 100}},
    {"Female2", "Female", {"f4", 77, 55, 100}},
    {"Male1", "Male", {"m1", 64, 50, 100}},
    {"Male2", "Male", {"m3", 72, 50, 100}},
};

// Mandarin voices carry the identifiers the program has Chinese nicknames
// for, so its choosers show 晓晓, 云溪 … instead of bare identifiers; each is
// shaped after the person its name promises.
const VoiceDesign kMandarinVoices[] = {
    {"XiaoxiaoNeural", "Female", {"f1", 66, 55, 100}},  // 晓晓: a warm young woman, even pace
    {"XiaoyiNeural", "Female", {"f4", 80, 90, 106}},    // 晓伊: younger, higher and livelier
    {"YunxiNeural", "Male", {"m1", 87, 75, 105}},       // 云希: a young man, bright and quick
    {"YunjianNeural", "Male", {"m3", 48, 60, 100}},     // 云健: the deepest, with a wide swing
    {"YunyangNeural", "Male", {"m6", 65, 40, 95}},      // 云扬: an announcer, steady and measured
    {"YunxiaNeural", "Male", {"f2", 55, 70, 108}},      // 云夏: a boy, between the men and the women
};

// Mandarin as spoken in Taiwan: the same front end and pinyin voice.
const VoiceDesign kTaiwanVoices[] = {
    {"HsiaoChenNeural", "Female", {"f1", 61, 45, 96}},  // 晓臻: gentle, calm, unhurried
    {"YunJheNeural", "Male", {"m1", 75, 50, 100}},      // 云哲: a young man, plain and even
    {"HsiaoYuNeural", "Female", {"f4", 77, 80, 102}},   // 晓雨: a young woman, bright and lively
};

// Locales whose text the front end turns into engine input of another
// espeak voice: Hanzi are never given to espeak's own Mandarin reading,
// which speaks much of it with English sounds.
const char *inputVoiceFor(const std::string &locale)
{
    if (locale == "zh-CN" || locale == "zh-TW")
        return "cmn-latn-pinyin";
    return nullptr;
}

std::string lower(std::string s)
{
    for (char &ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>> &EspeakEngine::languageLocales()
{
    // The locales of the shared locale table that name an espeak language,
    // in its order, so that one locale's voices are listed together and in
    // the order the program shows them.
    static const std::vector<std::pair<std::string, std::string>> table = [] {
        std::vector<std::pair<std::string, std::string>> t;
        for (const contract::Locale &l : contract::locales)
            if (*l.espeakLanguage)
                t.emplace_back(l.espeakLanguage, l.code);
        return t;
    }();
    return table;
}

EspeakEngine::EspeakEngine()
{
    std::call_once(g_initOnce, [] {
        // Default data path; do not let the library exit the process on a
        // broken installation, we report it instead.
        int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                                     espeakINITIALIZE_DONT_EXIT);
        if (rate > 0) {
            g_sampleRate = rate;
            espeak_SetSynthCallback(synthCallback);
        }
    });
    m_sampleRate = g_sampleRate;
    if (m_sampleRate > 0)
        buildVoices();
}

EspeakEngine::~EspeakEngine() = default;

void EspeakEngine::buildVoices()
{
    std::lock_guard<std::mutex> lock(g_espeakMutex);

    // Language name → identifier of the espeak voice that speaks it best.
    std::map<std::string, std::pair<int, std::string>> best;
    const espeak_VOICE **list = espeak_ListVoices(nullptr);
    for (const espeak_VOICE **v = list; v && *v; ++v) {
        const char *p = (*v)->languages;
        if (!p || !(*v)->identifier)
            continue;
        // Sequence of: priority byte, NUL-terminated name; ends with a 0 byte.
        while (*p) {
            int priority = static_cast<unsigned char>(*p++);
            std::string lang = lower(p);
            p += std::strlen(p) + 1;
            auto it = best.find(lang);
            if (it == best.end() || priority < it->second.first)
                best[lang] = {priority, (*v)->identifier};
        }
    }

    for (const auto &[lang, locale] : languageLocales()) {
        auto it = best.find(lang);
        if (it == best.end())
            continue;
        const char *input = inputVoiceFor(locale);
        const std::string identifier = input ? input : it->second.second;
        const VoiceDesign *begin = std::begin(kGenericVoices), *end = std::end(kGenericVoices);
        if (locale == "zh-CN") {
            begin = std::begin(kMandarinVoices);
            end = std::end(kMandarinVoices);
        } else if (locale == "zh-TW") {
            begin = std::begin(kTaiwanVoices);
            end = std::end(kTaiwanVoices);
        }
        for (const VoiceDesign *design = begin; design != end; ++design) {
            VoiceInfo info{locale + "-" + design->name, locale, design->gender, {}};
            if (m_entries.count(info.name))
                continue;
            Entry entry;
            entry.voiceName = identifier + "+" + design->style.variant;
            // English words inside the text are said by the same person.
            entry.englishVoiceName = std::string("en-us+") + design->style.variant;
            entry.language = input ? "cmn" : lang;
            entry.style = design->style;
            m_entries[info.name] = entry;
            m_voices.push_back(info);
        }
    }
}

bool EspeakEngine::hasVoice(const std::string &name) const
{
    return m_entries.count(name) != 0;
}

const EspeakEngine::Entry *EspeakEngine::entryFor(const std::string &voice) const
{
    auto it = m_entries.find(voice);
    return it == m_entries.end() ? nullptr : &it->second;
}

const VoiceStyle *EspeakEngine::styleOf(const std::string &voice) const
{
    const Entry *entry = entryFor(voice);
    return entry ? &entry->style : nullptr;
}

std::string EspeakEngine::voiceParameters(const std::string &voice) const
{
    const Entry *entry = entryFor(voice);
    if (!entry)
        return {};
    const VoiceStyle &s = entry->style;
    return entry->voiceName + " " + entry->englishVoiceName + " pitch " + std::to_string(s.pitch) + " range " +
           std::to_string(s.range) + " pace " + std::to_string(s.pacePercent);
}

namespace {

// The user's rate scales the voice's own pace, so that a voice stays faster
// or slower than another at every setting, and a length measured at one rate
// still tells the length at another (subtitle fitting relies on it).
int espeakRate(int ratePercent, const VoiceStyle &style)
{
    const double words = espeakRATE_NORMAL * style.pacePercent / 100.0 * (100.0 + ratePercent) / 100.0;
    const int rate = static_cast<int>(std::lround(words));
    return std::clamp(rate, static_cast<int>(espeakRATE_MINIMUM), static_cast<int>(espeakRATE_MAXIMUM));
}

// Selects an espeak voice; the caller holds g_espeakMutex.
bool selectVoice(const std::string &name)
{
    if (g_loadedVoiceName == name)
        return true;
    if (espeak_SetVoiceByName(name.c_str()) != EE_OK) {
        g_loadedVoiceName.clear();
        return false;
    }
    g_loadedVoiceName = name;
    return true;
}

// One synthesis of UTF-8 text with the selected voice; the caller holds
// g_espeakMutex. Word marks carry espeak's character positions (0-based).
bool synthesizeLocked(const std::string &text, int rate, const VoiceStyle &style, SynthesisResult &result,
                      bool endPause = false)
{
    // The library keeps these between calls and between voices: set them all.
    espeak_SetParameter(espeakRATE, rate, 0);
    espeak_SetParameter(espeakPITCH, style.pitch, 0);
    espeak_SetParameter(espeakRANGE, style.range, 0);
    espeak_SetParameter(espeakVOLUME, 100, 0);
    Collector collector;
    collector.result = &result;
    // Six hours of audio: far beyond any segment; stops runaway input.
    collector.maxSamples = static_cast<std::size_t>(g_sampleRate) * 3600 * 6;
    g_collector = &collector;
    espeak_ERROR err = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                    espeakCHARS_UTF8 | (endPause ? espeakENDPAUSE : 0), nullptr, nullptr);
    g_collector = nullptr;
    return err == EE_OK && !collector.overflow;
}

// Where sound starts and ends in a piece: runs inside one sentence are
// joined without the silence espeak puts around each synthesis.
std::pair<std::size_t, std::size_t> audibleSpan(const std::vector<std::int16_t> &pcm)
{
    constexpr int kThreshold = 300;
    std::size_t first = 0, last = pcm.size();
    while (first < pcm.size() && std::abs(pcm[first]) < kThreshold)
        ++first;
    while (last > first && std::abs(pcm[last - 1]) < kThreshold)
        --last;
    return {first, last};
}

}  // namespace

SynthesisResult EspeakEngine::synthesize(const std::string &text, const std::string &voice, int ratePercent)
{
    SynthesisResult result;
    const Entry *entry = entryFor(voice);
    if (m_sampleRate <= 0 || !entry)
        return result;
    result.sampleRate = m_sampleRate;
    std::lock_guard<std::mutex> lock(g_espeakMutex);
    if (!selectVoice(entry->voiceName))
        return result;
    result.ok = synthesizeLocked(text, espeakRate(ratePercent, entry->style), entry->style, result);
    if (!result.ok) {
        result.pcm.clear();
        result.words.clear();
    }
    return result;
}

SynthesisResult EspeakEngine::synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                                         int ratePercent)
{
    SynthesisResult result;
    const Entry *entry = entryFor(voice);
    if (m_sampleRate <= 0 || !entry)
        return result;
    result.sampleRate = m_sampleRate;
    const int rate = espeakRate(ratePercent, entry->style);
    // A little air where two runs meet, as between two words.
    const std::size_t joinGap = static_cast<std::size_t>(m_sampleRate) * 40 / 1000;

    std::lock_guard<std::mutex> lock(g_espeakMutex);
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const reading::EngineRun &run = runs[r];
        if (run.text.empty())
            continue;
        if (!selectVoice(run.language == "en" ? entry->englishVoiceName : entry->voiceName))
            return SynthesisResult{};
        // A run that ends a clause keeps its pause; one that stops mid-clause
        // (a name inside a sentence) runs on into the next.
        const char tail = run.text.back();
        const bool endsClause = tail == ',' || tail == '.' || tail == '?' || tail == '!' || tail == ';' ||
                                static_cast<unsigned char>(tail) == 0x82;  // last byte of 。
        SynthesisResult piece;
        if (!synthesizeLocked(run.text, rate, entry->style, piece, endsClause && r + 1 < runs.size()))
            return SynthesisResult{};
        auto [first, last] = audibleSpan(piece.pcm);
        if (r == 0 || result.pcm.empty())
            first = 0;
        else
            first = first > joinGap ? first - joinGap : 0;
        if (r + 1 < runs.size() && last < piece.pcm.size() && !endsClause)
            last = std::min(piece.pcm.size(), last + joinGap);
        else
            last = piece.pcm.size();
        if (first >= last)
            continue;
        const std::int64_t offset = static_cast<std::int64_t>(result.pcm.size()) - static_cast<std::int64_t>(first);
        for (const WordMark &m : piece.words) {
            if (m.charIndex >= run.origin.size())
                continue;
            WordMark mapped;
            mapped.charIndex = run.origin[m.charIndex];
            mapped.sample = std::max<std::int64_t>(static_cast<std::int64_t>(result.pcm.size()), m.sample + offset);
            result.words.push_back(mapped);
        }
        result.pcm.insert(result.pcm.end(), piece.pcm.begin() + static_cast<std::ptrdiff_t>(first),
                          piece.pcm.begin() + static_cast<std::ptrdiff_t>(last));
    }
    // End on a moment of quiet, as a sentence does: a segment joined to the
    // next without a pause must not run into it.
    const std::size_t tailQuiet = static_cast<std::size_t>(m_sampleRate) * 120 / 1000;
    const std::size_t heardTo = audibleSpan(result.pcm).second;
    if (!result.pcm.empty() && result.pcm.size() - heardTo < tailQuiet)
        result.pcm.resize(heardTo + tailQuiet, 0);

    // Marks in text order; a run's first word can be heard before the last
    // one of the run before it was marked.
    std::stable_sort(result.words.begin(), result.words.end(),
                     [](const WordMark &a, const WordMark &b) { return a.sample < b.sample; });
    result.ok = true;
    return result;
}

std::string EspeakEngine::phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice)
{
    const Entry *entry = entryFor(voice);
    if (m_sampleRate <= 0 || !entry)
        return {};
    std::string out;
    std::lock_guard<std::mutex> lock(g_espeakMutex);
    for (const reading::EngineRun &run : runs) {
        if (run.text.empty())
            continue;
        const bool english = run.language == "en";
        if (!selectVoice(english ? entry->englishVoiceName : entry->voiceName))
            return {};
        // The trace espeak writes while it speaks is what it says, tone
        // changes across words included (espeak_TextToPhonemes reads word by
        // word and would not show them).
        char *buffer = nullptr;
        std::size_t size = 0;
        std::FILE *trace = open_memstream(&buffer, &size);
        if (!trace)
            return {};
        espeak_SetPhonemeTrace(espeakPHONEMES_SHOW, trace);
        Collector discard;
        discard.maxSamples = static_cast<std::size_t>(g_sampleRate) * 3600 * 6;
        g_collector = &discard;
        espeak_Synth(run.text.c_str(), run.text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                     nullptr);
        g_collector = nullptr;
        espeak_SetPhonemeTrace(0, nullptr);
        std::fclose(trace);
        std::string said(buffer ? buffer : "", size);
        std::free(buffer);
        for (char &c : said)
            if (c == '\n' || c == '\r')
                c = ' ';
        while (!said.empty() && said.back() == ' ')
            said.pop_back();
        while (!said.empty() && said.front() == ' ')
            said.erase(said.begin());
        if (said.empty())
            continue;
        if (!out.empty())
            out.push_back(' ');
        if (english)
            out += "(en)" + said + "(" + entry->language + ")";
        else
            out += said;
    }
    return out;
}

}  // namespace tavrel
