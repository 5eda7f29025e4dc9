#pragma once

// What Sayora_Lumo and its speech service Sayora_server_Tavrel agree on, kept
// in one place so that a change is made once: the endpoints and their form
// fields, the formats of rate, volume, pause and the list of files to join,
// the reply envelope, and the locales the service may offer. Plain C++17 with
// no Qt, header only: the service includes it as it is, the program converts
// the texts where it needs QString.
//
// The service keeps its own engine details (which espeak-ng voice speaks a
// language, the variants it offers); only the language column of the locale
// table is shared, because it decides which locales can have voices at all.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace contract {

// ---- The program ----------------------------------------------------------
inline constexpr char programVersion[] = "1.2"; // shown in the main window's title

// ---- Endpoints ----------------------------------------------------------
// Names appended to the service's base URL ("http://127.0.0.1:5000/"); the
// service routes them as "/" + name.
namespace endpoint {
inline constexpr char getVoices[] = "getVoices";           // GET, no query
inline constexpr char ttsCommunicate[] = "ttsCommunicate"; // form POST: one passage
inline constexpr char audioCombined[] = "audioCombined";   // form POST: join the passages
inline constexpr char ttsReading[] = "ttsReading";         // form POST: how a voice reads a text
inline constexpr char audioTimeline[] = "audioTimeline";   // form POST: place the passages at their times
inline constexpr char modelFolders[] = "modelFolders";     // GET: the folders of models/ the service skipped
} // namespace endpoint

// Members of each record in modelFolders' data.
namespace modelFolder {
inline constexpr char folder[] = "folder"; // its name below models/
inline constexpr char reason[] = "reason"; // why it gives no voices
} // namespace modelFolder

inline std::string route(std::string_view endpointName)
{
    return "/" + std::string(endpointName);
}

// ---- The service process ---------------------------------------------------
// How the program starts the service and reads its end.
namespace process {
// The port the program's service listens on (127.0.0.1), unless told otherwise.
inline constexpr int defaultPort = 5000;
// "--parent-pid N": the service ends as soon as process N, the program that
// started it, ends (however it ends), so that it never outlives it.
inline constexpr char parentPidOption[] = "--parent-pid";
// The service's exit code when its port is held by another process: nothing
// a restart could mend, unlike a crash.
inline constexpr int exitPortTaken = 3;
} // namespace process

// ---- Form fields ----------------------------------------------------------
namespace field {
// ttsCommunicate, sent in this order.
inline constexpr char text[] = "text";                        // the passage, never blank
inline constexpr char voice[] = "voice";                      // a voice identifier of getVoices
inline constexpr char rates[] = "rates";                      // percent text
inline constexpr char volumes[] = "volumes";                  // percent text
inline constexpr char writeMedia[] = "write_media";           // absolute path of the MP3 to write
inline constexpr char writeSubtitles[] = "write_subtitles";   // the same path ending in ".srt"
// ttsCommunicate may also carry, after those six:
inline constexpr char reading[] = "reading";                  // numbered pinyin read instead of the text's own
// audioCombined, sent in this order.
inline constexpr char audio[] = "audio";                      // audio list (below)
inline constexpr char path[] = "path";                        // the job folder, ending in "/"
inline constexpr char dura[] = "dura";                        // pause text (below)
inline constexpr char wav[] = "wav";                          // optional flag text: "1" also writes output.wav
// audioTimeline, sent in this order: audio, starts, path, then the optional
// ends, end and wav.
inline constexpr char starts[] = "starts";                    // time list: where each passage's speech starts
inline constexpr char ends[] = "ends";                        // optional time list: where each cue ends
inline constexpr char outputEnd[] = "end";                    // optional time: the least length of output.mp3
// ttsReading takes text and voice, in this order.
} // namespace field

inline constexpr const char *ttsCommunicateFields[] = {field::text, field::voice, field::rates,
                                                       field::volumes, field::writeMedia, field::writeSubtitles};
inline constexpr const char *audioCombinedFields[] = {field::audio, field::path, field::dura};
inline constexpr const char *ttsReadingFields[] = {field::text, field::voice};
// The fields audioTimeline needs; ends, end and wav may follow.
inline constexpr const char *audioTimelineFields[] = {field::audio, field::starts, field::path};

