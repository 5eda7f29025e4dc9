// What placing a subtitle track on its timeline costs in the service: 900
// cues of 4 s each over one hour, placed by audioTimeline, against a plain
// audioCombined join of the same segment files (no pause) in the same run.
// Best of five each, taken in turn so that both see the same file cache.
// The segments are rendered first through the service as the program would;
// that is set-up here, not measured (their texts repeat, and the service's
// cache keeps the set-up short).
#include "BenchCommon.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCues = 900;
constexpr int kSlotMs = 4000;
constexpr int kRounds = 5;
const char *kZhVoices[] = {"zh-CN-XiaoxiaoNeural", "zh-CN-YunxiNeural", "zh-CN-XiaoyiNeural", "zh-CN-YunjianNeural"};
const char *kEnVoices[] = {"en-US-Female1", "en-US-Male1", "en-GB-Female2", "en-GB-Male2"};

struct Segment {
    std::string text;
    std::string voice;
};

// A subtitle's worth of each passage: its first clause (Chinese, to the
// first "，", ten characters at most) or its first six words (English),
// about three seconds.
std::vector<Segment> buildCues()
{
    std::vector<Segment> cues;
    for (const bench::Passage &p : bench::buildPassages(kCues)) {
        std::string text = p.text;
        if (p.english) {
            std::size_t at = 0;
            for (int words = 0; words < 6 && at != std::string::npos; ++words)
                at = text.find(' ', at + 1);
            if (at != std::string::npos)
                text = text.substr(0, at) + ".";
        } else {
            // Ten characters at most (three bytes each): what a voice says
            // in a four-second slot.
            const std::size_t comma = text.find("，");
            text = text.substr(0, std::min<std::size_t>(comma, 30)) + "，";
        }
        cues.push_back({text, p.english ? kEnVoices[p.speaker] : kZhVoices[p.speaker]});
    }
    return cues;
}

std::string formEncode(const std::vector<std::pair<std::string, std::string>> &fields)
{
    static const char *hex = "0123456789ABCDEF";
    std::string body;
    for (const auto &[k, v] : fields) {
        if (!body.empty())
            body += '&';
        body += k + "=";
        for (unsigned char c : v) {
            if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '/')
                body += static_cast<char>(c);
            else {
                body += '%';
                body += hex[c >> 4];
                body += hex[c & 15];
            }
        }
    }
    return body;
}

// The reply body on success, empty otherwise.
std::string post(int port, const std::string &path, const std::vector<std::pair<std::string, std::string>> &fields)
{
    httplib::Client cli("127.0.0.1", port);
    cli.set_read_timeout(600, 0);
    cli.set_connection_timeout(60, 0);
    auto res = cli.Post(path.c_str(), formEncode(fields), "application/x-www-form-urlencoded");
    if (!res || res->status != 200 || res->body.find("\"code\":1") == std::string::npos) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), res ? res->body.c_str() : "transport error");
        return {};
    }
    return res->body;
}

// How many cues the reply says moved, and the largest shift.
std::pair<std::size_t, long> moves(const std::string &reply)
{
    const std::string key = "\"shiftMs\":";
    std::size_t n = 0;
    long largest = 0;
    for (std::size_t at = reply.find(key); at != std::string::npos; at = reply.find(key, at + 1)) {
        ++n;
        largest = std::max(largest, std::atol(reply.c_str() + at + key.size()));
    }
    return {n, largest};
}

}  // namespace

int main()
{
    char tmpl[] = "/tmp/tavrel-bench-timeline-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const fs::path root = tmpl;
    const fs::path job = root / "audio" / "job";
    fs::create_directories(job);
    bench::ServiceProcess svc = bench::startService(TAVREL_SERVER_BIN, root, {"--port", "0"});
    if (!svc.running()) {
        std::cerr << "service did not start\n";
        return 1;
    }

    const std::vector<Segment> cues = buildCues();
    std::atomic<int> next{0}, failed{0};
    std::vector<std::thread> clients;
    const auto r0 = Clock::now();
    for (int t = 0; t < 8; ++t)
        clients.emplace_back([&] {
            for (int i = next++; i < kCues; i = next++) {
                const std::string base = (job / std::to_string(i + 1)).string();
                if (post(svc.port, "/ttsCommunicate",
                         {{"text", cues[i].text}, {"voice", cues[i].voice}, {"rates", "+0%"}, {"volumes", "+0%"},
                          {"write_media", base + ".mp3"}, {"write_subtitles", base + ".srt"}})
                        .empty())
                    ++failed;
            }
        });
    for (auto &c : clients)
        c.join();
    const double renderSeconds = bench::seconds(r0, Clock::now());
    if (failed) {
        std::fprintf(stderr, "%d renders failed\n", failed.load());
        return 1;
    }

    std::string audio, starts;
    for (int i = 0; i < kCues; ++i) {
        audio += (job / (std::to_string(i + 1) + ".mp3")).string() + "?";
        starts += (i ? "," : "") + std::to_string(i * kSlotMs);
    }
    const std::string folder = job.string() + "/";
    const std::string end = std::to_string(kCues * kSlotMs);

    double join = 1e9, place = 1e9, placeWav = 1e9;
    std::pair<std::size_t, long> moved;
    for (int round = 0; round < kRounds; ++round) {
        auto t0 = Clock::now();
        if (post(svc.port, "/audioCombined", {{"audio", audio}, {"path", folder}, {"dura", "0"}}).empty())
            return 1;
        auto t1 = Clock::now();
        const std::string reply =
            post(svc.port, "/audioTimeline", {{"audio", audio}, {"starts", starts}, {"path", folder}, {"end", end}});
        if (reply.empty())
            return 1;
        auto t2 = Clock::now();
        if (post(svc.port, "/audioTimeline",
                 {{"audio", audio}, {"starts", starts}, {"path", folder}, {"end", end}, {"wav", "1"}})
                .empty())
            return 1;
        auto t3 = Clock::now();
        join = std::min(join, bench::seconds(t0, t1));
        place = std::min(place, bench::seconds(t1, t2));
        placeWav = std::min(placeWav, bench::seconds(t2, t3));
        moved = moves(reply);
    }
    std::error_code ec;
    const double outputMinutes = double(fs::file_size(job / "output.mp3", ec)) * 8 / 48000.0 / 60;
    const long peakKb = bench::peakRssKb(svc.pid);
    bench::stopService(svc);
    fs::remove_all(root, ec);

    std::printf("%d cues of %d ms, %.1f min of output; %zu cues had to move, by %ld ms at most; "
                "segments rendered in %.1f s (set-up)\n",
                kCues, kSlotMs, outputMinutes, moved.first, moved.second, renderSeconds);
    const std::vector<bench::Row> rows = {
        {"timeline placement of 900 cues (s)", place, join, "(info)", true},
        {"  with output.wav (s)", placeWav, join, "(info)", true},
        {"plain join of the same segments (s)", join, 0, "", true},
        {"service peak memory (MB)", peakKb / 1024.0, 0, "<= 150", peakKb / 1024.0 <= 150},
    };
    bench::printTable(rows);
    std::printf("placement against the render of its text: see bench_subtitle_render\n");
    bool ok = true;
    for (const auto &r : rows)
        ok = ok && r.met;
    return ok ? 0 : 1;
}
