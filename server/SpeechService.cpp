#include "SpeechService.h"

#include "FrontEnd.h"
#include "Join.h"
#include "PinyinSyllables.h"
#include "RenderCache.h"
#include "SegmentRender.h"
#include "ServiceContract.h"
#include "Subtitles.h"
#include "Timeline.h"
#include "UserLexicon.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <thread>

#include <sys/socket.h>

namespace tavrel {

using Json = nlohmann::ordered_json;  // keeps "code, msg, data" and "name, locale, gender"

namespace {

constexpr int kListenBacklog = 4096;  // the program opens hundreds of connections at once

static_assert(reading::kFromUser == contract::reading::fromUser && reading::kFromData == contract::reading::fromData,
              "the reading's source letters are the contract's");

std::string envelope(int code, const std::string &msg, Json data = Json::array())
{
    Json j;
    j[contract::envelope::code] = code;
    j[contract::envelope::msg] = msg;
    j[contract::envelope::data] = std::move(data);
    // A message may quote the request (an unknown voice, cut to a length)
    // and so hold broken UTF-8; a strict dump would throw and turn the real
    // answer into an internal error.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void reply(httplib::Response &res, int code, const std::string &msg, Json data = Json::array())
{
    res.set_content(envelope(code, msg, std::move(data)), "application/json; charset=utf-8");
}

void fail(httplib::Response &res, const std::string &msg) { reply(res, contract::envelope::failure, msg); }

std::string lowerAscii(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Requests from a web page carry Origin, or Sec-Fetch-Site other than
// "none"; a DNS-rebinding page also has a foreign Host. None of them may
// reach the endpoints.
bool isCrossSite(const httplib::Request &req)
{
    if (req.has_header("Origin"))
        return true;
    if (req.has_header("Sec-Fetch-Site") && lowerAscii(req.get_header_value("Sec-Fetch-Site")) != "none")
        return true;
    if (req.has_header("Host")) {
        std::string host = lowerAscii(req.get_header_value("Host"));
        if (host.rfind("[::1]", 0) == 0)
            host = "[::1]";
        else
            host = host.substr(0, host.find(':'));
        if (host != "127.0.0.1" && host != "localhost" && host != "[::1]")
            return true;
    }
    return false;
}

// The fields each endpoint needs, present and in one piece.
const std::string *field(const std::map<std::string, std::string> &form, const char *name)
{
    auto it = form.find(name);
    return it == form.end() ? nullptr : &it->second;
}

// The output.wav flag of a join: off when left out, an error when neither
// "0" nor "1".
std::optional<bool> wavFlag(const std::map<std::string, std::string> &form)
{
    const std::string *value = field(form, contract::field::wav);
    return value ? contract::parseFlag(*value) : std::optional<bool>(false);
}

const char kBadWav[] = "wav 参数错误，应为 0 或 1";

}  // namespace

// cpp-httplib listens with a backlog of 5; a burst of hundreds of connects
// then waits on SYN retries. Re-listening the bound socket widens the queue.
class SpeechService::Http : public httplib::Server {
public:
    bool widenBacklog(int backlog) { return ::listen(svr_sock_, backlog) == 0; }
};

SpeechService::SpeechService(ServiceConfig config, std::shared_ptr<SpeechEngine> engine)
    : m_config(std::move(config)), m_engine(std::move(engine)), m_guard(m_config.workDir),
      m_frontEnd(std::make_shared<reading::FrontEnd>(m_config.dataDir)),
      m_lexicon(std::make_unique<reading::UserLexicon>(m_config.workDir / "lexicon.txt")),
      m_http(std::make_unique<Http>())
{
    if (!m_frontEnd->loadError().empty())
        std::cerr << "Sayora_server_Tavrel: reading data: " << m_frontEnd->loadError() << "\n";
    for (const VoiceInfo &v : m_engine->voices())
        if (m_frontEnd->supports(v.locale))
            m_voiceLocales[v.name] = v.locale;
    if (m_config.renderCacheBytes > 0)
        m_cache = std::make_unique<RenderCache>(m_config.renderCacheBytes);
    m_threads = m_config.threads ? m_config.threads : std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = m_threads;
    // A bounded set of workers and an unbounded queue: every connection is
    // accepted and waits its turn instead of being refused.
    m_http->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    // One request per connection: an idle keep-alive connection would hold a
    // worker while others wait.
    m_http->set_keep_alive_max_count(1);
    m_http->set_keep_alive_timeout(10);
    m_http->set_read_timeout(30, 0);
    m_http->set_write_timeout(30, 0);
    m_http->set_payload_max_length(m_config.maxBodyBytes);
    // The library's default adds SO_REUSEPORT, which lets a second service
    // bind the same port silently. Address reuse alone still allows a quick
    // restart over connections in TIME_WAIT.
    m_http->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    installRoutes();
}

SpeechService::~SpeechService()
{
    stop();
}

bool SpeechService::bind(std::string &error)
{
    errno = 0;
    if (m_config.port == 0) {
        m_port = m_http->bind_to_any_port(m_config.host);
        if (m_port <= 0) {
            error = "cannot bind " + m_config.host + ": " + std::strerror(errno);
            return false;
        }
    } else {
        if (!m_http->bind_to_port(m_config.host, m_config.port)) {
            const int e = errno;
            error = "cannot listen on " + m_config.host + ":" + std::to_string(m_config.port) +
                    (e == EADDRINUSE ? " (port already in use)" : e ? std::string(" (") + std::strerror(e) + ")" : "");
            return false;
        }
        m_port = m_config.port;
    }
    m_http->widenBacklog(kListenBacklog);
    return true;
}

bool SpeechService::listen()
{
    return m_http->listen_after_bind();
}

void SpeechService::stop()
{
    if (m_http)
        m_http->stop();
}

bool SpeechService::isRunning() const
{
    return m_http->is_running();
}

std::vector<VoiceInfo> SpeechService::usableVoices() const
{
    std::vector<VoiceInfo> out;
    for (const VoiceInfo &v : m_engine->voices())
        if (m_voiceLocales.count(v.name))
            out.push_back(v);
    return out;
}

std::string SpeechService::usableLocale(const std::string &voice) const
{
    auto it = m_voiceLocales.find(voice);
    return it == m_voiceLocales.end() ? std::string() : it->second;
}

void SpeechService::installRoutes()
{
    httplib::Server &http = *m_http;

    http.set_pre_routing_handler([](const httplib::Request &req, httplib::Response &res) {
        if (!isCrossSite(req))
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        fail(res, "拒绝来自网页的跨站请求");
        return httplib::Server::HandlerResponse::Handled;
    });

    http.set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        res.status = 200;
        fail(res, "服务内部错误");
    });

