#include "NeuralVoices.h"

#include "CombinedEngine.h"
#include "NeuralEngine.h"
#include "SherpaRuntime.h"

#include <ostream>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace tavrel::neural {

namespace {

constexpr const char *kTag = "Sayora_server_Tavrel: ";

// Loads the model in a child process first: the runtime ends the process
// (exit or abort) on some malformed files, and a user's folder must never take
// the service down with it.
NeuralEngine::LoadProbe childProbe(const std::filesystem::path &self, const std::filesystem::path &libDir)
{
    return [self, libDir](const NeuralModel &m, std::string &why) {
        const std::string exe = self.string(), option = kProbeOption, models = m.dir.parent_path().string(),
                          folder = m.folder, lib = libDir.string();
        char *argv[] = {const_cast<char *>(exe.c_str()), const_cast<char *>(option.c_str()),
                        const_cast<char *>(models.c_str()), const_cast<char *>(folder.c_str()),
                        const_cast<char *>(lib.c_str()), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, environ) != 0) {
            why = "无法启动检查进程";
            return false;
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0)
            if (errno != EINTR) {
                why = "检查进程丢失";
                return false;
            }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return true;
        why = WIFSIGNALED(status) ? "运行库在加载时崩溃（信号 " + std::to_string(WTERMSIG(status)) + "）"
                                  : "运行库拒绝了它（退出码 " + std::to_string(WEXITSTATUS(status)) + "）";
        return false;
    };
}

}  // namespace

NeuralStartup startNeuralVoices(std::shared_ptr<SpeechEngine> espeak, const std::filesystem::path &workDir,
                                const std::filesystem::path &libDir, const std::filesystem::path &self,
                                std::ostream &log)
{
    NeuralStartup out;
    out.engine = espeak;
    const std::filesystem::path modelsDir = workDir / "models";
    if (!hasModelFolders(modelsDir)) {
        out.offReason = "工作文件夹的 models/ 中没有模型";
        log << kTag << "没有神经语音：" << out.offReason << "\n";
        return out;
    }
    out.catalog = scanModels(modelsDir);
    for (const SkippedFolder &s : out.catalog.skipped)
        log << kTag << "跳过模型文件夹 models/" << s.folder << "：" << s.reason << "\n";
    for (const NeuralModel &m : out.catalog.models)
        for (const std::string &w : m.warnings)
            log << kTag << "models/" << m.folder << "/" << w << "\n";
    if (out.catalog.models.empty()) {
        out.offReason = "models/ 中没有可用的模型";
        log << kTag << "没有神经语音：" << out.offReason << "\n";
        return out;
    }
    std::string why;
    std::shared_ptr<SherpaRuntime> runtime = SherpaRuntime::open(libDir, why);
    if (!runtime) {
        out.offReason = why;
        log << kTag << "没有神经语音：" << why << "\n";
        return out;
    }
    auto neural = std::make_shared<NeuralEngine>(runtime, out.catalog.models,
                                                 self.empty() ? NeuralEngine::LoadProbe{} : childProbe(self, libDir));
    out.neural = neural;
    out.engine = std::make_shared<CombinedEngine>(std::move(espeak), std::move(neural));
    return out;
}

int probeModel(const std::filesystem::path &modelsDir, const std::string &folder, const std::filesystem::path &libDir)
{
    std::string why;
    std::shared_ptr<SherpaRuntime> runtime = SherpaRuntime::open(libDir, why);
    if (!runtime)
        return 2;
    ModelCatalog catalog = scanModels(modelsDir);
    for (const NeuralModel &m : catalog.models) {
        if (m.folder != folder || m.voices.empty())
            continue;
        NeuralEngine engine(runtime, {m});
        return engine.load(m.voices.front().name, why) ? 0 : 1;
    }
    return 3;
}

}  // namespace tavrel::neural
