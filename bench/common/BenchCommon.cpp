#include "BenchCommon.h"

#include "Mp3Codec.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

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

}  // namespace

double seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

std::vector<Passage> buildPassages(int count)
{
    const int nZh = int(std::size(kChinese));
    const int nEn = int(std::size(kEnglish));
    std::vector<Passage> out;
    int zh = 0, en = 0;
    for (int i = 0; i < count; ++i) {
        Passage p;
        p.speaker = i % 4;
        // Every seventh passage English: two sentences, pairs never repeated.
        if (i % 7 == 6) {
            p.english = true;
            p.text = std::string(kEnglish[en % nEn]) + " " + kEnglish[(en % nEn + 1 + en / nEn) % nEn];
            ++en;
        } else {
            // A Chinese sentence and the one a growing stride after it: all
            // pairs differ for fewer than 32 × 31 passages.
            const int a = zh % nZh;
            p.text = std::string(kChinese[a]) + kChinese[(a + 1 + zh / nZh) % nZh];
            ++zh;
        }
        out.push_back(std::move(p));
    }
    return out;
}

ServiceProcess startService(const std::string &binary, const fs::path &workDir, const std::vector<std::string> &args)
{
    ServiceProcess s;
    int out[2];
    if (pipe(out) != 0)
        return s;
    s.pid = fork();
    if (s.pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        if (chdir(workDir.c_str()) != 0)
            _exit(126);
        std::vector<char *> argv{const_cast<char *>(binary.c_str())};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    const auto colon = line.rfind(':');
    if (line.rfind("listening on", 0) == 0 && colon != std::string::npos)
        s.port = std::atoi(line.c_str() + colon + 1);
    if (s.port <= 0 && s.pid > 0) {
        waitpid(s.pid, nullptr, 0);
        s.pid = -1;
    }
    return s;
}

void stopService(ServiceProcess &service)
{
    if (service.pid > 0) {
        kill(service.pid, SIGTERM);
        waitpid(service.pid, nullptr, 0);
    }
    service = ServiceProcess{};
}

long peakRssKb(pid_t pid)
{
    std::ifstream in(pid > 0 ? "/proc/" + std::to_string(pid) + "/status" : std::string("/proc/self/status"));
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            in >> kb;
            return kb;
        }
        in.ignore(1 << 12, '\n');
    }
    return -1;
}

double cpuSeconds(pid_t pid)
{
    std::ifstream in(pid > 0 ? "/proc/" + std::to_string(pid) + "/stat" : std::string("/proc/self/stat"));
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::atof(field.c_str());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

int serviceLameQuality()
{
    return tavrel::mp3::kLameQuality;
}

NaiveRun runNaive(const fs::path &textFile, const fs::path &mp3, int lameQuality)
{
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", tavrel::mp3::kSampleRate / 1000.0);
    std::string cmd = "espeak-ng -v cmn -f '" + textFile.string() + "' --stdout | lame --quiet -m m --cbr -b " +
                      std::to_string(tavrel::mp3::kBitrateKbps) + " --resample " + rate;
    if (lameQuality >= 0)
        cmd += " -q " + std::to_string(lameQuality);
    cmd += " - '" + mp3.string() + "'";

    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const auto t0 = Clock::now();
    const int rc = std::system(cmd.c_str());
    const auto t1 = Clock::now();
    getrusage(RUSAGE_CHILDREN, &after);
    auto secs = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    NaiveRun run;
    run.ok = rc == 0;
    run.wall = seconds(t0, t1);
    run.cpu = secs(after.ru_utime) + secs(after.ru_stime) - secs(before.ru_utime) - secs(before.ru_stime);
    return run;
}

void printTable(const std::vector<Row> &rows)
{
    std::printf("%-40s %10s %10s %8s %10s\n", "figure", "ours", "baseline", "ratio", "target");
    for (const Row &r : rows) {
        char base[32] = "-", ratio[32] = "-";
        if (r.baseline > 0) {
            std::snprintf(base, sizeof base, "%.2f", r.baseline);
            if (r.ratio)
                std::snprintf(ratio, sizeof ratio, "%.2f", r.ours / r.baseline);
        }
        std::printf("%-40s %10.2f %10s %8s %10s%s\n", r.figure.c_str(), r.ours, base, ratio, r.target.c_str(),
                    r.met ? "" : "  MISSED");
    }
}

}  // namespace bench
