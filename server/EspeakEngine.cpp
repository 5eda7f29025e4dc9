#include "EspeakEngine.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace tavrel {

namespace {

// espeak-ng is one synthesiser per process: its initialisation, its voice
// and its callback are global, so they are guarded globally, whatever number
// of engine objects exist (tests make several).
std::mutex g_espeakMutex;
std::once_flag g_initOnce;
int g_sampleRate = 0;
std::string g_loadedSpec;

struct Collector {
    SynthesisResult *result = nullptr;
    std::size_t maxSamples = 0;
    bool overflow = false;
};
Collector *g_collector = nullptr;  // only touched under g_espeakMutex

int synthCallback(short *wav, int numSamples, espeak_EVENT *events)
{
    Collector *c = g_collector;
    if (!c)
        return 1;
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

// Variants that sound natural with every language; robotic and whispering
// variants are left out.
struct Variant {
    const char *suffix;  // espeak variant file
    const char *gender;
    const char *name;
};

const Variant kGenericVariants[] = {
    {"f1", "Female", "Female1"},
    {"f4", "Female", "Female2"},
    {"m1", "Male", "Male1"},
    {"m3", "Male", "Male2"},
};

// Mandarin voices carry the identifiers the program has Chinese nicknames
// for, so its choosers show 晓晓, 云溪 … instead of bare identifiers.
const Variant kMandarinVariants[] = {
    {"f1", "Female", "XiaoxiaoNeural"},
    {"f4", "Female", "XiaoyiNeural"},
    {"m1", "Male", "YunxiNeural"},
    {"m3", "Male", "YunjianNeural"},
    {"m6", "Male", "YunyangNeural"},
    {"m2", "Male", "YunxiaNeural"},
};

std::string lower(std::string s)
{
    for (char &ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>> &EspeakEngine::languageLocales()
{
    // In the order of the program's locale table, so that the voices of one
    // locale are listed together and in a stable order.
    static const std::vector<std::pair<std::string, std::string>> table = {
        {"af", "af-ZA"},    {"am", "am-ET"},    {"ar", "ar-SA"},    {"az", "az-AZ"},
        {"bg", "bg-BG"},    {"bn", "bn-BD"},    {"bs", "bs-BA"},    {"ca", "ca-ES"},
        {"cs", "cs-CZ"},    {"cy", "cy-GB"},    {"da", "da-DK"},    {"de", "de-DE"},
        {"el", "el-GR"},    {"en-gb", "en-GB"}, {"en-us", "en-US"}, {"es-419", "es-MX"},
        {"es", "es-ES"},    {"et", "et-EE"},    {"fa", "fa-IR"},    {"fi", "fi-FI"},
        {"fr-be", "fr-BE"}, {"fr-ch", "fr-CH"}, {"fr-fr", "fr-FR"}, {"ga", "ga-IE"},
        {"gu", "gu-IN"},    {"he", "he-IL"},    {"hi", "hi-IN"},    {"hr", "hr-HR"},
        {"hu", "hu-HU"},    {"id", "id-ID"},    {"is", "is-IS"},    {"it", "it-IT"},
        {"ja", "ja-JP"},    {"ka", "ka-GE"},    {"kk", "kk-KZ"},    {"kn", "kn-IN"},
        {"ko", "ko-KR"},    {"lt", "lt-LT"},    {"lv", "lv-LV"},    {"mk", "mk-MK"},
        {"ml", "ml-IN"},    {"mr", "mr-IN"},    {"ms", "ms-MY"},    {"mt", "mt-MT"},
        {"my", "my-MM"},    {"nb", "nb-NO"},    {"ne", "ne-NP"},    {"nl", "nl-NL"},
        {"pl", "pl-PL"},    {"pt-br", "pt-BR"}, {"pt", "pt-PT"},    {"ro", "ro-RO"},
        {"ru", "ru-RU"},    {"si", "si-LK"},    {"sk", "sk-SK"},    {"sl", "sl-SI"},
        {"sq", "sq-AL"},    {"sr", "sr-RS"},    {"sv", "sv-SE"},    {"sw", "sw-KE"},
        {"ta", "ta-IN"},    {"te", "te-IN"},    {"th", "th-TH"},    {"tr", "tr-TR"},
        {"uk", "uk-UA"},    {"ur", "ur-PK"},    {"uz", "uz-UZ"},    {"vi", "vi-VN"},
        {"cmn", "zh-CN"},   {"yue", "zh-HK"},
    };
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
        const std::string &identifier = it->second.second;
        const bool mandarin = (locale == "zh-CN");
        const Variant *begin = mandarin ? std::begin(kMandarinVariants) : std::begin(kGenericVariants);
        const Variant *end = mandarin ? std::end(kMandarinVariants) : std::end(kGenericVariants);
        for (const Variant *var = begin; var != end; ++var) {
            VoiceInfo info{locale + "-" + var->name, locale, var->gender};
            if (m_espeakSpec.count(info.name))
                continue;
            m_espeakSpec[info.name] = identifier + "+" + var->suffix;
            m_voices.push_back(info);
        }
    }
}

bool EspeakEngine::hasVoice(const std::string &name) const
{
    return m_espeakSpec.count(name) != 0;
}

SynthesisResult EspeakEngine::synthesize(const std::string &text, const std::string &voice,
                                         int ratePercent)
{
    SynthesisResult result;
    auto entry = m_espeakSpec.find(voice);
    if (m_sampleRate <= 0 || entry == m_espeakSpec.end())
        return result;
    result.sampleRate = m_sampleRate;

    int rate = static_cast<int>(std::lround(espeakRATE_NORMAL * (100.0 + ratePercent) / 100.0));
    rate = std::clamp(rate, static_cast<int>(espeakRATE_MINIMUM), static_cast<int>(espeakRATE_MAXIMUM));

    std::lock_guard<std::mutex> lock(g_espeakMutex);
    if (g_loadedSpec != entry->second) {
        if (espeak_SetVoiceByName(entry->second.c_str()) != EE_OK) {
            g_loadedSpec.clear();
            return result;
        }
        g_loadedSpec = entry->second;
    }
    espeak_SetParameter(espeakRATE, rate, 0);
    espeak_SetParameter(espeakVOLUME, 100, 0);

    Collector collector;
    collector.result = &result;
    // Six hours of audio: far beyond any segment; stops runaway input.
    collector.maxSamples = static_cast<std::size_t>(m_sampleRate) * 3600 * 6;
    g_collector = &collector;
    espeak_ERROR err = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                    espeakCHARS_UTF8, nullptr, nullptr);
    g_collector = nullptr;

    result.ok = (err == EE_OK) && !collector.overflow;
    if (!result.ok) {
        result.pcm.clear();
        result.words.clear();
    }
    return result;
}

}  // namespace tavrel
