// The speech service end to end: arbitrary form bodies, with a few header
// variants, go over HTTP to the real request handlers (backed by a quick
// stand-in engine). After every input: the reply is one well-formed
// envelope, no handler threw, a browser's request was refused with 403, a
// reported success left its file inside the audio folder, and nothing
// outside <working folder>/audio/ changed.
//
// Input: byte 0 chooses the request (see Request below); the rest is the
// body, in which "$W" stands for the working folder's absolute path, so that
// the corpus does not depend on where the temporary folder lies.
#include "FuzzSupport.h"
#include "RequestValidation.h"
#include "SpeechService.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tavrel;
using namespace tavrel::fuzz;

namespace {

struct Fixture {
    Sandbox sandbox;
    std::unique_ptr<SpeechService> service;
    std::thread thread;
    int port = 0;

    Fixture()
    {
        ServiceConfig config;
        config.port = 0;
        config.workDir = sandbox.work();
        config.threads = 2;
        config.maxBodyBytes = 1 << 20;
        // Every millisecond of a timeline is written out; a day of silence
        // per input would be all the fuzzer measured.
        config.maxTimelineMs = 60000;
        service = std::make_unique<SpeechService>(config, std::make_shared<StandInEngine>());
        std::string error;
        if (!service->bind(error))
            fail("cannot bind: " + error);
        port = service->port();
        // libFuzzer's timer signal goes to this thread, not to the service's
        // (they inherit the mask of the thread that makes them).
        sigset_t timer, old;
        sigemptyset(&timer);
        sigaddset(&timer, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &timer, &old);
        thread = std::thread([this] { service->listen(); });
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        while (!service->isRunning())
            std::this_thread::yield();
    }
    // Lives until exit: libFuzzer leaves through exit(), and the service's
    // threads must not be torn down under a running request.
};

Fixture &fixture()
{
    static Fixture *f = new Fixture;
    return *f;
}

std::string replaceAll(std::string s, const std::string &from, const std::string &to)
{
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

// Byte 0: bits 0-1 endpoint, bits 2-3 content type, bit 4 Origin,
// bit 5 Sec-Fetch-Site, bit 6 foreign Host, bit 7 chunked body. getVoices
// has no body to chunk: with bit 7 its value stands for audioTimeline.
enum Endpoint { TtsCommunicate, AudioCombined, GetVoices, TtsReading, AudioTimeline };

struct Request {
    explicit Request(std::uint8_t b) : bits(b) {}
    std::uint8_t bits;
    int endpoint() const { return (bits & 3) == GetVoices && (bits & 0x80) ? AudioTimeline : bits & 3; }
    bool crossSite() const { return bits & 0x70; }
    bool chunked() const { return (bits & 0x80) && endpoint() != AudioTimeline; }
    bool writesFiles() const
    {
        return endpoint() == TtsCommunicate || endpoint() == AudioCombined || endpoint() == AudioTimeline;
    }

    std::string text(const std::string &body) const
    {
        static const char *paths[] = {"/ttsCommunicate", "/audioCombined", "/getVoices", "/ttsReading",
                                      "/audioTimeline"};
        static const char *types[] = {"application/x-www-form-urlencoded",
                                      "application/x-www-form-urlencoded; charset=UTF-8", "text/plain", nullptr};
        std::string t = std::string(endpoint() == GetVoices ? "GET " : "POST ") + paths[endpoint()] + " HTTP/1.1\r\n";
        t += (bits & 0x40) ? "Host: rebound.example:5000\r\n" : "Host: 127.0.0.1:5000\r\n";
        if (bits & 0x10)
            t += "Origin: http://evil.example\r\n";
        if (bits & 0x20)
            t += "Sec-Fetch-Site: cross-site\r\n";
        if (const char *type = types[(bits >> 2) & 3])
            t += std::string("Content-Type: ") + type + "\r\n";
        t += "Connection: close\r\n";
        if (endpoint() == GetVoices)
            return t + "\r\n";
        if (!chunked())
            return t + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        // Small chunks: the handler's reader gets the body in many pieces.
        t += "Transfer-Encoding: chunked\r\n\r\n";
        for (std::size_t i = 0; i < body.size(); i += 7) {
            const std::string part = body.substr(i, 7);
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", part.size());
            t += size + part + "\r\n";
        }
        return t + "0\r\n\r\n";
    }
};

std::string roundTrip(int port, const std::string &request)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        fail("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // libFuzzer's timer (SIGALRM) interrupts calls; a connect interrupted
    // goes on by itself and is waited for.
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        if (errno != EINTR)
            fail(std::string("connect failed: ") + std::strerror(errno));
        pollfd p{fd, POLLOUT, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        if (error)
            fail(std::string("connect failed: ") + std::strerror(error));
    }
    // The service may answer (403, bad type) before it has read the body.
    for (std::size_t sent = 0; sent < request.size();) {
        ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += std::size_t(n);
    }
    // No half-close: the library takes a peer that has shut down as gone.
    std::string reply;
    char buf[8192];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        reply.append(buf, std::size_t(n));
    }
    ::close(fd);
    return reply;
}

void checkReply(const Request &req, const std::string &body, const std::string &reply)
{
    if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || reply.size() < 12)
        fail("no HTTP reply: " + reply.substr(0, 200));
    const int status = std::atoi(reply.c_str() + 9);
    const std::size_t headEnd = reply.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        fail("reply without end of headers");
    const std::string content = reply.substr(headEnd + 4);

