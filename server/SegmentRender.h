// One passage rendered: its text spoken by the engine, encoded to MP3, its
// subtitles timed from the engine's marks, both files written atomically.
#pragma once

#include "Outcome.h"
#include "SpeechEngine.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrel {

struct RenderJob {
    std::string text;                 // as the request wrote it: the subtitles show it
    reading::Prepared prepared;       // what the engine is given for it
    std::string voice;
    int ratePercent = 0;
    int volumePercent = 0;
    std::filesystem::path media;      // checked, canonical folder
    std::filesystem::path subtitles;  // checked, canonical folder
};

// The bytes one render writes: the MP3 file and the SRT text.
struct RenderedSegment {
    std::vector<std::uint8_t> mp3;
    std::string srt;
};

// When `produced` is given, a successful render also hands back what it wrote.
Outcome renderSegment(SpeechEngine &engine, const RenderJob &job, RenderedSegment *produced = nullptr);

// Writes a segment's two files atomically (both or neither).
Outcome writeSegmentFiles(const RenderJob &job, const RenderedSegment &files);

}  // namespace tavrel
