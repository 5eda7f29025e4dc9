// The plain join: the segments one after another, a fixed pause between,
// written as output.mp3 and output.srt (and output.wav when asked).
#pragma once

#include "Outcome.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tavrel {

struct JoinInput {
    std::filesystem::path mp3;       // checked; may be missing
    bool missing = false;
};

struct JoinJob {
    std::vector<JoinInput> inputs;   // in order
    std::int64_t pauseMs = 0;
    std::filesystem::path folder;    // checked, canonical
    bool wav = false;                // also write output.wav
};

struct JoinReport {
    int used = 0;
    int skipped = 0;
    std::int64_t totalFrames = 0;
};

Outcome joinSegments(const JoinJob &job, JoinReport *report = nullptr);

}  // namespace tavrel
