#include "NeuralTestSupport.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace tavrel::test {

std::filesystem::path runtimeDir()
{
    return TAVREL_RUNTIME_DIR;
}

std::filesystem::path serverBinary()
{
    return TAVREL_SERVER_BIN;
}

bool makeModels(const std::filesystem::path &workDir, const std::vector<std::string> &kinds, std::string &why)
{
    std::string cmd = std::string(TAVREL_PYTHON) + " " + TAVREL_MAKE_MODELS + " '" + (workDir / "models").string() + "'";
    for (const auto &k : kinds)
        cmd += " " + k;
    cmd += " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) {
        why = "popen failed";
        return false;
    }
    char buf[512];
    std::string out;
    while (fgets(buf, sizeof buf, p))
        out += buf;
    const int status = pclose(p);
    if (status != 0) {
        why = out;
        return false;
    }
    return true;
}

EngineService::EngineService(const std::filesystem::path &workDir, std::shared_ptr<SpeechEngine> engine)
{
    ServiceConfig config;
    config.port = 0;
    config.workDir = workDir;
    config.renderCacheBytes = 0;  // every render reaches the engine
    m_service = std::make_unique<SpeechService>(config, std::move(engine));
    std::string error;
    if (!m_service->bind(error))
        throw std::runtime_error(error);
    m_port = m_service->port();
    m_thread = std::thread([this] { m_service->listen(); });
    for (int i = 0; i < 500 && !m_service->isRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

EngineService::~EngineService()
{
    m_service->stop();
    m_thread.join();
}

}  // namespace tavrel::test
