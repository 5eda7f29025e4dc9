// Helpers for the service's tests: a temporary working folder, the service
// running in-process on a free port, form posts, and an independent look at
// MP3 files through libmpg123.
#pragma once

#include "EspeakEngine.h"
#include "SpeechService.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tavrel::test {

namespace fs = std::filesystem;
using Fields = std::vector<std::pair<std::string, std::string>>;

// A fresh working folder with audio/ and audio/job/, removed afterwards.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    const fs::path &path() const { return m_path; }
    fs::path audio() const { return m_path / "audio"; }
    fs::path job() const { return m_path / "audio" / "job"; }

private:
    fs::path m_path;
};

// Every file below `root` with its size and modification time: two equal
// snapshots mean nothing was written.
std::map<std::string, std::pair<std::uintmax_t, std::int64_t>> snapshot(const fs::path &root);

// The engine is process-wide (espeak-ng is); tests share one.
std::shared_ptr<EspeakEngine> sharedEngine();

// The service on 127.0.0.1:<free port>, serving on a background thread.
class RunningService {
public:
    explicit RunningService(const fs::path &workDir, unsigned threads = 0);
    ~RunningService();
    int port() const { return m_port; }

private:
    std::unique_ptr<SpeechService> m_service;
    std::thread m_thread;
    int m_port = 0;
};

struct Reply {
    int status = 0;  // HTTP status, 0 when the request failed in transport
    nlohmann::json body;
    std::string raw;
    int code() const { return body.is_object() && body.contains("code") ? body["code"].get<int>() : -1; }
    std::string msg() const { return body.is_object() && body.contains("msg") ? body["msg"].get<std::string>() : ""; }
};

std::string formEncode(const Fields &fields);
Reply postForm(int port, const std::string &endpoint, const Fields &fields,
               const std::multimap<std::string, std::string> &headers = {});
Reply postRaw(int port, const std::string &endpoint, const std::string &body,
              const std::string &contentType);
Reply getJson(int port, const std::string &endpoint,
              const std::multimap<std::string, std::string> &headers = {});

// A ttsCommunicate request writing <dir>/<name>.mp3 and .srt.
Fields renderFields(const std::string &text, const std::string &voice, const fs::path &dir,
                    const std::string &name, const std::string &rates = "+0%",
                    const std::string &volumes = "+0%");

// Decoded with libmpg123 at the file's own format.
struct DecodedMp3 {
    bool ok = false;
    long rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;  // interleaved
    double seconds() const { return rate && channels ? double(samples.size()) / channels / rate : 0; }
};
DecodedMp3 decodeMp3(const fs::path &file);

double rms(const std::vector<std::int16_t> &s, std::size_t from = 0, std::size_t to = SIZE_MAX);

// Starts of speech in a mono signal: ends of silent stretches of at least
// `minGapMs`, plus the first sound; in milliseconds.
std::vector<double> speechOnsets(const DecodedMp3 &audio, int minGapMs = 80);

std::string readFile(const fs::path &p);
void writeFile(const fs::path &p, const std::string &data);

}  // namespace tavrel::test
