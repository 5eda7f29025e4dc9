// The segments of a join as it reads them: each MP3's frames and its own
// subtitles, read ahead of the writer on a thread of their own.
#pragma once

#include "Mp3Codec.h"
#include "Subtitles.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tavrel {

// A segment's own subtitles: only a regular file beside its audio (same name,
// ".srt") is read. Nothing when there is none.
std::optional<std::vector<srt::Cue>> segmentCues(const std::filesystem::path &mp3File);

// A segment as the joins need it: its frames and its own subtitles.
struct LoadedSegment {
    mp3::ReadResult seg;
    std::optional<std::vector<srt::Cue>> cues;
};

// Read for a join at `rate` (see mp3::readForJoin).
LoadedSegment loadSegment(const std::filesystem::path &mp3File, bool missing, int rate = mp3::kSampleRate);

// The rate a join of these inputs is written at: the highest rate among the
// inputs in the service's own format (an espeak passage at 22050 Hz, a neural
// one at its model's rate). Upsampling a passage loses nothing of it, while
// bringing the others down to the first's or the lowest rate would cut the
// top octave off a model that has it. Other files follow it; without any
// input of our own, kSampleRate.
int joinRate(const std::vector<std::pair<std::filesystem::path, bool>> &inputs);

// Reads the segments of a join ahead of the writer, on a thread of its own
// and a bounded number at a time, so that reading one overlaps writing the
// ones before (a join of hundreds of segments spends as long reading them
// as writing). Taken strictly in order.
class SegmentReadAhead {
public:
    SegmentReadAhead(std::vector<std::pair<std::filesystem::path, bool>> inputs, int rate = mp3::kSampleRate,
                     std::size_t ahead = 16);
    ~SegmentReadAhead();

    SegmentReadAhead(const SegmentReadAhead &) = delete;
    SegmentReadAhead &operator=(const SegmentReadAhead &) = delete;

    // The next segment, in input order.
    LoadedSegment take();

private:
    void run();

    const std::vector<std::pair<std::filesystem::path, bool>> m_inputs;
    const int m_rate;
    const std::size_t m_ahead;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<LoadedSegment> m_ready;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace tavrel
