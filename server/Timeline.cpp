#include "Timeline.h"

#include "CueText.h"
#include "JoinedOutput.h"
#include "Mp3Codec.h"
#include "SegmentReadAhead.h"
#include "Subtitles.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace tavrel {

namespace {


// Floor of a / b for b > 0, negative a included.
std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Frames kept after a segment's last cue ends: its fading sound, and the
// decoder's overlap into the next frame.
constexpr std::int64_t kTailGuardFrames = 3;

struct PlacedSegment {
    mp3::ReadResult seg;
    std::int64_t startFrame = 0;
    std::int64_t keepFrames = 0;  // the frames that hold its speech: never cut
};

}  // namespace

Outcome placeSegments(const TimelineJob &job, TimelineReport *report)
{
    TimelineReport local;
    TimelineReport &rep = report ? *report : local;
    rep = TimelineReport{};

    std::vector<std::pair<fs::path, bool>> paths;
    for (const TimelineInput &in : job.inputs)
        paths.emplace_back(in.mp3, in.missing);
    // One rate for the whole file (see joinRate).
    const std::int64_t rate = joinRate(paths);
    const std::int64_t kSamples = mp3::samplesPerFrame(static_cast<int>(rate));
    auto samplesToMs = [rate](std::int64_t samples) { return (samples * 1000 + rate / 2) / rate; };
    auto msToSamples = [rate](std::int64_t ms) { return (ms * rate + 500) / 1000; };

    JoinedOutput out(job.folder, job.wav, static_cast<int>(rate));
    std::optional<PlacedSegment> previous;
    std::vector<srt::Cue> cues;

    // Writes the segment before, ending it by `untilFrame` if that cuts only
    // its silent tail (-1: all of it).
    auto writePrevious = [&](std::int64_t untilFrame) -> bool {
        const mp3::ReadResult &seg = previous->seg;
        std::int64_t count = seg.frameCount;
        if (untilFrame >= 0 && static_cast<std::int64_t>(seg.frameEnds.size()) == seg.frameCount)
            count = std::clamp(untilFrame - previous->startFrame, previous->keepFrames, seg.frameCount);
        const std::size_t bytes = count == seg.frameCount ? seg.frames.size()
                                                          : seg.frameEnds[static_cast<std::size_t>(count - 1)];
        return out.appendSilence(previous->startFrame - out.frames()) && out.append(seg.frames.data(), bytes, count);
    };

    SegmentReadAhead reader(std::move(paths), static_cast<int>(rate));
    for (std::size_t i = 0; i < job.inputs.size(); ++i) {
        const TimelineInput &in = job.inputs[i];
        LoadedSegment loaded = reader.take();
        if (in.missing) {
            ++rep.skipped;
            continue;
        }
        mp3::ReadResult seg = std::move(loaded.seg);
        if (!seg.usable) {
            ++rep.skipped;
            continue;
        }
        if (!out.open())
            return {false, "无法写入文件夹"};

        // Where its speech lies inside it, from its own cues (which already
        // count the encoder's lead); without them, the whole file is speech.
        const std::int64_t segSamples = seg.frameCount * kSamples;
        std::int64_t leadSamples = 0, speechEndSamples = segSamples;
        std::string text;
        if (const auto &own = loaded.cues; own && !own->empty()) {
            std::int64_t firstStart = own->front().startMs, lastEnd = 0;
            for (const srt::Cue &c : *own) {
                firstStart = std::min(firstStart, c.startMs);
                lastEnd = std::max(lastEnd, c.endMs);
            }
            leadSamples = std::clamp<std::int64_t>(msToSamples(firstStart) + seg.shiftSamples, 0, segSamples);
            speechEndSamples = std::clamp<std::int64_t>(msToSamples(lastEnd) + seg.shiftSamples, leadSamples, segSamples);
            text = joinCueTexts(*own);
        }
        std::int64_t keepFrames = seg.frameCount;
        if (static_cast<std::int64_t>(seg.frameEnds.size()) == seg.frameCount)
            keepFrames = std::min(seg.frameCount, (speechEndSamples + kSamples - 1) / kSamples + kTailGuardFrames);

        // The frame at which the segment begins so that its speech starts at
        // its time, to the nearest frame.
        const std::int64_t denom = 1000 * kSamples;
        const std::int64_t desired =
            floorDiv(in.startMs * rate - leadSamples * 1000 + denom / 2, denom);
        const std::int64_t earliest = previous ? previous->startFrame + previous->keepFrames : 0;
        const std::int64_t placed = std::max(desired, earliest);
        if (previous && !writePrevious(placed))
            return {false, "写入文件失败"};

        std::int64_t shiftMs = 0;
        if (placed > desired) {
            shiftMs = samplesToMs((placed - desired) * kSamples);
            rep.moved.push_back({static_cast<int>(i + 1), shiftMs});
        }
        if (!text.empty()) {
            srt::Cue cue;
            cue.startMs = in.startMs + shiftMs;
            const std::int64_t spokenEnd = samplesToMs(placed * kSamples + speechEndSamples);
            cue.endMs = std::max(in.endMs >= 0 ? in.endMs + shiftMs : spokenEnd, spokenEnd);
            if (cue.endMs <= cue.startMs)
                cue.endMs = cue.startMs + 1;
            cue.text = std::move(text);
            cues.push_back(std::move(cue));
        }
        previous = PlacedSegment{std::move(seg), placed, keepFrames};
        ++rep.used;
    }

    if (rep.used == 0)
        return {false, "没有可用的音频片段，无法合并"};
    if (!writePrevious(-1))
        return {false, "写入文件失败"};

    // At least to the asked end and to the last cue's end.
    std::int64_t endMs = job.endMs;
    for (const srt::Cue &c : cues)
        endMs = std::max(endMs, c.endMs);
    const std::int64_t endFrames = (msToSamples(endMs) + kSamples - 1) / kSamples;
    if (endFrames > out.frames() && !out.appendSilence(endFrames - out.frames()))
        return {false, "写入文件失败"};
    rep.totalFrames = out.frames();
    return out.finish(cues, "合并成功");
}

}  // namespace tavrel
