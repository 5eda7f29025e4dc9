#include "Requests.h"

#include "Pinyin.h"
#include "Subtitles.h"

namespace tavrel {

namespace {

const std::string *field(const Form &form, const char *name)
{
    auto it = form.find(name);
    return it == form.end() ? nullptr : &it->second;
}

// The first field of `required` the form lacks, named.
template <std::size_t N>
std::string missingField(const Form &form, const char *const (&required)[N])
{
    for (const char *name : required)
        if (!field(form, name))
            return std::string("缺少参数：") + name;
    return {};
}

// The output.wav flag of a join: off when left out, an error when neither
// "0" nor "1".
std::optional<bool> wavFlag(const Form &form)
{
    const std::string *value = field(form, contract::field::wav);
    return value ? contract::parseFlag(*value) : std::optional<bool>(false);
}

const char kBadWav[] = "wav 参数错误，应为 0 或 1";

// The text and voice of a render or a reading, checked the same way for
// both; on success `text` holds the code points and `locale` the voice's.
std::string checkTextAndVoice(const Form &form, const VoiceLocales &voices, std::u32string &text, std::string &locale)
{
    const std::string &raw = *field(form, contract::field::text);
    if (contract::isBlankText(raw))
        return "文本为空";
    if (raw.size() > contract::textMaxBytes)
        return "文本过长";
    if (raw.find('\0') != std::string::npos)
        return "文本含有非法字符";
    if (!srt::decodeUtf8(raw, text))
        return "文本编码错误";
    const std::string &voice = *field(form, contract::field::voice);
    auto it = voices.find(voice);
    if (it == voices.end() || it->second.empty())
        return "未知的语音：" + voice.substr(0, 80);
    locale = it->second;
    return {};
}

std::string percentRange(int min, int max)
{
    return "应为 " + contract::percentText(min) + " 到 " + contract::percentText(max) + " 之间，如 " +
           contract::percentText(0);
}

// The paths of a join's audio list: one at least, audioListMaxFiles at most.
std::string splitAudio(const Form &form, std::vector<std::string> &list)
{
    list = splitAudioList(*field(form, contract::field::audio));
    if (list.empty())
        return "未提供要合并的音频文件";
    if (list.size() > contract::audioListMaxFiles)
        return "音频文件过多";
    return {};
}

// Each path of the list inside the audio folder; one that is not there is
// kept, marked missing, so that the join skips it.
std::string resolveAudio(const std::vector<std::string> &list, const PathGuard &guard,
                         std::vector<PathGuard::Result> &files)
{
    files.reserve(list.size());
    for (const std::string &raw : list) {
        PathGuard::Result in = guard.fileForRead(raw);
        if (!in.error.empty())
            return "音频路径错误：" + in.error;
        files.push_back(std::move(in));
    }
    return {};
}

}  // namespace

Checked<ReadingRequest> parseReadingRequest(const Form &form, const VoiceLocales &voices)
{
    if (std::string why = missingField(form, contract::ttsReadingFields); !why.empty())
        return Refusal{why};
    ReadingRequest r;
    if (std::string why = checkTextAndVoice(form, voices, r.codePoints, r.locale); !why.empty())
        return Refusal{why};
    r.text = *field(form, contract::field::text);
    r.voice = *field(form, contract::field::voice);
    return r;
}

Checked<RenderRequest> parseRenderRequest(const Form &form, const VoiceLocales &voices, const PathGuard &guard)
{
    if (std::string why = missingField(form, contract::ttsCommunicateFields); !why.empty())
        return Refusal{why};
    RenderRequest r;
    if (std::string why = checkTextAndVoice(form, voices, r.codePoints, r.locale); !why.empty())
        return Refusal{why};
    r.text = *field(form, contract::field::text);
    r.voice = *field(form, contract::field::voice);
    // The program's rate box reaches -100%: the slowest the voice can
    // speak, which the engine clamps to.
    auto rate = parsePercent(*field(form, contract::field::rates), contract::rateMin, contract::rateMax);
    if (!rate)
        return Refusal{"语速格式错误，" + percentRange(contract::rateMin, contract::rateMax)};
    auto volume = parsePercent(*field(form, contract::field::volumes), contract::volumeMin, contract::volumeMax);
    if (!volume)
        return Refusal{"音量格式错误，" + percentRange(contract::volumeMin, contract::volumeMax)};
    r.ratePercent = *rate;
    r.volumePercent = *volume;

    auto media = guard.fileForWrite(*field(form, contract::field::writeMedia), ".mp3");
    if (!media.error.empty())
        return Refusal{"音频路径错误：" + media.error};
    auto subs = guard.fileForWrite(*field(form, contract::field::writeSubtitles), ".srt");
    if (!subs.error.empty())
        return Refusal{"字幕路径错误：" + subs.error};
    r.media = media.path;
    r.subtitles = subs.path;
    // A reading sent along (to listen to a correction before it is saved).
    if (const std::string *given = field(form, contract::field::reading)) {
        std::string why;
        r.reading = textrules::pinyin::parseReading(*given, &why);
        if (!r.reading)
            return Refusal{"读音错误：" + why};
    }
    return r;
}

Checked<JoinRequest> parseJoinRequest(const Form &form, const PathGuard &guard)
{
    if (std::string why = missingField(form, contract::audioCombinedFields); !why.empty())
        return Refusal{why};
    auto pause = parsePause(*field(form, contract::field::dura));
    if (!pause)
        return Refusal{"停顿时长格式错误，应为 0 到 " + std::to_string(contract::pauseMaxMs) + " 之间的毫秒数"};
    auto folder = guard.folder(*field(form, contract::field::path));
    if (!folder.error.empty())
        return Refusal{"输出文件夹错误：" + folder.error};
    auto wav = wavFlag(form);
    if (!wav)
        return Refusal{kBadWav};

    std::vector<std::string> list;
    if (std::string why = splitAudio(form, list); !why.empty())
        return Refusal{why};
    std::vector<PathGuard::Result> files;
    if (std::string why = resolveAudio(list, guard, files); !why.empty())
        return Refusal{why};

    JoinRequest job;
    job.pauseMs = *pause;
    job.folder = folder.path;
    job.wav = *wav;
    for (PathGuard::Result &in : files)
        job.inputs.push_back({std::move(in.path), in.missing});
    return job;
}

Checked<TimelineRequest> parseTimelineRequest(const Form &form, const PathGuard &guard, std::int64_t maxTimelineMs)
{
    if (std::string why = missingField(form, contract::audioTimelineFields); !why.empty())
        return Refusal{why};
    const std::string range = "（0 到 " + std::to_string(maxTimelineMs) + "）";
    auto starts = contract::parseTimeList(*field(form, contract::field::starts), maxTimelineMs);
    if (!starts)
        return Refusal{"开始时间格式错误，应为逗号分隔的毫秒数" + range + "，每段音频一个"};
    std::optional<std::vector<std::int64_t>> ends;
    if (const std::string *raw = field(form, contract::field::ends)) {
        ends = contract::parseTimeList(*raw, maxTimelineMs);
        if (!ends)
            return Refusal{"结束时间格式错误，应为逗号分隔的毫秒数" + range + "，每段音频一个"};
        if (ends->size() != starts->size())
            return Refusal{"结束时间与开始时间的个数不同"};
        for (std::size_t i = 0; i < ends->size(); ++i)
            if ((*ends)[i] < (*starts)[i])
                return Refusal{"第 " + std::to_string(i + 1) + " 段的结束时间早于开始时间"};
    }
    std::int64_t endMs = 0;
    if (const std::string *raw = field(form, contract::field::outputEnd)) {
        auto end = contract::parseTime(*raw, maxTimelineMs);
        if (!end)
            return Refusal{"总时长格式错误，应为毫秒数" + range};
        endMs = *end;
    }
    auto wav = wavFlag(form);
    if (!wav)
        return Refusal{kBadWav};
    auto folder = guard.folder(*field(form, contract::field::path));
    if (!folder.error.empty())
        return Refusal{"输出文件夹错误：" + folder.error};

    std::vector<std::string> list;
    if (std::string why = splitAudio(form, list); !why.empty())
        return Refusal{why};
    if (list.size() != starts->size())
        return Refusal{"开始时间的个数（" + std::to_string(starts->size()) + "）与音频文件的个数（" +
                       std::to_string(list.size()) + "）不同"};
    std::vector<PathGuard::Result> files;
    if (std::string why = resolveAudio(list, guard, files); !why.empty())
        return Refusal{why};

    TimelineRequest job;
    job.endMs = endMs;
    job.folder = folder.path;
    job.wav = *wav;
    for (std::size_t i = 0; i < files.size(); ++i)
        job.inputs.push_back({std::move(files[i].path), files[i].missing, (*starts)[i], ends ? (*ends)[i] : -1});
    return job;
}

}  // namespace tavrel
