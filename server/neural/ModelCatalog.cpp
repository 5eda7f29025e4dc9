#include "ModelCatalog.h"

#include "GenderCache.h"
#include "OnnxMetadata.h"
#include "ServiceContract.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace tavrel::neural {

const char *familyName(Family family)
{
    switch (family) {
    case Family::Vits: return "VITS";
    case Family::Matcha: return "Matcha";
    case Family::Kokoro: return "Kokoro";
    }
    return "?";
}

namespace {

struct Failure {
    std::string reason;
};

bool isFile(const fs::path &p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

bool isDir(const fs::path &p)
{
    std::error_code ec;
    return fs::is_directory(p, ec);
}

bool contains(const std::string &s, const char *part)
{
    return s.find(part) != std::string::npos;
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isVocoderName(const std::string &file)
{
    const std::string l = lower(file);
    return contains(l, "vocos") || contains(l, "hifigan") || contains(l, "vocoder");
}

bool knownLocale(const std::string &code)
{
    for (const auto &l : contract::locales)
        if (code == l.code)
            return true;
    return false;
}

// "vits-piper-en_US-amy-medium" → "VitsPiperEnUSAmyMedium": letters and digits only.
std::string camel(const std::string &text)
{
    std::string out;
    bool start = true;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            out += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            start = false;
        } else {
            start = true;
        }
    }
    return out;
}

bool parseInt(const std::string &s, int &out)
{
    try {
        std::size_t used = 0;
        const long v = std::stol(s, &used);
        if (used != s.size() || v < 0 || v > 100000)
            return false;
        out = static_cast<int>(v);
        return true;
    } catch (...) {
        return false;
    }
}

// What we know of a published model without a voices.tsv: the <Model> part
// of its identifiers, the name the choosers show, and its speakers' locale
// and gender.
struct KnownModel {
    const char *folderPrefix;
    const char *modelName;
    const char *display;
    const char *locale;
    const char *gender;  // null: its speakers' genders are not published
};

const KnownModel kKnown[] = {
    // Kokoro's speakers are known by name (kokoroSpeaker).
    {"kokoro-multi-lang-v1_1", "KokoroV11", "Kokoro", "zh-CN", nullptr},
    {"kokoro-int8-multi-lang-v1_1", "KokoroV11", "Kokoro", "zh-CN", nullptr},
    {"kokoro-multi-lang-v1_0", "KokoroV10", "Kokoro", "zh-CN", nullptr},
    {"kokoro-int8-multi-lang-v1_0", "KokoroV10", "Kokoro", "zh-CN", nullptr},
    // 174 speakers of both genders, listed by number only.
    {"vits-icefall-zh-aishell3", "Aishell3", "AISHELL3", "zh-CN", nullptr},
    {"vits-melo-tts-zh_en", "Melo", "Melo", "zh-CN", "Female"},
    {"matcha-icefall-zh-baker", "Baker", "标贝", "zh-CN", "Female"},
};

const KnownModel *knownModel(const std::string &folder)
{
    for (const KnownModel &k : kKnown)
        if (folder.rfind(k.folderPrefix, 0) == 0)
            return &k;
    return nullptr;
}

// Kokoro's speaker names: a language letter, f/m, then the name ("zf_001").
bool kokoroSpeaker(const std::string &speaker, std::string &locale, std::string &gender)
{
    static const std::map<char, const char *> languages = {
        {'a', "en-US"}, {'b', "en-GB"}, {'z', "zh-CN"}, {'j', "ja-JP"}, {'e', "es-ES"},
        {'f', "fr-FR"}, {'h', "hi-IN"}, {'i', "it-IT"}, {'p', "pt-BR"},
    };
    if (speaker.size() < 3 || speaker[2] != '_')
        return false;
    auto it = languages.find(speaker[0]);
    if (it == languages.end() || (speaker[1] != 'f' && speaker[1] != 'm'))
        return false;
    locale = it->second;
    gender = speaker[1] == 'f' ? "Female" : "Male";
    return true;
}

// The published speaker list of kokoro-multi-lang-v1_1, for a model file
// that does not carry its speaker names.
std::string kokoroV11Speaker(int sid)
{
    if (sid == 0)
        return "af_maple";
    if (sid == 1)
        return "af_sol";
    if (sid == 2)
        return "bf_vale";
    if (sid < 58)
        return "zf_" + std::to_string(sid - 2);
    return "zm_" + std::to_string(sid - 57);
}

std::vector<std::string> splitList(const std::string &s, char sep)
{
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(s);
    while (std::getline(in, item, sep)) {
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back())))
            item.pop_back();
        std::size_t b = 0;
        while (b < item.size() && std::isspace(static_cast<unsigned char>(item[b])))
            ++b;
        out.push_back(item.substr(b));
    }
    return out;
}

