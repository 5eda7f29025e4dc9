// The timeline placement: each segment's speech at its own time, silence
// between, written as output.mp3 and output.srt (and output.wav when asked).
#pragma once

#include "Outcome.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tavrel {

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

}  // namespace tavrel
