#include "NeuralEngine.h"

#include "GenderCache.h"
#include "Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

namespace tavrel::neural {

struct NeuralEngine::Slot {
    const NeuralModel *model = nullptr;
    std::mutex mutex;  // one generation at a time per model; guards everything below
    SherpaOnnxOfflineTts *tts = nullptr;
    bool tried = false;
    std::string error;  // why the model could not be loaded
    int sampleRate = 0;
    int speakers = 0;
    bool lexiconRead = false;
    std::map<std::string, std::string> syllables;  // "hao3" → a character the lexicon reads so
    std::map<std::string, std::string> phones;     // word → its phones, as the lexicon has them
};

namespace {

bool isMandarinLocale(const std::string &locale)
{
    return locale.rfind("zh-", 0) == 0;
}

bool isPinyinSyllable(const std::string &s)
{
    if (s.size() < 2 || s.back() < '1' || s.back() > '5')
        return false;
    return std::all_of(s.begin(), s.end() - 1, [](char c) { return c >= 'a' && c <= 'z'; });
}

// Where a piece of an engine run ends: the marks after which the subtitles
// start a new cue (Subtitles' splitIntoSpans). Each piece is rendered on its
// own, so that its cue starts exactly where its audio starts.
bool endsPiece(const std::u32string &text, std::size_t i)
{
    switch (text[i]) {
    case U'。': case U'！': case U'？': case U'；': case U'，': case U'!': case U'?': case U';': case U'\n':
        return true;
    case U'.': case U',':
        // Only before a blank or the end: "C.E.O." and "3,000" stay whole.
        return i + 1 == text.size() || text[i + 1] == U' ';
    default:
        return false;
    }
}

// Letters, digits or CJK: something to say, not only punctuation.
bool hasWords(const std::string &text)
{
    std::u32string cps;
    if (!reading::utf8::decodeStrict(text, cps))
        return false;
    return std::any_of(cps.begin(), cps.end(), [](char32_t c) {
        return (c < 0x80 && std::isalnum(static_cast<int>(c))) || (c >= 0x3400 && c < 0xA000) ||
               (c >= 0x3040 && c < 0x3100) || (c >= 0xAC00 && c < 0xD7B0) || (c >= 0xC0 && c < 0x2000);
    });
}

// The pause that stands for a sentence the model cannot say.
std::size_t unsayableSamples(int rate)
{
    return static_cast<std::size_t>(std::max(rate, 1)) * 3 / 10;
}

struct Piece {
    std::string text;
    std::size_t origin = 0;  // request code point where the piece starts
};

std::vector<Piece> sentencesOf(const reading::EngineRun &run)
{
    std::vector<Piece> out;
    std::u32string text;
    if (!reading::utf8::decodeStrict(run.text, text))
        return out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!endsPiece(text, i) && i + 1 != text.size())
            continue;
        // The piece is timed from its first spoken character, not a blank
        // left over from the piece before.
        const std::size_t first = text.find_first_not_of(U" \t\n", start);
        if (first != std::u32string::npos && first <= i)
            out.push_back({reading::utf8::encode(text.substr(first, i + 1 - first)),
                           first < run.origin.size() ? run.origin[first] : 0});
        start = i + 1;
    }
    return out;
}

std::vector<std::string> splitBlank(const std::string &s)
{
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

}  // namespace

NeuralEngine::NeuralEngine(std::shared_ptr<SherpaRuntime> runtime, std::vector<NeuralModel> models, LoadProbe probe)
    : m_runtime(std::move(runtime)), m_models(std::move(models)), m_probe(std::move(probe))
{
    for (const NeuralModel &m : m_models) {
        auto slot = std::make_unique<Slot>();
        slot->model = &m;
        for (const NeuralVoice &v : m.voices) {
            m_byVoice[v.name] = {slot.get(), v.sid};
            m_voices.push_back({v.name, v.locale, v.gender, v.displayName});
        }
        m_slots.push_back(std::move(slot));
    }
    // Grouped by locale, in model and speaker order within it.
    std::stable_sort(m_voices.begin(), m_voices.end(),
                     [](const VoiceInfo &a, const VoiceInfo &b) { return a.locale < b.locale; });
}

NeuralEngine::~NeuralEngine()
{
    for (auto &slot : m_slots)
        if (slot->tts)
            m_runtime->destroyOfflineTts(slot->tts);
}

