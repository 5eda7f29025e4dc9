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

// Plain narrative prose; segments are made by walking through it with
// different strides so that no two segments are the same.
const char *kChinese[] = {
    "清晨的阳光透过窗户洒进房间，小林揉了揉眼睛，慢慢地坐了起来。",
    "他想起今天要去图书馆还书，顺便借几本关于天文学的新书。",
    "街道两旁的梧桐树已经发出了嫩绿的新芽，空气里带着泥土的清香。",
    "公交车站前排着长长的队伍，人们一边等车一边低头看着手机。",
    "一位老奶奶提着一篮新鲜的蔬菜，笑着和身边的邻居打招呼。",
    "图书馆的大门刚刚打开，管理员正在整理昨天归还的书籍。",
    "小林把书放在还书台上，然后走向二楼的自然科学阅览室。",
    "书架上摆满了各种各样的书，从宇宙的起源到星系的演化应有尽有。",
    "他拿起一本厚厚的星图，翻开第一页，看到了熟悉的猎户座。",
    "小时候，爷爷常常在夏天的夜晚带他到院子里数星星。",
    "爷爷说，每一颗星星都有自己的故事，只要耐心倾听就能听见。",
    "后来他才知道，那些星光有的已经在太空中旅行了几千年。",
    "科学家们用巨大的望远镜观察遥远的星系，试图理解宇宙的过去。",
    "有人说，研究星空其实就是在研究我们自己从哪里来。",
    "中午的时候，阅览室里的人渐渐多了起来，却依然十分安静。",
    "窗外传来几声鸟鸣，一只麻雀落在窗台上，歪着头向里张望。",
    "小林合上书，在笔记本上写下了几个想要进一步了解的问题。",
    "为什么恒星会发光，黑洞又是怎样形成的，宇宙会不会有尽头。",
    "他决定下个周末去城郊的天文台参加一次公开的观星活动。",
    "回家的路上，他顺路去面包店买了一个刚出炉的红豆面包。",
    "面包店的老板是一位和蔼的中年人，总是记得每位老顾客的口味。",
    "傍晚时分，天边的云彩被夕阳染成了橙红色，美得让人停下脚步。",
    "河边的小路上，有人在散步，有人在跑步，还有孩子在放风筝。",
    "小林坐在长椅上，看着风筝越飞越高，心里感到格外平静。",
    "他想，生活中的美好也许就藏在这些平凡而细小的瞬间里。",
    "夜幕降临，城市的灯光一盏接一盏地亮了起来，像地上的星河。",
    "吃过晚饭，他打开台灯，继续阅读那本关于星系的书。",
    "书中写道，我们的银河系中大约有一千亿到四千亿颗恒星。",
    "而在可观测的宇宙里，像银河系这样的星系还有数千亿个。",
    "读到这里，他不禁感叹人类的渺小，也感叹人类好奇心的伟大。",
    "深夜，窗外下起了小雨，雨点轻轻地敲打着玻璃，发出细碎的声响。",
    "他关上台灯，躺在床上，想象着自己正乘着飞船穿越星海。",
};

const char *kEnglish[] = {
    "The morning train was late again, so everyone on the platform had time to talk.",
    "She opened the old notebook and found a map drawn by her grandfather many years ago.",
    "Scientists believe that the first stars formed a few hundred million years after the big bang.",
    "The library will be closed on Monday, but the reading room upstairs stays open until nine.",
    "He planted tomatoes, beans and a row of sunflowers along the fence behind the house.",
    "When the storm finally passed, the whole valley smelled of wet grass and pine needles.",
    "Please remember to switch off the lights and lock the back door before you leave.",
    "The museum's new exhibition explains how ancient sailors navigated by the stars.",
};

constexpr int kChineseSegments = 110;
constexpr int kEnglishSegments = 20;
const char *kZhVoices[] = {"zh-CN-XiaoxiaoNeural", "zh-CN-YunxiNeural", "zh-CN-XiaoyiNeural", "zh-CN-YunjianNeural"};
const char *kEnVoices[] = {"en-US-Female1", "en-US-Male1", "en-GB-Female2", "en-GB-Male2"};

