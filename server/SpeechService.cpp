#include "SpeechService.h"

#include "FrontEnd.h"
#include "Join.h"
#include "RenderCache.h"
#include "Requests.h"
#include "SegmentRender.h"
#include "ServiceContract.h"
#include "Timeline.h"
#include "UserLexicon.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <thread>
#include <type_traits>

#include <dirent.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace tavrel {

using Json = nlohmann::ordered_json;  // keeps "code, msg, data" and "name, locale, gender"

namespace {

constexpr int kListenBacklog = 4096;  // the program opens hundreds of connections at once

static_assert(reading::kFromUser == contract::reading::fromUser && reading::kFromData == contract::reading::fromData &&
                  reading::kFromWord == contract::reading::fromWord &&
                  reading::kFromCharacter == contract::reading::fromCharacter &&
                  reading::kFromRule == contract::reading::fromRule,
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

// The socket of the connection a request came on, found by its two ends
// (cpp-httplib 0.11 does not hand it to handlers); -1 when none matches. It
// stays open, and ours, until the handler returns.
int connectionSocket(const httplib::Request &req)
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int found = -1;
    while (const dirent *entry = ::readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        struct stat st {};
        if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        sockaddr_storage peer{}, local{};
        socklen_t peerLen = sizeof peer, localLen = sizeof local;
        if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr *>(&peer), &peerLen) != 0 ||
            ::getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr *>(&local), &localLen) != 0)
            continue;
        auto endpoint = [](const sockaddr_storage &a, std::string &addr, int &port) {
            char text[INET6_ADDRSTRLEN] = {};
            if (a.ss_family == AF_INET) {
                const auto *in = reinterpret_cast<const sockaddr_in *>(&a);
                ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
                port = ntohs(in->sin_port);
            } else if (a.ss_family == AF_INET6) {
                const auto *in = reinterpret_cast<const sockaddr_in6 *>(&a);
                ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
                port = ntohs(in->sin6_port);
            } else {
                return false;
            }
            addr = text;
            return true;
        };
        std::string peerAddr, localAddr;
        int peerPort = -1, localPort = -1;
        if (endpoint(peer, peerAddr, peerPort) && endpoint(local, localAddr, localPort) &&
            peerPort == req.remote_port && peerAddr == req.remote_addr && localPort == req.local_port) {
            found = static_cast<int>(fd);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// The client has closed its side: the whole request has been read, so an
// orderly end of stream (or a reset) can only mean it gave up waiting.
bool connectionGivenUp(int fd)
{
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

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
            m_portTaken = e == EADDRINUSE;
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

    http.Get(contract::route(contract::endpoint::modelFolders), [this](const httplib::Request &, httplib::Response &res) {
        Json data = Json::array();
        for (const auto &[folder, reason] : m_config.skippedModelFolders) {
            Json item;
            item[contract::modelFolder::folder] = folder;
            item[contract::modelFolder::reason] = reason;
            data.push_back(std::move(item));
        }
        reply(res, contract::envelope::success, "获取成功", std::move(data));
    });

    http.Get(contract::route(contract::endpoint::getVoices), [this](const httplib::Request &, httplib::Response &res) {
        Json data = Json::array();
        for (const VoiceInfo &v : usableVoices()) {
            Json item;
            item[contract::voiceRecord::name] = v.name;
            item[contract::voiceRecord::locale] = v.locale;
            item[contract::voiceRecord::gender] = v.gender;
            if (!v.displayName.empty())
                item[contract::voiceRecord::displayName] = v.displayName;
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
    auto readForm = [this](const httplib::Request &req, const httplib::ContentReader &reader,
                           std::string &error) -> std::optional<Form> {
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
        if (!form)
            error = "请求格式错误：表单编码无效";
        return form;
    };

    // A form endpoint: the body read into a form, the form checked into its
    // request by `check`, the request handed to `run`. A refusal at either
    // step is the answer.
    auto formEndpoint = [readForm](auto check, auto run) {
        return [readForm, check, run](const httplib::Request &req, httplib::Response &res,
                                      const httplib::ContentReader &reader) {
            std::string error;
            auto form = readForm(req, reader, error);
            if (!form)
                return fail(res, error);
            auto checked = check(*form);
            if (!checked)
                return fail(res, checked.refusal());
            if constexpr (std::is_invocable_v<decltype(run), decltype(checked.request()), httplib::Response &,
                                              const httplib::Request &>)
                run(checked.request(), res, req);
            else
                run(checked.request(), res);
        };
    };

    http.Post(contract::route(contract::endpoint::ttsReading),
              formEndpoint([this](const Form &form) { return parseReadingRequest(form, m_voiceLocales); },
                           [this](const ReadingRequest &request, httplib::Response &res) {
                               const reading::Prepared prepared =
                                   m_frontEnd->prepare(request.codePoints, request.locale, m_lexicon.get());
                               Json data;
                               data[contract::reading::reading] = prepared.reading;
                               data[contract::reading::phonemes] = m_engine->phonemes(prepared.runs, request.voice);
                               const std::string modelText = m_engine->modelText(prepared.runs, request.voice);
                               if (!modelText.empty()) {
                                   data[contract::reading::modelText] = modelText;
                                   data[contract::reading::modelPhones] = data[contract::reading::phonemes];
                               }
                               data[contract::reading::sources] = prepared.sources;
                               reply(res, contract::envelope::success, "获取成功", std::move(data));
                           }));

    http.Post(contract::route(contract::endpoint::ttsCommunicate),
              formEndpoint([this](const Form &form) { return parseRenderRequest(form, m_voiceLocales, m_guard); },
                           [this](const RenderRequest &request, httplib::Response &res, const httplib::Request &req) {
                               // A voice whose engine can stop part way stops
                               // when the program cancels its job and drops the
                               // connection; the others render as before.
                               std::optional<RenderCancel> cancel;
                               if (m_engine->stopsOnCancel(request.voice)) {
                                   const int fd = connectionSocket(req);
                                   if (fd >= 0)
                                       cancel.emplace([fd] { return connectionGivenUp(fd); });
                               }
                               const Outcome out = render(request);
                               reply(res, out.ok ? contract::envelope::success : contract::envelope::failure, out.msg);
                           }));

    http.Post(contract::route(contract::endpoint::audioCombined),
              formEndpoint([this](const Form &form) { return parseJoinRequest(form, m_guard); },
                           [](const JoinRequest &job, httplib::Response &res) {
                               const Outcome out = joinSegments(job);
                               reply(res, out.ok ? contract::envelope::success : contract::envelope::failure, out.msg);
                           }));

    http.Post(contract::route(contract::endpoint::audioTimeline),
              formEndpoint([this](const Form &form) { return parseTimelineRequest(form, m_guard, m_config.maxTimelineMs); },
                           [](const TimelineRequest &job, httplib::Response &res) {
                               TimelineReport report;
                               const Outcome out = placeSegments(job, &report);
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
                           }));
}

Outcome SpeechService::render(const RenderRequest &request)
{
    RenderJob job;
    job.text = request.text;
    job.voice = request.voice;
    job.ratePercent = request.ratePercent;
    job.volumePercent = request.volumePercent;
    job.media = request.media;
    job.subtitles = request.subtitles;
    // A reading sent along replaces the front end's reading of the text, and
    // the user's list.
    if (request.reading) {
        std::string why;
        auto prepared = m_frontEnd->prepareWithReading(request.codePoints, request.locale, *request.reading, why);
        if (!prepared)
            return {false, "读音错误：" + why};
        job.prepared = std::move(*prepared);
    } else {
        job.prepared = m_frontEnd->prepare(request.codePoints, request.locale, m_lexicon.get());
    }
    return m_cache ? renderSegmentCached(*m_engine, *m_cache, job) : renderSegment(*m_engine, job);
}

}  // namespace tavrel