float NeuralEngine::speedFor(int ratePercent)
{
    return std::clamp((100.0f + static_cast<float>(ratePercent)) / 100.0f, 0.25f, 4.0f);
}

const NeuralEngine::Target *NeuralEngine::target(const std::string &voice) const
{
    auto it = m_byVoice.find(voice);
    return it == m_byVoice.end() ? nullptr : &it->second;
}

bool NeuralEngine::ensureLoaded(Slot &slot)
{
    if (slot.tried)
        return slot.tts != nullptr;
    slot.tried = true;
    const NeuralModel &m = *slot.model;
    if (!m_runtime) {
        slot.error = "神经语音运行库未加载";
        return false;
    }
    std::string why;
    if (m_probe && !m_probe(m, why)) {
        slot.error = "模型 " + m.folder + " 无法加载：" + why;
        return false;
    }

    const std::string model = m.model.string(), vocoder = m.vocoder.string(), voices = m.voicesBin.string(),
                      tokens = m.tokens.string(), dataDir = m.dataDir.string(), dictDir = m.dictDir.string();
    SherpaOnnxOfflineTtsConfig config{};
    switch (m.family) {
    case Family::Vits:
        config.model.vits.model = model.c_str();
        config.model.vits.lexicon = m.lexicon.c_str();
        config.model.vits.tokens = tokens.c_str();
        config.model.vits.data_dir = dataDir.c_str();
        config.model.vits.dict_dir = dictDir.c_str();
        config.model.vits.noise_scale = 0.667f;
        config.model.vits.noise_scale_w = 0.8f;
        config.model.vits.length_scale = 1.0f;
        break;
    case Family::Matcha:
        config.model.matcha.acoustic_model = model.c_str();
        config.model.matcha.vocoder = vocoder.c_str();
        config.model.matcha.lexicon = m.lexicon.c_str();
        config.model.matcha.tokens = tokens.c_str();
        config.model.matcha.data_dir = dataDir.c_str();
        config.model.matcha.dict_dir = dictDir.c_str();
        config.model.matcha.noise_scale = 0.667f;
        config.model.matcha.length_scale = 1.0f;
        break;
    case Family::Kokoro:
        config.model.kokoro.model = model.c_str();
        config.model.kokoro.voices = voices.c_str();
        config.model.kokoro.tokens = tokens.c_str();
        config.model.kokoro.data_dir = dataDir.c_str();
        config.model.kokoro.dict_dir = dictDir.c_str();
        config.model.kokoro.lexicon = m.lexicon.c_str();
        config.model.kokoro.lang = "";
        config.model.kokoro.length_scale = 1.0f;
        break;
    }
    // Every string field must point somewhere: the runtime reads them all.
    const char *empty = "";
    for (const char **field : {&config.model.vits.model, &config.model.vits.lexicon, &config.model.vits.tokens,
                               &config.model.vits.data_dir, &config.model.vits.dict_dir,
                               &config.model.matcha.acoustic_model, &config.model.matcha.vocoder,
                               &config.model.matcha.lexicon, &config.model.matcha.tokens,
                               &config.model.matcha.data_dir, &config.model.matcha.dict_dir,
                               &config.model.kokoro.model, &config.model.kokoro.voices, &config.model.kokoro.tokens,
                               &config.model.kokoro.data_dir, &config.model.kokoro.dict_dir,
                               &config.model.kokoro.lexicon, &config.model.kitten.model,
                               &config.model.kitten.voices, &config.model.kitten.tokens,
                               &config.model.kitten.data_dir, &config.model.zipvoice.tokens,
                               &config.model.zipvoice.encoder, &config.model.zipvoice.decoder,
                               &config.model.zipvoice.vocoder, &config.model.zipvoice.data_dir,
                               &config.model.zipvoice.lexicon, &config.model.pocket.lm_flow,
                               &config.model.pocket.lm_main, &config.model.pocket.encoder,
                               &config.model.pocket.decoder, &config.model.pocket.text_conditioner,
                               &config.model.pocket.vocab_json, &config.model.pocket.token_scores_json,
                               &config.model.supertonic.duration_predictor, &config.model.supertonic.text_encoder,
                               &config.model.supertonic.vector_estimator, &config.model.supertonic.vocoder,
                               &config.model.supertonic.tts_json, &config.model.supertonic.unicode_indexer,
                               &config.model.supertonic.voice_style, &config.rule_fsts, &config.rule_fars})
        if (!*field)
            *field = empty;
    if (config.model.vits.length_scale == 0.0f)
        config.model.vits.length_scale = 1.0f;
    config.model.matcha.length_scale = config.model.matcha.length_scale == 0.0f ? 1.0f : config.model.matcha.length_scale;
    config.model.kokoro.length_scale = config.model.kokoro.length_scale == 0.0f ? 1.0f : config.model.kokoro.length_scale;
    config.model.kitten.length_scale = 1.0f;
    config.model.zipvoice.feat_scale = 0.1f;
    config.model.zipvoice.t_shift = 0.5f;
    config.model.zipvoice.target_rms = 0.1f;
    config.model.zipvoice.guidance_scale = 1.0f;
    config.model.pocket.voice_embedding_cache_capacity = 50;
    config.model.num_threads = static_cast<std::int32_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    // LUMO_NEURAL_DEBUG=1: the runtime says on stderr what it makes of a model.
    const char *debug = std::getenv("LUMO_NEURAL_DEBUG");
    config.model.debug = debug && *debug == '1' ? 1 : 0;
    config.model.provider = "cpu";
    config.max_num_sentences = 1;
    config.silence_scale = 0.2f;

    try {
        slot.tts = m_runtime->createOfflineTts(&config);
    } catch (...) {
        slot.tts = nullptr;
    }
    if (!slot.tts) {
        slot.error = "模型 " + m.folder + " 无法加载（运行库拒绝了它，文件可能损坏或不完整）";
        return false;
    }
    slot.sampleRate = m_runtime->sampleRate(slot.tts);
    slot.speakers = m_runtime->numSpeakers(slot.tts);
    return true;
}

