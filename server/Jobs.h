// The two pieces of work behind the endpoints, free of HTTP: render one
// segment, join many. Both take checked values and write atomically: on any
// failure nothing is left behind.
#pragma once

#include "SpeechEngine.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrel {

struct Outcome {
    bool ok = false;
    std::string msg;  // short Chinese message for the user
};

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

struct JoinInput {
    std::filesystem::path mp3;       // checked; may be missing
    bool missing = false;
};

struct JoinJob {
    std::vector<JoinInput> inputs;   // in order
    std::int64_t pauseMs = 0;
    std::filesystem::path folder;    // checked, canonical
};

struct JoinReport {
    int used = 0;
    int skipped = 0;
    std::int64_t totalFrames = 0;
};

Outcome joinSegments(const JoinJob &job, JoinReport *report = nullptr);

// Writes `data` to a temporary file beside `target`; commit() renames it
// into place, otherwise the destructor removes it.
class PendingFile {
public:
    explicit PendingFile(std::filesystem::path target);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool write(const void *data, std::size_t size);
    bool close();   // flushes; false if anything failed
    bool commit();  // close + rename
    bool isOpen() const { return m_file != nullptr; }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE *m_file = nullptr;
    bool m_failed = false;
    bool m_committed = false;
};

}  // namespace tavrel
