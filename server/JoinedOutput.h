// The output files of a join and of a timeline placement, in the job folder.
#pragma once

#include "Outcome.h"
#include "PendingFile.h"
#include "Subtitles.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace tavrel {

// The joined stream as it is written: output.mp3 frame by frame, then
// output.srt and, when asked, output.wav decoded from the finished MP3. All
// of them land, or none.
class JoinedOutput {
public:
    // `rate`: the MP3 rate of the joined stream; every appended frame is at it.
    JoinedOutput(std::filesystem::path folder, bool wav, int rate);

    int rate() const { return m_rate; }
    int samplesPerFrame() const;

    // Made at the first usable segment: a join with nothing to join leaves
    // the folder untouched.
    bool open();

    std::int64_t frames() const { return m_frames; }

    bool append(const std::uint8_t *bytes, std::size_t size, std::int64_t frames);
    bool appendSilence(std::int64_t frames);

    Outcome finish(const std::vector<srt::Cue> &cues, const char *success);

private:
    std::filesystem::path m_folder;
    bool m_wav = false;
    int m_rate = 0;
    std::unique_ptr<PendingFile> m_mp3;
    std::int64_t m_frames = 0;
};

}  // namespace tavrel