    const int expected = req.crossSite() ? 403 : 200;
    if (status != expected)
        fail("status " + std::to_string(status) + ", expected " + std::to_string(expected) + ": " + content);

    const auto j = nlohmann::json::parse(content, nullptr, false);
    if (!j.is_object() || j.size() != 3 || !j.contains("code") || !j["code"].is_number_integer() ||
        !j.contains("msg") || !j["msg"].is_string() || !j.contains("data") ||
        !(j["data"].is_array() || (req.endpoint() == TtsReading && j["data"].is_object())))
        fail("not a reply envelope: " + content);
    const int code = j["code"].get<int>();
    const std::string msg = j["msg"].get<std::string>();
    static const bool verbose = std::getenv("LUMO_FUZZ_VERBOSE") != nullptr;  // to see what seeds reach
    if (verbose)
        std::fprintf(stderr, "%d %d %s\n", status, code, msg.c_str());
    if (code != 0 && code != 1)
        fail("unexpected code: " + content);
    // The exception handler's message: a handler met something it did not expect.
    if (msg == "服务内部错误")
        fail("a handler threw: " + content);
    if (status != 200 && code != 0)
        fail("an error status with a success envelope: " + content);

    // A reading is a reading and a phoneme string, and writes nothing.
    if (code == 1 && req.endpoint() == TtsReading) {
        const auto &d = j["data"];
        if (!d.is_object() || !d.contains("reading") || !d["reading"].is_string() || !d.contains("phonemes") ||
            !d["phonemes"].is_string())
            fail("a reading without reading and phonemes: " + content);
        if (!d.contains("sources") || !d["sources"].is_string() ||
            d["sources"].get<std::string>().find_first_not_of("ud") != std::string::npos)
            fail("a reading without its sources: " + content);
    }

    if (code == 1 && req.writesFiles()) {
        // A success names files that now exist inside the audio folder.
        auto form = parseForm(body);
        if (!form)
            fail("success for a body that does not decode");
        const Fixture &f = fixture();
        const fs::path root = fs::canonical(f.sandbox.audio());
        std::vector<fs::path> written;
        if (req.endpoint() == TtsCommunicate) {
            written = {(*form)["write_media"], (*form)["write_subtitles"]};
        } else {
            std::string folder = (*form)["path"];
            written = {fs::path(folder) / "output.mp3", fs::path(folder) / "output.srt"};
        }
        for (const fs::path &p : written) {
            std::error_code ec;
            const fs::path real = fs::canonical(p, ec);
            if (ec || !fs::is_regular_file(real) || !isInside(root, real))
                fail("success, but no file inside the audio folder at " + p.string());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    Fixture &f = fixture();
    const Request req(data[0]);
    const std::string body =
        replaceAll(std::string(reinterpret_cast<const char *>(data) + 1, size - 1), "$W", f.sandbox.work().string());

    const std::string reply = roundTrip(f.port, req.text(body));
    checkReply(req, body, reply);
    f.sandbox.checkOutsideUntouched();
    f.sandbox.restoreAudio();
    return 0;
}
