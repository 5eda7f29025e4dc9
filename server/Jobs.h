// The pieces of work behind the endpoints, free of HTTP: render one segment,
// join many one after another, or place many at their times. All take
// checked values and write atomically: on any failure nothing is left behind.
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
    bool wav = false;                // also write output.wav
};

struct JoinReport {
    int used = 0;
    int skipped = 0;
    std::int64_t totalFrames = 0;
};

Outcome joinSegments(const JoinJob &job, JoinReport *report = nullptr);

struct TimelineInput {
    std::filesystem::path mp3;       // checked; may be missing
    bool missing = false;
    std::int64_t startMs = 0;        // where its speech is to start
    std::int64_t endMs = -1;         // where its cue ends; -1: where its speech ends
};

struct TimelineJob {
    std::vector<TimelineInput> inputs;  // in order; each starts after the one before
    std::int64_t endMs = 0;             // output.mp3 lasts at least this long
    std::filesystem::path folder;       // checked, canonical
    bool wav = false;
};

// A segment whose speech starts later than asked.
struct TimelineMove {
    int number = 0;                  // its place in the inputs, from 1
    std::int64_t shiftMs = 0;
};

struct TimelineReport {
    int used = 0;
    int skipped = 0;
    std::int64_t totalFrames = 0;
    std::vector<TimelineMove> moved;
};

// Places each segment so that its speech starts at its time, silence frames
// between. A segment that would overlap the one before starts right after
// that one's speech instead (the silent tail after it may be cut); nothing
// else moves. output.srt holds one cue per segment, its text all of the
// segment's own cue texts, at the times as placed.
Outcome placeSegments(const TimelineJob &job, TimelineReport *report = nullptr);

// Writes `data` to a temporary file beside `target`; commit() renames it
// into place, otherwise the destructor removes it.
class PendingFile {
public:
    explicit PendingFile(std::filesystem::path target);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool write(const void *data, std::size_t size);
    // Overwrites bytes already written (a header whose sizes are known last).
    bool writeAt(std::uint64_t offset, const void *data, std::size_t size);
    bool close();   // flushes; false if anything failed
    bool commit();  // close + rename
    bool isOpen() const { return m_file != nullptr; }
    // Where the bytes are until commit(): readable once close() succeeded.
    const std::filesystem::path &tempPath() const { return m_temp; }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE *m_file = nullptr;
    bool m_failed = false;
    bool m_committed = false;
};

}  // namespace tavrel