// Members of each voice record in getVoices' data.
namespace voiceRecord {
inline constexpr char name[] = "name";     // identifier, such as "zh-CN-XiaoxiaoNeural"
inline constexpr char locale[] = "locale"; // a code of the locale table
inline constexpr char gender[] = "gender"; // "Female" or "Male"
inline constexpr char displayName[] = "displayName"; // a neural voice's only: its name in the choosers
} // namespace voiceRecord

// Members of ttsReading's data.
namespace reading {
inline constexpr char reading[] = "reading";   // the text as read: toned pinyin, kana, or the text
inline constexpr char phonemes[] = "phonemes"; // espeak-ng's phonemes of what the engine is given
// A neural voice's also: the text its model is given, and that text's phones
// as the model's lexicon has them.
inline constexpr char modelText[] = "modelText";
inline constexpr char modelPhones[] = "modelPhones";
// One letter per piece of the reading (a blank-separated syllable or word
// for Chinese, a kana for Japanese; empty for other languages): where it
// came from.
inline constexpr char sources[] = "sources";
inline constexpr char fromUser = 'u';      // the user's lexicon.txt
inline constexpr char fromWord = 'w';      // Chinese: a word of the service's word list
inline constexpr char fromCharacter = 'c'; // Chinese: no word decided, the character's own reading
inline constexpr char fromRule = 'r';      // Chinese: a context rule (polyphones, tone changes, erhua)
inline constexpr char fromData = 'd';      // anything else of the service's own data (Latin words, Japanese)
} // namespace reading

// Members of each element of audioTimeline's data: one per passage that could
// not start at its time, in list order.
namespace timelineMove {
inline constexpr char number[] = "number";   // the passage's place in the audio list, from 1
inline constexpr char shiftMs[] = "shiftMs"; // how much later its speech starts than asked, ms
} // namespace timelineMove

// ---- Reply envelope -------------------------------------------------------
// Every answer, success or not, is the JSON object {code, msg, data}.
namespace envelope {
inline constexpr char code[] = "code";
inline constexpr char msg[] = "msg";
inline constexpr char data[] = "data"; // getVoices: the voice records; ttsReading: an object;
                                       // audioTimeline: the moves; else []
inline constexpr int success = 1;      // any other code is a failure
inline constexpr int failure = 0;      // the code the service sends for one
} // namespace envelope

// ---- Percent: rate and volume ----------------------------------------------
// A sign, the integer in decimal, "%": "+0%", "+25%", "-30%". Zero carries "+".
inline constexpr int rateMin = -100;   // the slowest the voice can speak
inline constexpr int rateMax = 200;
inline constexpr int volumeMin = -100;
inline constexpr int volumeMax = 100;
// The page's rate box stops at +100%; the service takes faster rates (the
// command line's --rate, cues sped up to fit their time).
inline constexpr int pageRateMax = 100;

inline std::string percentText(int value)
{
    return (value < 0 ? "-" : "+") + std::to_string(value < 0 ? -static_cast<long>(value) : value) + "%";
}

// The value of a percent text within [min, max]; nothing when the text is not
// of that form (one to three digits) or out of range.
inline std::optional<int> parsePercent(std::string_view text, int min, int max)
{
    if (text.size() < 3 || text.size() > 5 || text.back() != '%')
        return std::nullopt;
    if (text.front() != '+' && text.front() != '-')
        return std::nullopt;
    int value = 0;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (text.front() == '-')
        value = -value;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

// ---- Pause between passages ---------------------------------------------------
// Milliseconds in decimal, no sign; 0 means no pause.
inline constexpr int pauseMaxMs = 60000;
// The page's pause box (and the command line's --pause) stops here.
inline constexpr int pagePauseMaxMs = 3000;

inline std::string pauseText(int milliseconds)
{
    return std::to_string(milliseconds);
}

inline std::optional<int> parsePause(std::string_view text)
{
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > pauseMaxMs)
        return std::nullopt;
    return value;
}

