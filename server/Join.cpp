#include "Join.h"

#include "JoinedOutput.h"
#include "Mp3Codec.h"
#include "SegmentReadAhead.h"
#include "Subtitles.h"

#include <algorithm>
#include <utility>

namespace fs = std::filesystem;

namespace tavrel {

Outcome joinSegments(const JoinJob &job, JoinReport *report)
{
    JoinReport local;
    JoinReport &rep = report ? *report : local;
    rep = JoinReport{};

    std::vector<srt::Cue> cues;
    std::vector<std::pair<fs::path, bool>> paths;
    for (const JoinInput &in : job.inputs)
        paths.emplace_back(in.mp3, in.missing);
    // One rate for the whole file: segments at it are copied frame by frame,
    // the others resampled and re-encoded.
    const int rate = joinRate(paths);
    const std::int64_t kSamples = mp3::samplesPerFrame(rate);
    JoinedOutput out(job.folder, job.wav, rate);
    const std::int64_t pauseFrames = mp3::framesForMilliseconds(job.pauseMs, rate);
    SegmentReadAhead reader(std::move(paths), rate);
    for (const JoinInput &in : job.inputs) {
        LoadedSegment loaded = reader.take();
        if (in.missing) {
            ++rep.skipped;
            continue;
        }
        mp3::ReadResult &seg = loaded.seg;
        if (!seg.usable) {
            ++rep.skipped;
            continue;
        }
        if (!out.open())
            return {false, "无法写入文件夹"};
        if (rep.used > 0 && !out.appendSilence(pauseFrames))
            return {false, "写入文件失败"};
        const std::int64_t position = out.frames() * kSamples;  // in samples of the joined stream
        if (!out.append(seg.frames.data(), seg.frames.size(), seg.frameCount))
            return {false, "写入文件失败"};

        // The segment's own subtitles, moved to where it now plays.
        if (auto &own = loaded.cues) {
            const std::int64_t segSamples = seg.frameCount * kSamples;
            const std::int64_t startMs = position * 1000 / rate;
            const std::int64_t endMs = (position + segSamples) * 1000 / rate;
            const std::int64_t shiftMs = (position + seg.shiftSamples) * 1000 / rate;
            for (srt::Cue c : *own) {
                c.startMs = std::min(c.startMs + shiftMs, endMs);
                c.endMs = std::min(c.endMs + shiftMs, endMs);
                if (c.startMs < startMs || c.endMs <= c.startMs)
                    continue;
                cues.push_back(std::move(c));
            }
        }
        rep.totalFrames = out.frames();
        ++rep.used;
    }

    if (rep.used == 0)
        return {false, "没有可用的音频片段，无法合并"};
    return out.finish(cues, "合并成功");
}

}  // namespace tavrel
