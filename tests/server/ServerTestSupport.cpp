#include "ServerTestSupport.h"

#include <httplib.h>
#include <mpg123.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavrel::test {

TempWorkDir::TempWorkDir()
{
    std::string tmpl = (fs::temp_directory_path() / "tavrel-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = fs::canonical(tmpl);
    fs::create_directories(job());
}

TempWorkDir::~TempWorkDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::map<std::string, std::pair<std::uintmax_t, std::int64_t>> snapshot(const fs::path &root)
{
    std::map<std::string, std::pair<std::uintmax_t, std::int64_t>> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const auto &e = *it;
        std::uintmax_t size = e.is_regular_file(ec) ? e.file_size(ec) : 0;
        auto t = fs::last_write_time(e.path(), ec).time_since_epoch().count();
        out[e.path().string()] = {size, static_cast<std::int64_t>(t)};
    }
    return out;
}

std::shared_ptr<EspeakEngine> sharedEngine()
{
    static std::shared_ptr<EspeakEngine> engine = std::make_shared<EspeakEngine>();
    return engine;
}

RunningService::RunningService(const fs::path &workDir, unsigned threads)
{
    ServiceConfig config;
    config.port = 0;
    config.workDir = workDir;
    config.threads = threads;
    m_service = std::make_unique<SpeechService>(config, sharedEngine());
    std::string error;
    if (!m_service->bind(error))
        throw std::runtime_error(error);
    m_port = m_service->port();
    m_thread = std::thread([this] { m_service->listen(); });
    // Serving starts on the thread; wait until it answers.
    for (int i = 0; i < 500 && !m_service->isRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

RunningService::~RunningService()
{
    m_service->stop();
    m_thread.join();
}

namespace {

std::string percentEncode(const std::string &s)
{
    static const char *hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

Reply toReply(const httplib::Result &res)
{
    Reply r;
    if (!res)
        return r;
    r.status = res->status;
    r.raw = res->body;
    r.body = nlohmann::json::parse(res->body, nullptr, false);
    return r;
}

httplib::Client client(int port)
{
    httplib::Client cli("127.0.0.1", port);
    cli.set_read_timeout(300, 0);
    cli.set_write_timeout(60, 0);
    cli.set_connection_timeout(60, 0);
    return cli;
}

httplib::Headers toHeaders(const std::multimap<std::string, std::string> &headers)
{
    httplib::Headers h;
    for (const auto &kv : headers)
        h.emplace(kv.first, kv.second);
    return h;
}

}  // namespace

std::string formEncode(const Fields &fields)
{
    std::string body;
    for (const auto &[k, v] : fields) {
        if (!body.empty())
            body += '&';
        body += percentEncode(k) + "=" + percentEncode(v);
    }
    return body;
}

Reply postForm(int port, const std::string &endpoint, const Fields &fields,
               const std::multimap<std::string, std::string> &headers)
{
    auto cli = client(port);
    return toReply(cli.Post(("/" + endpoint).c_str(), toHeaders(headers), formEncode(fields),
                            "application/x-www-form-urlencoded"));
}

Reply postRaw(int port, const std::string &endpoint, const std::string &body, const std::string &contentType)
{
    auto cli = client(port);
    return toReply(cli.Post(("/" + endpoint).c_str(), body, contentType.c_str()));
}

Reply getJson(int port, const std::string &endpoint, const std::multimap<std::string, std::string> &headers)
{
    auto cli = client(port);
    auto h = toHeaders(headers);
    h.emplace("Content-Type", "application/json");
    return toReply(cli.Get(("/" + endpoint).c_str(), h));
}

Fields renderFields(const std::string &text, const std::string &voice, const fs::path &dir,
                    const std::string &name, const std::string &rates, const std::string &volumes)
{
    return {{"text", text},
            {"voice", voice},
            {"rates", rates},
            {"volumes", volumes},
            {"write_media", (dir / (name + ".mp3")).string()},
            {"write_subtitles", (dir / (name + ".srt")).string()}};
}

DecodedMp3 decodeMp3(const fs::path &file)
{
    DecodedMp3 out;
    mpg123_init();
    int err = 0;
    mpg123_handle *h = mpg123_new(nullptr, &err);
    if (!h)
        return out;
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(h);
    for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(h, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(h, file.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buf(1 << 16);
        for (;;) {
            size_t got = 0;
            int r = mpg123_read(h, buf.data(), buf.size(), &got);
            auto *s = reinterpret_cast<const std::int16_t *>(buf.data());
            out.samples.insert(out.samples.end(), s, s + got / 2);
            if (r == MPG123_NEW_FORMAT || (r == MPG123_OK))
                continue;
            break;
        }
        int enc = 0;
        mpg123_getformat(h, &out.rate, &out.channels, &enc);
        out.ok = !out.samples.empty();
        mpg123_close(h);
    }
    mpg123_delete(h);
    return out;
}

double rms(const std::vector<std::int16_t> &s, std::size_t from, std::size_t to)
{
    to = std::min(to, s.size());
    if (from >= to)
        return 0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

std::vector<double> speechOnsets(const DecodedMp3 &audio, int minGapMs)
{
    std::vector<double> onsets;
    const std::size_t win = static_cast<std::size_t>(audio.rate / 100);  // 10 ms
    int quiet = minGapMs / 10;  // count the start of the file as after a gap
    for (std::size_t i = 0; i + win <= audio.samples.size(); i += win) {
        const bool loud = rms(audio.samples, i, i + win) > 300;
        if (loud && quiet * 10 >= minGapMs)
            onsets.push_back(double(i) * 1000.0 / audio.rate);
        quiet = loud ? 0 : quiet + 1;
    }
    return onsets;
}

std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path &p, const std::string &data)
{
    std::ofstream out(p, std::ios::binary);
    out << data;
}

}  // namespace tavrel::test