std::string localeOfLanguage(const std::string &language)
{
    static const std::map<std::string, std::string> table = {
        {"chinese", "zh-CN"}, {"mandarin", "zh-CN"}, {"zh", "zh-CN"}, {"english", "en-US"}, {"en", "en-US"},
        {"german", "de-DE"}, {"french", "fr-FR"}, {"spanish", "es-ES"}, {"russian", "ru-RU"},
        {"japanese", "ja-JP"}, {"italian", "it-IT"},
    };
    auto it = table.find(lower(language));
    return it == table.end() ? std::string() : it->second;
}

struct TsvEntry {
    std::string suffix, locale, gender, display;
};

// voices.tsv: sid, identifier suffix, locale, gender, display name; '#'
// starts a comment. A bad line is skipped with its number in `warnings`; the
// rest of the file still names its speakers.
std::map<int, TsvEntry> readVoicesTsv(const fs::path &file, int speakers, std::vector<std::string> &warnings)
{
    std::map<int, TsvEntry> out;
    std::set<std::string> suffixes;
    std::ifstream in(file);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        const auto cols = splitList(line, '\t');
        int sid = -1;
        const char *why = nullptr;
        if (cols.size() < 4)
            why = "应有 sid、标识后缀、区域、性别、显示名，以制表符分隔";
        else if (!parseInt(cols[0], sid) || sid >= speakers)
            why = "的 sid 不在模型的说话人范围内";
        else if (cols[1].empty() || !std::all_of(cols[1].begin(), cols[1].end(), [](char c) {
                     return std::isalnum(static_cast<unsigned char>(c));
                 }))
            why = "的标识后缀只能由 ASCII 字母和数字组成";
        else if (!knownLocale(cols[2]))
            why = "的区域代码未知";
        else if (cols[3] != "Female" && cols[3] != "Male")
            why = "的性别应为 Female 或 Male";
        else if (out.count(sid))
            why = "的 sid 已在前面出现过";
        else if (suffixes.count(cols[2] + "-" + cols[1]))
            why = "的标识后缀与前面的重复";
        if (why) {
            warnings.push_back("voices.tsv 第 " + std::to_string(lineNo) + " 行" + why + "，已跳过");
            continue;
        }
        suffixes.insert(cols[2] + "-" + cols[1]);
        out[sid] = {cols[1], cols[2], cols[3], cols.size() > 4 ? cols[4] : std::string()};
    }
    return out;
}

std::string requireInt(const OnnxMetadata &meta, const fs::path &file, const char *key, int &out)
{
    auto it = meta.props.find(key);
    if (it == meta.props.end())
        return file.filename().string() + " 缺少元数据 " + key;
    if (!parseInt(it->second, out))
        return file.filename().string() + " 的元数据 " + key + " 不是整数";
    return {};
}

