// What every benchmark needs: a script to render, the speech service as a
// child process, the naive espeak-ng | lame pipeline as baseline, process
// figures from /proc, and the table every benchmark prints.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to);

// Plain narrative prose, Chinese with English passages. No two passages are
// the same, so nothing in one script can be served twice.
struct Passage {
    std::string text;
    int speaker = 0;  // 0..3, in turn
    bool english = false;
};
std::vector<Passage> buildPassages(int count);

// The service in its own process, started in `workDir`.
struct ServiceProcess {
    pid_t pid = -1;
    int port = 0;  // from its "listening on host:port" line
    bool running() const { return pid > 0 && port > 0; }
};
ServiceProcess startService(const std::string &binary, const fs::path &workDir,
                            const std::vector<std::string> &args = {});
void stopService(ServiceProcess &service);

long peakRssKb(pid_t pid = 0);     // VmHWM; 0: this process
double cpuSeconds(pid_t pid = 0);  // user + system; 0: this process

// "espeak-ng -v cmn -f <text> --stdout | lame …" in the service's own output
// format (sample rate, mono, CBR bitrate). `lameQuality` < 0 leaves LAME's
// default, as one would type it.
struct NaiveRun {
    bool ok = false;
    double wall = 0;
    double cpu = 0;  // of every process of the pipeline
};
NaiveRun runNaive(const fs::path &textFile, const fs::path &mp3, int lameQuality);
int serviceLameQuality();

struct Row {
    std::string figure;
    double ours = 0;
    double baseline = 0;   // <= 0: none
    std::string target;    // as printed
    bool met = true;
    bool ratio = true;     // print ours / baseline
};
void printTable(const std::vector<Row> &rows);

}  // namespace bench