struct Segment {
    std::string text;
    std::string voice;
};

std::vector<Segment> buildScript(std::size_t &chineseChars)
{
    const int nZh = sizeof kChinese / sizeof *kChinese;
    const int nEn = sizeof kEnglish / sizeof *kEnglish;
    std::vector<Segment> script;
    chineseChars = 0;
    int en = 0;
    for (int i = 0; i < kChineseSegments; ++i) {
        Segment s;
        // Two sentences per segment, chosen with different strides.
        s.text = std::string(kChinese[i % nZh]) + kChinese[(i * 7 + 3) % nZh];
        s.voice = kZhVoices[i % 4];
        for (unsigned char c : s.text)
            chineseChars += (c & 0xC0) != 0x80 && c >= 0x80;  // lead bytes of multi-byte characters
        script.push_back(s);
        if (i % 6 == 5 && en < kEnglishSegments) {
            script.push_back({std::string(kEnglish[en % nEn]) + " " + kEnglish[(en * 3 + 1) % nEn], kEnVoices[en % 4]});
            ++en;
        }
    }
    for (; en < kEnglishSegments; ++en)
        script.push_back({std::string(kEnglish[en % nEn]) + " " + kEnglish[(en * 3 + 1) % nEn], kEnVoices[en % 4]});
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

double runNaive(const std::vector<Segment> &script, const fs::path &root, const std::string &lameOptions)
{
    fs::create_directories(root);
    const fs::path text = root / "script.txt";
    {
        std::ofstream out(text);
        for (const auto &s : script)
            out << s.text << "\n";
    }
    // Same output format as the service: 22.05 kHz mono, CBR 48 kbps.
    const std::string cmd = "espeak-ng -v cmn -f '" + text.string() + "' --stdout | lame --quiet -m m -b 48 --resample 22.05 " +
                            lameOptions + " - '" +
                            (root / "naive.mp3").string() + "'";
    const auto t0 = Clock::now();
    const int rc = std::system(cmd.c_str());
    const auto t1 = Clock::now();
    if (rc != 0) {
        std::cerr << "naive pipeline failed (are espeak-ng and lame installed? tools/install-deps.sh)\n";
        std::exit(1);
    }
    return seconds(t0, t1);
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

    OurRun best;
    double naive = 1e9, naiveFast = 1e9;
    for (int round = 0; round < 2; ++round) {
        // The pipeline as one would type it (LAME's default quality), and the
        // same with the service's encoder quality, which isolates what the
        // service's design gains from what its encoder setting gains.
        naive = std::min(naive, runNaive(script, root / ("naive" + std::to_string(round)), ""));
        naiveFast = std::min(naiveFast, runNaive(script, root / ("naivef" + std::to_string(round)), "-q 7"));
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
    std::printf("audio: %.1f min of speech; render %.2f s, join %.3f s, service CPU %.2f s\n",
                best.audioSeconds / 60, best.render, best.join, best.cpu);
    std::printf("%-30s %12s %12s %8s %10s\n", "figure", "ours", "baseline", "ratio", "target");
    std::printf("%-30s %12.2f %12.2f %8.2f %10s\n", "total wall time (s)", total, naive, total / naive, "<= 0.70");
    std::printf("%-30s %12.2f %12.2f %8.2f %10s\n", "  same, baseline also -q 7", total, naiveFast, total / naiveFast,
                "(info)");
    std::printf("%-30s %11.1f%% %12s %8s %10s\n", "join share of total", share * 100, "-", "-", "<= 10%");
    std::printf("%-30s %12.1f %12s %8s %10s\n", "service peak memory (MB)", peakMb, "-", "-", "<= 150");
    const bool ok = total / naive <= 0.70 && share <= 0.10 && peakMb <= 150;
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    return ok ? 0 : 1;
}