bool NeuralEngine::load(const std::string &voice, std::string &why)
{
    const Target *t = target(voice);
    if (!t) {
        why = "未知的语音：" + voice;
        return false;
    }
    std::lock_guard<std::mutex> lock(t->slot->mutex);
    if (!ensureLoaded(*t->slot)) {
        why = t->slot->error;
        return false;
    }
    return true;
}

int NeuralEngine::loadedSampleRate(const std::string &voice)
{
    const Target *t = target(voice);
    if (!t)
        return 0;
    std::lock_guard<std::mutex> lock(t->slot->mutex);
    return t->slot->sampleRate;
}

int NeuralEngine::loadedSpeakers(const std::string &voice)
{
    const Target *t = target(voice);
    if (!t)
        return 0;
    std::lock_guard<std::mutex> lock(t->slot->mutex);
    return t->slot->speakers;
}

void NeuralEngine::ensureLexicon(Slot &slot)
{
    if (slot.lexiconRead)
        return;
    slot.lexiconRead = true;
    std::istringstream files(slot.model->lexicon);
    std::string file;
    while (std::getline(files, file, ',')) {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            const auto words = splitBlank(line);
            if (words.size() < 2)
                continue;
            std::string joined, spaced;
            for (std::size_t i = 1; i < words.size(); ++i) {
                joined += words[i];
                spaced += (i > 1 ? " " : "") + words[i];
            }
            slot.phones.emplace(words[0], spaced);
            std::u32string word;
            if (!reading::utf8::decodeStrict(words[0], word) || word.size() != 1 || word[0] < 0x3400)
                continue;
            std::string key;
            for (char c : joined)
                key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (isPinyinSyllable(key))
                slot.syllables.emplace(key, words[0]);  // the first character wins, as listed
        }
    }
}

