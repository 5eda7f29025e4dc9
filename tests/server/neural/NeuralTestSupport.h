// Helpers for the neural engine's tests: models generated at test time in
// the published folder layouts (make_models.py, Debian's python3-onnx), the
// real runtime staged beside the service, and the service in-process with
// the engine the executable would build.
#pragma once

#include "ServerTestSupport.h"
#include "SkipOrFail.h"
#include "SpeechService.h"

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tavrel::test {

// The folder the build stages the runtime's libraries into (beside the service).
std::filesystem::path runtimeDir();
std::filesystem::path serverBinary();

// Writes models of the given kinds (see make_models.py) below <dir>/models;
// false with the tool's output in `why` when python3-onnx is missing.
bool makeModels(const std::filesystem::path &workDir, const std::vector<std::string> &kinds, std::string &why);

// Samples per token at length scale 1, and the sample rate, of the generated VITS models.
inline constexpr int kHop = 256;
inline constexpr int kModelRate = 16000;

// The service on a free port with a given engine.
class EngineService {
public:
    EngineService(const std::filesystem::path &workDir, std::shared_ptr<SpeechEngine> engine);
    ~EngineService();
    int port() const { return m_port; }

private:
    std::unique_ptr<SpeechService> m_service;
    std::thread m_thread;
    int m_port = 0;
};

}  // namespace tavrel::test

// Generated models need python3-onnx: without it a developer's run skips,
// CI fails.
#define NEURAL_MAKE_MODELS(dir, ...)                                                \
    do {                                                                            \
        std::string why_;                                                           \
        if (!tavrel::test::makeModels(dir, {__VA_ARGS__}, why_))                    \
            LUMO_GTEST_SKIP_OR_FAIL("cannot generate test models: " + why_);        \
    } while (false)
