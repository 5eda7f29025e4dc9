// Sayora_server_Tavrel: the local speech service of Sayora_Lumo.
// Started by the program with no arguments from its working folder; listens
// on 127.0.0.1:5000 and writes only below <working folder>/audio/.
#include "EspeakEngine.h"
#include "NeuralEngine.h"
#include "NeuralVoices.h"
#include "SpeechService.h"

#include "ServiceContract.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <thread>

#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void usage()
{
    std::cerr << "usage: Sayora_server_Tavrel [--port N] [--threads N] [--parent-pid N]\n"
                 "  --port N        listen on 127.0.0.1:N instead of 5000 (0: any free port,\n"
                 "                  printed as \"listening on 127.0.0.1:N\")\n"
                 "  --threads N     request workers (default: one per core)\n"
                 "  --parent-pid N  end as soon as process N, which started this one, ends\n"
                 "exit codes: 0 stopped, 1 failed, 2 usage, 3 the port is held by another process\n";
}

bool parseNumber(const char *s, long min, long max, long &out)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno || !end || *end || end == s || v < min || v > max)
        return false;
    out = v;
    return true;
}

// Hundreds of simultaneous connections need more descriptors than the usual
// soft limit of 1024; take what the hard limit allows.
void raiseFileLimit()
{
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
}

// The service must never outlive the program that started it: a program that
// is killed (or crashes, or the session ends) leaves no service behind on its
// port to block the next start. The kernel sends the signal when the parent
// ends; if it has already ended, the service was orphaned before it could ask.
// The signal follows the thread that started the service, so the program
// starts it from its main thread.
bool endWithParent(pid_t parent)
{
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        return false;
    return getppid() == parent;
}

}  // namespace

int main(int argc, char **argv)
{
    // A child the service starts to try a neural model before loading it.
    if (argc == 5 && std::strcmp(argv[1], tavrel::neural::kProbeOption) == 0)
        return tavrel::neural::probeModel(argv[2], argv[3], argv[4]);

    tavrel::ServiceConfig config;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long value = 0;
        if (arg == "--port" && i + 1 < argc && parseNumber(argv[i + 1], 0, 65535, value)) {
            config.port = static_cast<int>(value);
            ++i;
        } else if (arg == "--threads" && i + 1 < argc && parseNumber(argv[i + 1], 1, 256, value)) {
            config.threads = static_cast<unsigned>(value);
            ++i;
        } else if (arg == contract::process::parentPidOption && i + 1 < argc &&
                   parseNumber(argv[i + 1], 1, std::numeric_limits<pid_t>::max(), value)) {
            if (!endWithParent(static_cast<pid_t>(value)))
                return 0;  // the program is gone already: nobody to serve
            ++i;
        } else {
            usage();
            return 2;
        }
    }

    std::error_code ec;
    config.workDir = std::filesystem::current_path(ec);
    if (ec) {
        std::cerr << "Sayora_server_Tavrel: cannot read the working folder: " << ec.message() << "\n";
        return 1;
    }

    // The reading data lives beside the executable, wherever the working
    // folder is.
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && std::filesystem::exists(self.parent_path() / "mandarin.lex", ec))
        config.dataDir = self.parent_path();

    std::signal(SIGPIPE, SIG_IGN);
    raiseFileLimit();

    // Stop cleanly on Ctrl+C or a terminate request: the signals are taken by
    // one waiting thread, never by a worker in the middle of a request.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto engine = std::make_shared<tavrel::EspeakEngine>();
    if (!engine->isReady()) {
        std::cerr << "Sayora_server_Tavrel: espeak-ng could not start (is espeak-ng-data installed?)\n";
        return 1;
    }

    // Neural voices join when models/ holds a model and the runtime lies
    // beside the service; otherwise espeak-ng serves alone, as always.
    const tavrel::neural::NeuralStartup neural =
        tavrel::neural::startNeuralVoices(engine, config.workDir, self.parent_path(), self, std::cerr);

    for (const auto &skipped : neural.catalog.skipped)
        config.skippedModelFolders.emplace_back(skipped.folder, skipped.reason);
    tavrel::SpeechService service(config, neural.engine);
    std::string error;
    if (!service.bind(error)) {
        std::cerr << "Sayora_server_Tavrel: " << error << "\n"
                  << "Sayora_server_Tavrel: 端口 " << config.port << " 无法使用，语音服务未启动\n";
        return service.portTaken() ? contract::process::exitPortTaken : 1;
    }
    std::cout << "listening on " << config.host << ":" << service.port() << std::endl;

    std::thread waiter([&service, stopSignals] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        service.stop();
    });

    // Speakers whose gender nobody names are estimated once, in the
    // background, and kept in their model's folder for the next start.
    std::atomic<bool> stopping{false};
    std::thread genders;
    if (neural.neural)
        genders = std::thread([&neural, &stopping] { neural.neural->estimateGenders(std::cerr, &stopping); });

    const bool ok = service.listen();
    stopping = true;
    if (genders.joinable())
        genders.join();
    // listen() also returns when the pool fails; wake the waiter either way.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return ok ? 0 : 1;
}
