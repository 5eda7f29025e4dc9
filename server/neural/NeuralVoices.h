// Start-up of the neural voices: whether models/ holds any, opening the
// runtime beside the service, and the engine the service then serves.
#pragma once

#include "ModelCatalog.h"
#include "SpeechEngine.h"

#include <filesystem>
#include <iosfwd>
#include <memory>

namespace tavrel::neural {

// The option the service runs itself with to try a model in a child process.
inline constexpr const char *kProbeOption = "--probe-model";

struct NeuralStartup {
    std::shared_ptr<SpeechEngine> engine;  // espeak alone, or espeak with the neural voices
    std::shared_ptr<class NeuralEngine> neural;  // the neural voices' engine, when there is one
    ModelCatalog catalog;                  // what models/ held
    std::string offReason;                 // why there are no neural voices; empty when there are
};

// Scans <workDir>/models and, when a model is there, opens the runtime from
// libDir. Says once on `log` why neural voices are off, and names each
// skipped folder with its reason. `self` is the service's executable, run
// with kProbeOption before a model is loaded; empty: no probe.
NeuralStartup startNeuralVoices(std::shared_ptr<SpeechEngine> espeak, const std::filesystem::path &workDir,
                                const std::filesystem::path &libDir, const std::filesystem::path &self,
                                std::ostream &log);

// The child's side of the probe: loads models/<folder> of modelsDir with the
// runtime in libDir; the process's exit code (0: it loads).
int probeModel(const std::filesystem::path &modelsDir, const std::string &folder,
               const std::filesystem::path &libDir);

}  // namespace tavrel::neural