// What the model is given for one run. A Mandarin run holds our toned pinyin;
// each syllable becomes a character the model's own lexicon reads exactly so,
// which makes the model say our reading, polyphones and tone changes included.
std::string NeuralEngine::textFor(Slot &slot, const reading::EngineRun &run, bool mandarin, std::string *phones)
{
    auto phonesOf = [&](const std::string &word) {
        if (!phones)
            return;
        auto it = slot.phones.find(word);
        if (it == slot.phones.end()) {
            std::string l = word;
            std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return std::tolower(c); });
            it = slot.phones.find(l);
        }
        if (it != slot.phones.end())
            *phones += (phones->empty() ? "" : " ") + it->second;
    };
    if (!mandarin || !run.language.empty() || slot.syllables.empty()) {
        for (const auto &w : splitBlank(run.text))
            phonesOf(w);
        return run.text;
    }
    std::string out;
    std::string token;
    auto flush = [&] {
        if (token.empty())
            return;
        std::string t = token;
        token.clear();
        if (!isPinyinSyllable(t)) {
            out += t;
            return;
        }
        auto it = slot.syllables.find(t);
        std::string erhua;
        if (it == slot.syllables.end() && t.size() > 3 && t[t.size() - 2] == 'r' && t.compare(0, 2, "er") != 0) {
            // "dianr3": the syllable without r, then 儿.
            t = t.substr(0, t.size() - 2) + t.back();
            it = slot.syllables.find(t);
            erhua = "er5";
        }
        if (it == slot.syllables.end() && t.back() == '5') {
            // A neutral tone the lexicon does not list: the nearest full tone.
            for (char tone : {'1', '2', '3', '4'}) {
                it = slot.syllables.find(t.substr(0, t.size() - 1) + tone);
                if (it != slot.syllables.end())
                    break;
            }
        }
        if (it == slot.syllables.end())
            return;  // no character of the model reads it so: left out rather than misread
        out += it->second;
        phonesOf(it->second);
        if (!erhua.empty()) {
            auto er = slot.syllables.find(erhua);
            if (er == slot.syllables.end())
                er = slot.syllables.find("er2");
            if (er != slot.syllables.end()) {
                out += er->second;
                phonesOf(er->second);
            }
        }
    };
    for (char c : run.text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) {
            token += c;
        } else {
            flush();
            if (c != ' ')
                out += c;
        }
    }
    flush();
    return out;
}

std::string NeuralEngine::modelText(const std::vector<reading::EngineRun> &runs, const std::string &voice)
{
    const Target *t = target(voice);
    if (!t)
        return {};
    const bool mandarin = isMandarinLocale(m_byVoice.at(voice).slot->model->voices[t->sid].locale);
    std::lock_guard<std::mutex> lock(t->slot->mutex);
    ensureLexicon(*t->slot);
    std::string out;
    for (const auto &run : runs) {
        const std::string text = textFor(*t->slot, run, mandarin, nullptr);
        if (!out.empty() && !text.empty() && !run.language.empty())
            out += ' ';
        out += text;
    }
    return out;
}

std::string NeuralEngine::phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice)
{
    const Target *t = target(voice);
    if (!t)
        return {};
    const bool mandarin = isMandarinLocale(t->slot->model->voices[t->sid].locale);
    std::lock_guard<std::mutex> lock(t->slot->mutex);
    ensureLexicon(*t->slot);
    std::string phones;
    for (const auto &run : runs)
        textFor(*t->slot, run, mandarin, &phones);
    return phones;
}

int NeuralEngine::estimateGenders(std::ostream &log, const std::atomic<bool> *stop)
{
    int done = 0;
    for (const NeuralModel &m : m_models) {
        std::map<int, std::pair<std::string, double>> genders;
        for (const auto &[sid, gender] : readGenderCache(m))
            genders[sid] = {gender, 0.0};
        bool added = false;
        for (const NeuralVoice &v : m.voices) {
            if (v.genderKnown || genders.count(v.sid))
                continue;
            if (stop && stop->load())
                return done;
            const SynthesisResult r = synthesize(isMandarinLocale(v.locale) ? "你好，今天天气很好。我们一起去公园吧。"
                                                                            : "Hello, how are you today? Let us go.",
                                                 v.name, 0);
            if (!r.ok) {
                log << "Sayora_server_Tavrel: 无法估计 models/" << m.folder << " 说话人 " << v.sid
                    << " 的性别：" << r.error << "\n";
                break;  // the model does not render: the next start tries again
            }
            const double hz = estimatePitch(r.pcm, r.sampleRate);
            genders[v.sid] = {genderForPitch(hz), hz};
            added = true;
            ++done;
        }
        if (added && !writeGenderCache(m, genders))
            log << "Sayora_server_Tavrel: 无法写入 models/" << m.folder << "/" << kGenderCacheName << "\n";
    }
    return done;
}

