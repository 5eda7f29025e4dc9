// The sherpa-onnx runtime, opened with dlopen from the folder beside the
// service, so that the service starts and serves espeak voices without it.
#pragma once

#include "SherpaApi.h"

#include <filesystem>
#include <memory>
#include <string>

namespace tavrel::neural {

class SherpaRuntime {
public:
    // The C library's file name; it finds libonnxruntime.so beside itself.
    static constexpr const char *kLibraryName = "libsherpa-onnx-c-api.so";

    // Opens <dir>/libsherpa-onnx-c-api.so and resolves every function we
    // call; null with the reason in `why` when that fails.
    static std::shared_ptr<SherpaRuntime> open(const std::filesystem::path &dir, std::string &why);
    ~SherpaRuntime();

    SherpaRuntime(const SherpaRuntime &) = delete;
    SherpaRuntime &operator=(const SherpaRuntime &) = delete;

    std::string version() const { return getVersion ? getVersion() : ""; }

    CreateOfflineTtsFn createOfflineTts = nullptr;
    DestroyOfflineTtsFn destroyOfflineTts = nullptr;
    OfflineTtsSampleRateFn sampleRate = nullptr;
    OfflineTtsNumSpeakersFn numSpeakers = nullptr;
    OfflineTtsGenerateFn generate = nullptr;
    OfflineTtsGenerateWithProgressFn generateWithProgress = nullptr;
    DestroyGeneratedAudioFn destroyGeneratedAudio = nullptr;
    GetVersionStrFn getVersion = nullptr;

private:
    SherpaRuntime() = default;
    void *m_handle = nullptr;
};

}  // namespace tavrel::neural