    http.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        // Keep the envelope for every error the library produces itself.
        if (res.body.empty())
            fail(res, res.status == 404 ? "未知的接口" : "请求无效");
    });

    http.Get(contract::route(contract::endpoint::getVoices), [this](const httplib::Request &, httplib::Response &res) {
        Json data = Json::array();
        for (const VoiceInfo &v : usableVoices()) {
            Json item;
            item[contract::voiceRecord::name] = v.name;
            item[contract::voiceRecord::locale] = v.locale;
            item[contract::voiceRecord::gender] = v.gender;
            data.push_back(std::move(item));
        }
        if (data.empty()) {
            fail(res, "语音引擎不可用");
            return;
        }
        reply(res, contract::envelope::success, "获取成功", std::move(data));
    });

    // Reads a form body ourselves: the library's own form parsing stops at
    // 8 KB, less than a long segment or a long list of files.
    // `required` lists the fields the endpoint needs; a missing one is named.
    auto readForm = [this](const httplib::Request &req, const httplib::ContentReader &reader, const auto &required,
                           std::string &error) -> std::optional<std::map<std::string, std::string>> {
        const std::string type = lowerAscii(req.get_header_value("Content-Type"));
        if (type.rfind("application/x-www-form-urlencoded", 0) != 0) {
            error = "请求格式错误：需要表单数据";
            return std::nullopt;
        }
        std::string body;
        bool tooLarge = false;
        reader([&](const char *data, size_t len) {
            if (body.size() + len > m_config.maxBodyBytes) {
                tooLarge = true;
                return false;
            }
            body.append(data, len);
            return true;
        });
        if (tooLarge) {
            error = "请求内容过大";
            return std::nullopt;
        }
        auto form = parseForm(body);
        if (!form) {
            error = "请求格式错误：表单编码无效";
            return form;
        }
        for (const char *name : required)
            if (!field(*form, name)) {
                error = std::string("缺少参数：") + name;
                return std::nullopt;
            }
        return form;
    };

    // The text and voice of a render or a reading, checked the same way for
    // both; on success `text` holds the code points and `locale` the voice's.
    auto checkTextAndVoice = [this](const std::map<std::string, std::string> &form, std::u32string &text,
                                    std::string &locale) -> std::string {
        const std::string &raw = *field(form, contract::field::text);
        if (contract::isBlankText(raw))
            return "文本为空";
        if (raw.size() > 200000)
            return "文本过长";
        if (raw.find('\0') != std::string::npos)
            return "文本含有非法字符";
        if (!srt::decodeUtf8(raw, text))
            return "文本编码错误";
        const std::string &voice = *field(form, contract::field::voice);
        locale = usableLocale(voice);
        if (locale.empty())
            return "未知的语音：" + voice.substr(0, 80);
        return {};
    };

    http.Post(contract::route(contract::endpoint::ttsReading), [this, readForm, checkTextAndVoice](const httplib::Request &req,
                                                                 httplib::Response &res,
                                                                 const httplib::ContentReader &reader) {
        std::string error;
        auto form = readForm(req, reader, contract::ttsReadingFields, error);
        if (!form)
            return fail(res, error);
        std::u32string text;
        std::string locale;
        error = checkTextAndVoice(*form, text, locale);
        if (!error.empty())
            return fail(res, error);
        const reading::Prepared prepared = m_frontEnd->prepare(text, locale, m_lexicon.get());
        Json data;
        data[contract::reading::reading] = prepared.reading;
        data[contract::reading::phonemes] = m_engine->phonemes(prepared.runs, *field(*form, contract::field::voice));
        data[contract::reading::sources] = prepared.sources;
        reply(res, contract::envelope::success, "获取成功", std::move(data));
    });

    http.Post(contract::route(contract::endpoint::ttsCommunicate), [this, readForm, checkTextAndVoice](const httplib::Request &req,
                                                                     httplib::Response &res,
                                                                     const httplib::ContentReader &reader) {
        std::string error;
        auto form = readForm(req, reader, contract::ttsCommunicateFields, error);
        if (!form)
            return fail(res, error);

        RenderJob job;
        std::u32string text;
        std::string locale;
        error = checkTextAndVoice(*form, text, locale);
        if (!error.empty())
            return fail(res, error);
        job.text = *field(*form, contract::field::text);
        job.voice = *field(*form, contract::field::voice);
        // The program's rate box reaches -100%: the slowest the voice can
        // speak, which the engine clamps to.
        auto rate = parsePercent(*field(*form, contract::field::rates), contract::rateMin, contract::rateMax);
        if (!rate)
            return fail(res, "语速格式错误，应为 -100% 到 +200% 之间，如 +0%");
        auto volume = parsePercent(*field(*form, contract::field::volumes), contract::volumeMin, contract::volumeMax);
        if (!volume)
            return fail(res, "音量格式错误，应为 -100% 到 +100% 之间，如 +0%");
        job.ratePercent = *rate;
        job.volumePercent = *volume;

        auto media = m_guard.fileForWrite(*field(*form, contract::field::writeMedia), ".mp3");
        if (!media.error.empty())
            return fail(res, "音频路径错误：" + media.error);
        auto subs = m_guard.fileForWrite(*field(*form, contract::field::writeSubtitles), ".srt");
        if (!subs.error.empty())
            return fail(res, "字幕路径错误：" + subs.error);
        job.media = media.path;
        job.subtitles = subs.path;
        // A reading sent along (to listen to a correction before it is
        // saved) replaces the front end's reading of the text, and the user's list.
        if (const std::string *given = field(*form, contract::field::reading)) {
            std::string why;
            const auto syllables = reading::pinyin::parseReading(*given, &why);
            if (!syllables)
                return fail(res, "读音错误：" + why);
            auto prepared = m_frontEnd->prepareWithReading(text, locale, *syllables, why);
            if (!prepared)
                return fail(res, "读音错误：" + why);
            job.prepared = std::move(*prepared);
        } else {
            job.prepared = m_frontEnd->prepare(text, locale, m_lexicon.get());
        }

        Outcome out = m_cache ? renderSegmentCached(*m_engine, *m_cache, job) : renderSegment(*m_engine, job);
        reply(res, out.ok ? contract::envelope::success : contract::envelope::failure, out.msg);
    });

    http.Post(contract::route(contract::endpoint::audioCombined), [this, readForm](const httplib::Request &req, httplib::Response &res,
                                                 const httplib::ContentReader &reader) {
        std::string error;
        auto form = readForm(req, reader, contract::audioCombinedFields, error);
        if (!form)
            return fail(res, error);

        auto pause = parsePause(*field(*form, contract::field::dura));
        if (!pause)
            return fail(res, "停顿时长格式错误，应为 0 到 60000 之间的毫秒数");
        auto folder = m_guard.folder(*field(*form, contract::field::path));
        if (!folder.error.empty())
            return fail(res, "输出文件夹错误：" + folder.error);

        auto wav = wavFlag(*form);
        if (!wav)
            return fail(res, kBadWav);

        JoinJob job;
        job.pauseMs = *pause;
        job.folder = folder.path;
        job.wav = *wav;
        const auto list = splitAudioList(*field(*form, contract::field::audio));
        if (list.empty())
            return fail(res, "未提供要合并的音频文件");
        if (list.size() > 100000)
            return fail(res, "音频文件过多");
        for (const std::string &raw : list) {
            auto in = m_guard.fileForRead(raw);
            if (!in.error.empty())
                return fail(res, "音频路径错误：" + in.error);
            job.inputs.push_back({in.path, in.missing});
        }

        Outcome out = joinSegments(job);
        reply(res, out.ok ? contract::envelope::success : contract::envelope::failure, out.msg);
    });

    http.Post(contract::route(contract::endpoint::audioTimeline), [this, readForm](const httplib::Request &req,
                                                                                 httplib::Response &res,
                                                                                 const httplib::ContentReader &reader) {
        std::string error;
        auto form = readForm(req, reader, contract::audioTimelineFields, error);
        if (!form)
            return fail(res, error);

        const std::string range = "（0 到 " + std::to_string(m_config.maxTimelineMs) + "）";
        auto starts = contract::parseTimeList(*field(*form, contract::field::starts), m_config.maxTimelineMs);
        if (!starts)
            return fail(res, "开始时间格式错误，应为逗号分隔的毫秒数" + range + "，每段音频一个");
        std::optional<std::vector<std::int64_t>> ends;
        if (const std::string *raw = field(*form, contract::field::ends)) {
            ends = contract::parseTimeList(*raw, m_config.maxTimelineMs);
            if (!ends)
                return fail(res, "结束时间格式错误，应为逗号分隔的毫秒数" + range + "，每段音频一个");
            if (ends->size() != starts->size())
                return fail(res, "结束时间与开始时间的个数不同");
            for (std::size_t i = 0; i < ends->size(); ++i)
                if ((*ends)[i] < (*starts)[i])
                    return fail(res, "第 " + std::to_string(i + 1) + " 段的结束时间早于开始时间");
        }
        std::int64_t endMs = 0;
        if (const std::string *raw = field(*form, contract::field::outputEnd)) {
            auto end = contract::parseTime(*raw, m_config.maxTimelineMs);
            if (!end)
                return fail(res, "总时长格式错误，应为毫秒数" + range);
            endMs = *end;
        }
        auto wav = wavFlag(*form);
        if (!wav)
            return fail(res, kBadWav);
        auto folder = m_guard.folder(*field(*form, contract::field::path));
        if (!folder.error.empty())
            return fail(res, "输出文件夹错误：" + folder.error);

        const auto list = splitAudioList(*field(*form, contract::field::audio));
        if (list.empty())
            return fail(res, "未提供要合并的音频文件");
        if (list.size() > 100000)
            return fail(res, "音频文件过多");
        if (list.size() != starts->size())
            return fail(res, "开始时间的个数（" + std::to_string(starts->size()) + "）与音频文件的个数（" +
                                 std::to_string(list.size()) + "）不同");
        TimelineJob job;
        job.endMs = endMs;
        job.folder = folder.path;
        job.wav = *wav;
        for (std::size_t i = 0; i < list.size(); ++i) {
            auto in = m_guard.fileForRead(list[i]);
            if (!in.error.empty())
                return fail(res, "音频路径错误：" + in.error);
            job.inputs.push_back({in.path, in.missing, (*starts)[i], ends ? (*ends)[i] : -1});
        }

        TimelineReport report;
        Outcome out = placeSegments(job, &report);
        if (!out.ok)
            return fail(res, out.msg);
        Json moved = Json::array();
        for (const TimelineMove &m : report.moved) {
            Json item;
            item[contract::timelineMove::number] = m.number;
            item[contract::timelineMove::shiftMs] = m.shiftMs;
            moved.push_back(std::move(item));
        }
        reply(res, contract::envelope::success, out.msg, std::move(moved));
    });
}

}  // namespace tavrel