// Recognises the family from the files and fills every path; throws Failure.
NeuralModel recognise(const fs::path &dir)
{
    NeuralModel m;
    m.dir = dir;
    m.folder = dir.filename().string();

    std::vector<std::string> onnx;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file(ec) && lower(entry.path().extension().string()) == ".onnx")
            onnx.push_back(entry.path().filename().string());
    std::sort(onnx.begin(), onnx.end());
    if (onnx.empty())
        throw Failure{"不是可识别的模型：没有 .onnx 模型文件"};

    auto has = [&](const char *name) { return isFile(dir / name); };
    // model.onnx before an int8 build before anything else.
    auto pick = [&](const std::vector<std::string> &files) {
        for (const char *preferred : {"model.onnx", "model.int8.onnx"})
            if (std::find(files.begin(), files.end(), preferred) != files.end())
                return std::string(preferred);
        for (const auto &f : files)
            if (!contains(lower(f), "int8"))
                return f;
        return files.front();
    };

    std::vector<std::string> vocoders, acoustic;
    for (const auto &f : onnx)
        (isVocoderName(f) ? vocoders : acoustic).push_back(f);

    if (has("voices.bin")) {
        m.family = Family::Kokoro;
        if (acoustic.empty())
            throw Failure{"Kokoro 模型缺少模型文件 model.onnx"};
        if (!has("tokens.txt"))
            throw Failure{"Kokoro 模型缺少 tokens.txt"};
        // The runtime refuses a Kokoro model without espeak-ng's data.
        if (!isDir(dir / "espeak-ng-data"))
            throw Failure{"Kokoro 模型缺少 espeak-ng-data/"};
        m.model = dir / pick(acoustic);
        m.voicesBin = dir / "voices.bin";
        std::vector<std::string> lexicons;
        for (const auto &entry : fs::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file(ec) && name.rfind("lexicon", 0) == 0 && entry.path().extension() == ".txt")
                lexicons.push_back(entry.path().string());
        }
        std::sort(lexicons.begin(), lexicons.end());
        for (const auto &l : lexicons)
            m.lexicon += (m.lexicon.empty() ? "" : ",") + l;
    } else if (!vocoders.empty() || std::any_of(onnx.begin(), onnx.end(), [](const std::string &f) {
                   return f.rfind("model-steps", 0) == 0;
               })) {
        m.family = Family::Matcha;
        if (vocoders.empty())
            throw Failure{"Matcha 模型缺少声码器：请把声码器文件（如 vocos-22khz-univ.onnx）放进此文件夹"};
        if (acoustic.empty())
            throw Failure{"Matcha 模型缺少声学模型（如 model-steps-3.onnx）"};
        m.model = dir / pick(acoustic);
        m.vocoder = dir / vocoders.front();
        if (!has("tokens.txt"))
            throw Failure{"Matcha 模型缺少 tokens.txt"};
        if (!has("lexicon.txt") && !isDir(dir / "espeak-ng-data"))
            throw Failure{"Matcha 模型缺少 lexicon.txt 或 espeak-ng-data/"};
        if (has("lexicon.txt"))
            m.lexicon = (dir / "lexicon.txt").string();
    } else {
        m.family = Family::Vits;
        m.model = dir / pick(acoustic);
        if (!has("tokens.txt"))
            throw Failure{"VITS 模型缺少 tokens.txt"};
        if (!has("lexicon.txt") && !isDir(dir / "espeak-ng-data"))
            throw Failure{"VITS 模型缺少 lexicon.txt 或 espeak-ng-data/"};
        if (has("lexicon.txt"))
            m.lexicon = (dir / "lexicon.txt").string();
    }
    m.tokens = dir / "tokens.txt";
    if (isDir(dir / "espeak-ng-data"))
        m.dataDir = dir / "espeak-ng-data";
    if (isDir(dir / "dict"))
        m.dictDir = dir / "dict";
    return m;
}

void readMetadata(NeuralModel &m, std::vector<std::string> &speakerNames)
{
    const OnnxMetadata meta = readOnnxMetadata(m.model);
    if (!meta.ok)
        throw Failure{meta.error};
    if (m.family == Family::Matcha) {
        const OnnxMetadata voc = readOnnxMetadata(m.vocoder);
        if (!voc.ok)
            throw Failure{voc.error};
    }
    std::string why = requireInt(meta, m.model, "sample_rate", m.sampleRate);
    if (why.empty())
        why = requireInt(meta, m.model, "n_speakers", m.speakers);
    std::vector<const char *> required;
    switch (m.family) {
    case Family::Vits: required = {"language", "comment"}; break;
    case Family::Matcha: required = {"use_eos_bos", "pad_id"}; break;
    case Family::Kokoro: required = {"has_espeak"}; break;
    }
    for (const char *key : required)
        if (why.empty() && !meta.props.count(key))
            why = m.model.filename().string() + " 缺少元数据 " + key;
    if (why.empty() && (m.sampleRate < 8000 || m.sampleRate > 192000))
        why = m.model.filename().string() + " 的采样率 " + std::to_string(m.sampleRate) + " 无效";
    if (!why.empty())
        throw Failure{why};
    m.speakers = std::max(1, m.speakers);
    auto lang = meta.props.find("language");
    if (lang != meta.props.end())
        m.language = lang->second;
    auto names = meta.props.find("speaker_names");
    if (names != meta.props.end())
        speakerNames = splitList(names->second, ',');
}