// ---- Audio list ---------------------------------------------------------------
// The passages' MP3 paths in script order, each followed by "?", so the list
// ends with "?". Paths never hold "?" themselves: the program names them.
inline constexpr char audioListSeparator = '?';
// The most paths one join or placement takes.
inline constexpr std::size_t audioListMaxFiles = 100000;

inline void appendToAudioList(std::string &list, std::string_view path)
{
    list.append(path);
    list.push_back(audioListSeparator);
}

// The paths of a list, in order; empty pieces are skipped.
inline std::vector<std::string> splitAudioList(std::string_view list)
{
    std::vector<std::string> paths;
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t to = list.find(audioListSeparator, from);
        if (to == std::string_view::npos)
            to = list.size();
        if (to > from)
            paths.emplace_back(list.substr(from, to - from));
        from = to + 1;
    }
    return paths;
}

// ---- Times on a timeline ----------------------------------------------------------
// A time is milliseconds in decimal, no sign, up to timelineMaxMs (a day). A
// time list holds one time per passage of the audio list, in the same order,
// separated by ",": "0,2500,6000". Nothing else may stand in it: no blanks,
// no empty pieces.
inline constexpr std::int64_t timelineMaxMs = 24LL * 3600 * 1000;
inline constexpr char timeListSeparator = ',';

inline std::string timeText(std::int64_t milliseconds)
{
    return std::to_string(milliseconds);
}

inline void appendToTimeList(std::string &list, std::int64_t milliseconds)
{
    if (!list.empty())
        list.push_back(timeListSeparator);
    list.append(timeText(milliseconds));
}