SynthesisResult NeuralEngine::synthesize(const std::string &text, const std::string &voice, int ratePercent)
{
    reading::EngineRun run;
    run.text = text;
    std::u32string cps;
    reading::utf8::decodeStrict(text, cps);
    for (std::size_t i = 0; i < cps.size(); ++i)
        run.origin.push_back(i);
    // Read as written: no pinyin to map.
    run.language = "text";
    return synthesize(std::vector<reading::EngineRun>{run}, voice, ratePercent);
}

SynthesisResult NeuralEngine::synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                                         int ratePercent)
{
    SynthesisResult result;
    const Target *t = target(voice);
    if (!t) {
        result.error = "未知的语音：" + voice;
        return result;
    }
    Slot &slot = *t->slot;
    const bool mandarin = isMandarinLocale(slot.model->voices[t->sid].locale);
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (!ensureLoaded(slot)) {
        result.error = slot.error;
        return result;
    }
    // The file loaded may not be the one listed at start (replaced since):
    // a speaker it does not have is refused, never handed to the runtime.
    if (t->sid >= std::max(1, slot.speakers)) {
        result.error = "模型 " + slot.model->folder + " 没有说话人 " + std::to_string(t->sid) + "（它有 " +
                       std::to_string(std::max(1, slot.speakers)) + " 个）";
        return result;
    }
    ensureLexicon(slot);
    result.sampleRate = slot.sampleRate;
    const float speed = speedFor(ratePercent);
    // A job the program cancelled stops here: between sentences, and inside
    // one through the runtime's progress callback (0 stops it).
    struct Stop {
        const RenderCancel *cancel = nullptr;
        bool stopped = false;
    } stop{RenderCancel::current()};
    const auto progress = [](const float *, std::int32_t, float, void *arg) -> std::int32_t {
        auto *s = static_cast<Stop *>(arg);
        s->stopped = s->stopped || (s->cancel && s->cancel->givenUp());
        return s->stopped ? 0 : 1;
    };
    auto cancelled = [&] {
        result = SynthesisResult{};
        result.error = "合成已取消";
        return result;
    };
    for (const auto &run : runs) {
        for (const Piece &piece : sentencesOf(run)) {
            if (stop.cancel && stop.cancel->givenUp())
                return cancelled();
            reading::EngineRun part;
            part.language = run.language;
            part.text = piece.text;
            const std::string text = textFor(slot, part, mandarin, nullptr);
            const std::int64_t at = static_cast<std::int64_t>(result.pcm.size());
            if (text.find_first_not_of(" \t\n") == std::string::npos || !hasWords(text)) {
                // Nothing the model can say (no character its lexicon
                // knows): a pause keeps the sentence's place and its cue.
                if (hasWords(piece.text)) {
                    result.words.push_back({piece.origin, at});
                    result.pcm.resize(result.pcm.size() + unsayableSamples(slot.sampleRate), 0);
                }
                continue;
            }
            const SherpaOnnxGeneratedAudio *audio = nullptr;
            try {
                audio = m_runtime->generateWithProgress(slot.tts, text.c_str(), t->sid, speed, progress, &stop);
            } catch (...) {
                audio = nullptr;
            }
            if (stop.stopped) {
                if (audio)
                    m_runtime->destroyGeneratedAudio(audio);
                return cancelled();
            }
            if (!audio) {
                result.error = "模型 " + slot.model->folder + " 合成失败";
                return result;
            }
            result.words.push_back({piece.origin, at});
            if (audio->n <= 0 || !audio->samples) {
                // Every word unknown to the model: the same pause.
                m_runtime->destroyGeneratedAudio(audio);
                result.pcm.resize(result.pcm.size() + unsayableSamples(slot.sampleRate), 0);
                continue;
            }
            result.pcm.reserve(result.pcm.size() + static_cast<std::size_t>(std::max(0, audio->n)));
            for (std::int32_t i = 0; i < audio->n; ++i) {
                const float s = std::clamp(audio->samples[i], -1.0f, 1.0f);
                result.pcm.push_back(static_cast<std::int16_t>(std::lround(s * 32767.0f)));
            }
            m_runtime->destroyGeneratedAudio(audio);
        }
    }
    result.ok = true;
    return result;
}

}  // namespace tavrel::neural