void nameVoices(NeuralModel &m, const std::vector<std::string> &speakerNames)
{
    const KnownModel *known = knownModel(m.folder);
    std::string display;
    std::string defaultLocale, defaultGender = "Female";
    bool genderKnown = false;
    if (known) {
        m.modelName = known->modelName;
        display = known->display;
        defaultLocale = known->locale;
        if (known->gender) {
            defaultGender = known->gender;
            genderKnown = true;
        }
    } else if (m.folder.rfind("vits-piper-", 0) == 0) {
        // vits-piper-<lang>_<REGION>-<name>-<quality>
        const auto parts = splitList(m.folder.substr(11), '-');
        std::string code = parts.empty() ? "" : parts[0];
        std::replace(code.begin(), code.end(), '_', '-');
        defaultLocale = code;
        const std::string name = parts.size() > 1 ? parts[1] : m.folder;
        m.modelName = "Piper" + camel(name);
        display = "Piper " + name;
    } else {
        std::string base = m.folder;
        for (const char *prefix : {"sherpa-onnx-", "vits-"})
            if (base.rfind(prefix, 0) == 0)
                base = base.substr(std::string(prefix).size());
        m.modelName = camel(base);
        display = m.folder;
    }
    if (defaultLocale.empty() || !knownLocale(defaultLocale))
        defaultLocale = localeOfLanguage(m.language);
    if (m.modelName.empty() || !std::isalpha(static_cast<unsigned char>(m.modelName[0])))
        m.modelName = "Model" + m.modelName;

    std::map<int, TsvEntry> tsv;
    if (isFile(m.dir / "voices.tsv"))
        tsv = readVoicesTsv(m.dir / "voices.tsv", m.speakers, m.warnings);
    const std::map<int, std::string> estimated = readGenderCache(m);
    const bool kokoroV11 = m.family == Family::Kokoro && m.speakers == 103 && speakerNames.empty();

    for (int sid = 0; sid < m.speakers; ++sid) {
        NeuralVoice v;
        v.sid = sid;
        v.locale = defaultLocale;
        v.gender = defaultGender;
        v.genderKnown = genderKnown;
        char number[16];
        std::snprintf(number, sizeof number, "%03d", sid);
        std::string suffix = "S" + std::string(number);
        std::string speaker = sid < static_cast<int>(speakerNames.size()) ? speakerNames[sid]
                              : kokoroV11                                 ? kokoroV11Speaker(sid)
                                                                          : std::string();
        if (m.family == Family::Kokoro && !speaker.empty() && kokoroSpeaker(speaker, v.locale, v.gender)) {
            suffix = camel(speaker);
            v.genderKnown = true;
        }
        v.baseDisplay = display + " " + number;
        auto it = tsv.find(sid);
        if (it != tsv.end()) {
            suffix = it->second.suffix;
            v.locale = it->second.locale;
            v.gender = it->second.gender;
            v.genderKnown = true;
            if (!it->second.display.empty())
                v.baseDisplay.clear();
        }
        if (!v.genderKnown) {
            auto guess = estimated.find(sid);
            if (guess != estimated.end()) {
                v.gender = guess->second;
                v.genderEstimated = true;
            }
        }
        v.displayName = v.baseDisplay.empty() ? it->second.display : genderedDisplay(v.baseDisplay, v.gender);
        if (v.locale.empty() || !knownLocale(v.locale))
            throw Failure{"无法判断说话人 " + std::to_string(sid) + " 的语言（模型语言 \"" + m.language +
                          "\"）：请在 voices.tsv 中写明"};
        v.name = v.locale + "-" + m.modelName + suffix;
        m.voices.push_back(std::move(v));
    }
}

}  // namespace

std::string genderedDisplay(const std::string &base, const std::string &gender)
{
    return base + " " + (gender == "Male" ? "男声" : "女声");
}

bool hasModelFolders(const fs::path &modelsDir)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(modelsDir, ec))
        if (entry.is_directory(ec))
            return true;
    return false;
}

ModelCatalog scanModels(const fs::path &modelsDir)
{
    ModelCatalog out;
    std::vector<fs::path> dirs;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(modelsDir, ec))
        if (entry.is_directory(ec))
            dirs.push_back(entry.path());
    std::sort(dirs.begin(), dirs.end());

    std::set<std::string> names;
    for (const fs::path &dir : dirs) {
        try {
            NeuralModel m = recognise(dir);
            std::vector<std::string> speakerNames;
            readMetadata(m, speakerNames);
            nameVoices(m, speakerNames);
            // Identifiers stay unique across models: a second model whose
            // name collides takes a number, in folder order, so the same
            // folders give the same names on every run.
            const std::string base = m.modelName;
            std::vector<std::string> suffixes;
            for (const auto &v : m.voices)
                suffixes.push_back(v.name.substr(v.locale.size() + 1 + base.size()));
            for (int n = 2;; ++n) {
                bool clash = false;
                for (std::size_t i = 0; i < m.voices.size(); ++i)
                    clash = clash || names.count(m.voices[i].locale + "-" + m.modelName + suffixes[i]);
                if (!clash)
                    break;
                m.modelName = base + std::to_string(n);
            }
            std::set<std::string> mine;
            for (std::size_t i = 0; i < m.voices.size(); ++i) {
                NeuralVoice &v = m.voices[i];
                v.name = v.locale + "-" + m.modelName + suffixes[i];
                if (!mine.insert(v.name).second)
                    throw Failure{"声音标识 " + v.name + " 重复：请检查 voices.tsv"};
            }
            names.insert(mine.begin(), mine.end());
            out.models.push_back(std::move(m));
        } catch (const Failure &f) {
            out.skipped.push_back({dir.filename().string(), f.reason});
        } catch (const std::exception &e) {
            out.skipped.push_back({dir.filename().string(), std::string("无法读取：") + e.what()});
        }
    }
    return out;
}

}  // namespace tavrel::neural
