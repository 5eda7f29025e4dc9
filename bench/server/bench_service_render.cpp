// Renders a long multi-voice script through Sayora_server_Tavrel the way the
// program does (one connection per segment, all at once), joins it, and
// compares with the naive pipeline "espeak-ng -v cmn … --stdout | lame …"
// run on the same text in the same run. Best of two runs each.
#include "BenchCommon.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSegments = 130;
const char *kZhVoices[] = {"zh-CN-XiaoxiaoNeural", "zh-CN-YunxiNeural", "zh-CN-XiaoyiNeural", "zh-CN-YunjianNeural"};
const char *kEnVoices[] = {"en-US-Female1", "en-US-Male1", "en-GB-Female2", "en-GB-Male2"};

struct Segment {
    std::string text;
    std::string voice;
};

// The shared script, no two segments alike: the service keeps what it
// rendered, and a repeated segment would be served from memory instead of
// measured. English passages go to English voices.
std::vector<Segment> buildScript(std::size_t &chineseChars)
{
    std::vector<Segment> script;
    chineseChars = 0;
    for (const bench::Passage &p : bench::buildPassages(kSegments)) {
        script.push_back({p.text, p.english ? kEnVoices[p.speaker] : kZhVoices[p.speaker]});
        for (unsigned char c : p.text)
            chineseChars += (c & 0xC0) != 0x80 && c >= 0x80;  // lead bytes of multi-byte characters
    }
    return script;
}

using bench::cpuSeconds;
using bench::peakRssKb;
using bench::seconds;

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

int post(int port, const std::string &path, const std::vector<std::pair<std::string, std::string>> &fields)
{
    httplib::Client cli("127.0.0.1", port);
    cli.set_read_timeout(600, 0);
    cli.set_connection_timeout(60, 0);
    auto res = cli.Post(path.c_str(), formEncode(fields), "application/x-www-form-urlencoded");
    if (!res || res->status != 200) {
        std::fprintf(stderr, "%s: transport error %d\n", path.c_str(), res ? res->status : static_cast<int>(res.error()));
        return -1;
    }
    if (res->body.find("\"code\":1") == std::string::npos) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), res->body.c_str());
        return 0;
    }
    return 1;
}

struct OurRun {
    double render = 0, join = 0;
    int failed = 0;
    long peakKb = 0;
    double audioSeconds = 0;
    double cpu = 0;
};

OurRun runOurs(const std::vector<Segment> &script, const fs::path &root)
{
    OurRun run;
    const fs::path job = root / "audio" / "job";
    fs::create_directories(job);
    bench::ServiceProcess svc = bench::startService(TAVREL_SERVER_BIN, root, {"--port", "0"});
    if (svc.port <= 0) {
        std::cerr << "service did not start\n";
        std::exit(1);
    }

    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < script.size(); ++i) {
        threads.emplace_back([&, i] {
            const std::string base = (job / std::to_string(i + 1)).string();
            if (post(svc.port, "/ttsCommunicate",
                     {{"text", script[i].text}, {"voice", script[i].voice}, {"rates", "+0%"}, {"volumes", "+0%"},
                      {"write_media", base + ".mp3"}, {"write_subtitles", base + ".srt"}}) != 1)
                ++failed;
        });
    }
    for (auto &t : threads)
        t.join();
    const auto t1 = Clock::now();
    std::string list;
    for (std::size_t i = 0; i < script.size(); ++i)
        list += (job / (std::to_string(i + 1) + ".mp3")).string() + "?";
    if (post(svc.port, "/audioCombined", {{"audio", list}, {"path", job.string() + "/"}, {"dura", "300"}}) != 1)
        ++failed;
    const auto t2 = Clock::now();

    run.render = seconds(t0, t1);
    run.join = seconds(t1, t2);
    run.failed = failed;
    run.peakKb = peakRssKb(svc.pid);
    run.cpu = cpuSeconds(svc.pid);
    // 48 kbps CBR: the length follows from the size.
    std::error_code ec;
    run.audioSeconds = double(fs::file_size(job / "output.mp3", ec)) * 8 / 48000.0;
    kill(svc.pid, SIGTERM);
    waitpid(svc.pid, nullptr, 0);
    return run;
}

void writeNaiveText(const std::vector<Segment> &script, const fs::path &file)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file);
    for (const auto &s : script)
        out << s.text << "\n";
}

}  // namespace

int main()
{
    std::size_t chineseChars = 0;
    const auto script = buildScript(chineseChars);
    char tmpl[] = "/tmp/tavrel-bench-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const fs::path root = tmpl;

    std::printf("script: %zu segments, %zu Chinese characters plus English passages, all sent at once\n",
                script.size(), chineseChars);

    const fs::path naiveText = root / "naive" / "script.txt";
    writeNaiveText(script, naiveText);

    OurRun best;
    bench::NaiveRun typed, matched;
    auto keepFaster = [](bench::NaiveRun &kept, const bench::NaiveRun &run) {
        if (!run.ok) {
            std::fprintf(stderr, "naive pipeline failed (are espeak-ng and lame installed? tools/install-deps.sh)\n");
            std::exit(1);
        }
        if (!kept.ok || run.wall < kept.wall)
            kept = run;
    };
    for (int round = 0; round < 2; ++round) {
        // The pipeline as one would type it (LAME's default quality), and the
        // same at the service's encoder quality, which separates what the
        // service's design gains from what its encoder setting gains.
        keepFaster(typed, bench::runNaive(naiveText, root / "naive" / "typed.mp3", -1));
        keepFaster(matched, bench::runNaive(naiveText, root / "naive" / "matched.mp3", bench::serviceLameQuality()));
        OurRun r = runOurs(script, root / ("ours" + std::to_string(round)));
        if (r.failed) {
            std::fprintf(stderr, "%d requests failed\n", r.failed);
            return 1;
        }
        if (round == 0 || r.render + r.join < best.render + best.join)
            best = r;
        best.peakKb = std::max(best.peakKb, r.peakKb);
    }
    std::error_code ec;
    fs::remove_all(root, ec);

    const double total = best.render + best.join;
    const double share = best.join / total;
    const double peakMb = best.peakKb / 1024.0;
    std::printf("audio: %.1f min of speech; render %.2f s, join %.3f s, service CPU %.2f s; "
                "naive CPU %.2f s (typed), %.2f s (matched)\n",
                best.audioSeconds / 60, best.render, best.join, best.cpu, typed.cpu, matched.cpu);
    const std::vector<bench::Row> rows = {
        {"total wall time (s)", total, typed.wall, "<= 0.70", total / typed.wall <= 0.70},
        {"  baseline at the service's LAME quality", total, matched.wall, "(info)", true},
        {"join share of total (%)", share * 100, 0, "<= 10", share <= 0.10},
        {"service peak memory (MB)", peakMb, 0, "<= 150", peakMb <= 150},
    };
    bench::printTable(rows);
    bool ok = true;
    for (const auto &r : rows)
        ok = ok && r.met;
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    return ok ? 0 : 1;
}