inline std::optional<std::int64_t> parseTime(std::string_view text, std::int64_t max = timelineMaxMs)
{
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

inline std::optional<std::vector<std::int64_t>> parseTimeList(std::string_view list,
                                                              std::int64_t max = timelineMaxMs)
{
    std::vector<std::int64_t> times;
    std::size_t from = 0;
    for (;;) {
        std::size_t to = list.find(timeListSeparator, from);
        if (to == std::string_view::npos)
            to = list.size();
        auto time = parseTime(list.substr(from, to - from), max);
        if (!time)
            return std::nullopt;
        times.push_back(*time);
        if (to == list.size())
            return times;
        from = to + 1;
    }
}

// ---- Flags ------------------------------------------------------------------------
// "1" or "0"; an optional flag left out is "0".
inline std::string flagText(bool on)
{
    return on ? "1" : "0";
}

inline std::optional<bool> parseFlag(std::string_view text)
{
    if (text == "1")
        return true;
    if (text == "0")
        return false;
    return std::nullopt;
}

// ---- Passage text ---------------------------------------------------------------
// A passage of nothing but blanks, tabs and line ends has nothing to say: the
// service refuses it, so the program never sends one.
inline bool isBlankText(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The longest passage text the service takes, in UTF-8 bytes.
inline constexpr std::size_t textMaxBytes = 200000;

// ---- Locales --------------------------------------------------------------------
// Every locale the program can name, in the program's order (by code): the
// code the service puts in its voice records, the Chinese name the choosers
// show (the code itself where there is none), and the espeak-ng language the
// service speaks it with (empty: the service offers no voice for it). The
// service lists its voices in this order, one locale's voices together.
struct Locale {
    const char *code;
    const char *chineseName; // UTF-8
    const char *espeakLanguage;
};

inline constexpr Locale locales[] = {
    {"af-ZA", "南非荷兰语(南非)", "af"},
    {"am-ET", "阿姆哈拉语", "am"},
    {"ar-AE", "阿拉伯语(阿联酋)", ""},
    {"ar-BH", "阿拉伯语(巴林)", ""},
    {"ar-DZ", "阿拉伯语(阿尔及利亚)", ""},
    {"ar-EG", "阿拉伯语(埃及)", ""},
    {"ar-IQ", "阿拉伯语(伊拉克)", ""},
    {"ar-JO", "阿拉伯语(约旦)", ""},
    {"ar-KW", "阿拉伯语(科威特)", ""},
    {"ar-LB", "阿拉伯语(黎巴嫩)", ""},
    {"ar-LY", "阿拉伯语(利比亚)", ""},
    {"ar-MA", "阿拉伯语(摩洛哥)", ""},
    {"ar-OM", "阿拉伯语(阿曼)", ""},
    {"ar-QA", "阿拉伯语(卡塔尔)", ""},
    {"ar-SA", "阿拉伯语(沙特)", "ar"},
    {"ar-SY", "阿拉伯语(叙利亚)", ""},
    {"ar-TN", "阿拉伯语(突尼斯)", ""},
    {"ar-YE", "阿拉伯语(也门)", ""},
    {"az-AZ", "阿塞拜疆语", "az"},
    {"bg-BG", "保加利亚语", "bg"},
    {"bn-BD", "孟加拉语", "bn"},
    {"bn-IN", "孟加拉语(印度)", ""},
    {"bs-BA", "波斯尼亚语", "bs"},
    {"ca-ES", "加泰罗尼亚语", "ca"},
    {"cs-CZ", "捷克语", "cs"},
    {"cy-GB", "威尔士语", "cy"},
    {"da-DK", "丹麦语", "da"},
    {"de-AT", "奥地利语", ""},
    {"de-CH", "德语(瑞士)", ""},
    {"de-DE", "德语(德国)", "de"},
    {"el-GR", "希腊语", "el"},
    {"en-AU", "英语(澳大利亚)", ""},
    {"en-CA", "英语(加拿大)", ""},
    {"en-GB", "英语(英国)", "en-gb"},
    {"en-HK", "英语(香港)", ""},
    {"en-IE", "英语(爱尔兰)", ""},
    {"en-IN", "英语(印度)", ""},
    {"en-KE", "en-KE", ""},
    {"en-NG", "英语(尼日利亚)", ""},
    {"en-NZ", "英语(新西兰)", ""},
    {"en-PH", "英语(菲律宾)", ""},
    {"en-SG", "英语(新加坡)", ""},
    {"en-TZ", "英语(坦桑尼亚)", ""},
    {"en-US", "英语(美国)", "en-us"},
    {"en-ZA", "英语(南非)", ""},
    {"es-AR", "西班牙语(阿根廷)", ""},
    {"es-BO", "西班牙语(玻利维亚)", ""},
    {"es-CL", "西班牙语(智利)", ""},
    {"es-CO", "西班牙语(哥伦比亚)", ""},
    {"es-CR", "西班牙语(哥斯达黎加)", ""},
    {"es-CU", "es-CU", ""},
    {"es-DO", "西班牙语(多米尼加)", ""},
    {"es-EC", "西班牙语(厄瓜多尔)", ""},
    {"es-ES", "西班牙语(西班牙)", "es"},
    {"es-GQ", "es-GQ", ""},
    {"es-GT", "西班牙语(危地马拉)", ""},
    {"es-HN", "西班牙语(洪都拉斯)", ""},
    {"es-MX", "西班牙语(墨西哥)", "es-419"},
    {"es-NI", "西班牙语(尼加拉瓜)", ""},
    {"es-PA", "西班牙语(巴拿马)", ""},
    {"es-PE", "西班牙语(秘鲁)", ""},
    {"es-PR", "西班牙语(波多黎各)", ""},
    {"es-PY", "西班牙语(巴拉圭)", ""},
    {"es-SV", "西班牙语(萨尔瓦多)", ""},
    {"es-US", "西班牙语(美国)", ""},
    {"es-UY", "西班牙语(乌拉圭)", ""},
    {"es-VE", "西班牙语(委内瑞拉玻利瓦尔)", ""},
    {"et-EE", "爱沙尼亚语", "et"},
    {"fa-IR", "波斯语", "fa"},
    {"fi-FI", "芬兰语", "fi"},
    {"fil-PH", "菲律宾语", ""},
    {"fr-BE", "法语(比利时)", "fr-be"},
    {"fr-CA", "法语(加拿大)", ""},
    {"fr-CH", "法语(瑞士)", "fr-ch"},
    {"fr-FR", "法语(法国)", "fr-fr"},
    {"ga-IE", "爱尔兰语", "ga"},
    {"gl-ES", "加利西亚语", ""},
    {"gu-IN", "古吉拉特语", "gu"},
    {"he-IL", "希伯来语", "he"},
    {"hi-IN", "印地语", "hi"},
    {"hr-HR", "克罗地亚语", "hr"},
    {"hu-HU", "匈牙利语", "hu"},
    {"id-ID", "印度尼西亚语", "id"},
    {"is-IS", "冰岛语", "is"},
    {"it-IT", "意大利语", "it"},
    {"ja-JP", "日语", "ja"},
    {"jv-ID", "jv-ID", ""},
    {"ka-GE", "格鲁吉亚语", "ka"},
    {"kk-KZ", "哈萨克语", "kk"},
    {"km-KH", "高棉语", ""},
    {"kn-IN", "埃纳德语", "kn"},
    {"ko-KR", "朝鲜语", "ko"},
    {"lo-LA", "老挝语", ""},
    {"lt-LT", "立陶宛语", "lt"},
    {"lv-LV", "拉脱维亚语", "lv"},
    {"mk-MK", "马其顿语", "mk"},
    {"ml-IN", "马拉雅拉姆语", "ml"},
    {"mn-MN", "蒙古语", ""},
    {"mr-IN", "马拉地语", "mr"},
    {"ms-MY", "马来语", "ms"},
    {"mt-MT", "马耳他语", "mt"},
    {"my-MM", "my-MM", "my"},
    {"nb-NO", "书面挪威语", "nb"},
    {"ne-NP", "尼泊尔语", "ne"},
    {"nl-BE", "荷兰语(比利时)", ""},
    {"nl-NL", "荷兰语(荷兰)", "nl"},
    {"pl-PL", "波兰语", "pl"},
    {"ps-AF", "普什图语", ""},
    {"pt-BR", "葡萄牙语(巴西)", "pt-br"},
    {"pt-PT", "葡萄牙语(葡萄牙)", "pt"},
    {"ro-RO", "罗马尼亚语", "ro"},
    {"ru-RU", "俄语", "ru"},
    {"si-LK", "僧伽罗语", "si"},
    {"sk-SK", "斯洛伐克语", "sk"},
    {"sl-SI", "斯洛文尼亚语", "sl"},
    {"so-SO", "so-SO", ""},
    {"sq-AL", "阿尔巴尼亚语", "sq"},
    {"sr-RS", "塞尔维亚语", "sr"},
    {"su-ID", "su-ID", ""},
    {"sv-SE", "瑞典语", "sv"},
    {"sw-KE", "斯瓦希里语(肯尼亚)", "sw"},
    {"sw-TZ", "斯瓦希里语(坦桑尼亚)", ""},
    {"ta-IN", "泰米尔语(印度)", "ta"},
    {"ta-LK", "ta-LK", ""},
    {"ta-MY", "ta-MY", ""},
    {"ta-SG", "ta-SG", ""},
    {"te-IN", "泰卢固语", "te"},
    {"th-TH", "泰语", "th"},
    {"tr-TR", "土耳其语", "tr"},
    {"uk-UA", "乌克兰语", "uk"},
    {"ur-IN", "ur-IN", ""},
    {"ur-PK", "乌尔都语", "ur"},
    {"uz-UZ", "乌兹别克语", "uz"},
    {"vi-VN", "越南语", "vi"},
    {"zh-CN", "汉语(大陆)", "cmn"},
    {"zh-CN-liaoning", "汉语(东北)", ""},
    {"zh-CN-shaanxi", "汉语(陕西)", ""},
    {"zh-HK", "汉语(香港)", "yue"},
    {"zh-TW", "汉语(台湾)", "cmn"},
    {"zu-ZA", "祖鲁语", ""},
};

inline constexpr std::size_t localeCount = std::size(locales);

// The row of a locale code (compared exactly), or null.
inline const Locale *findLocale(std::string_view code)
{
    for (const Locale &locale : locales) {
        if (code == locale.code)
            return &locale;
    }
    return nullptr;
}

} // namespace contract
