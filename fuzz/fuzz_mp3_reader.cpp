// The join's input reader: arbitrary bytes as a segment file, read on its
// own and then joined after a valid segment. A usable segment keeps every
// frame it had; a join that succeeds writes a file that reads back with
// exactly the frames that went in; nothing lands outside the audio folder.
#include "FuzzSupport.h"
#include "Join.h"
#include "Mp3Codec.h"

using namespace tavrel;
using namespace tavrel::fuzz;

namespace {

Sandbox &sandbox()
{
    static Sandbox *s = new Sandbox;
    return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Sandbox &box = sandbox();
    const fs::path segment = box.job() / "seg.mp3";
    writeFile(segment, std::string(reinterpret_cast<const char *>(data), size));

    const mp3::ReadResult seg = mp3::readForJoin(segment);
    if (seg.usable && (seg.frameCount <= 0 || seg.frames.empty()))
        fail("a usable segment without frames");
    if (!seg.usable && seg.reason.empty())
        fail("an unusable segment without a reason");

    static const mp3::ReadResult first = mp3::readForJoin(box.job() / "a.mp3");
    JoinJob job;
    job.inputs = {{box.job() / "a.mp3", false}, {segment, false}};
    job.pauseMs = 100;
    job.folder = fs::canonical(box.job());
    JoinReport report;
    const Outcome out = joinSegments(job, &report);
    if (!out.ok)
        fail("a join with one valid segment failed: " + out.msg);
    if (report.used != (seg.usable ? 2 : 1) || report.skipped != (seg.usable ? 0 : 1))
        fail("the join counted the segments wrongly");

    const mp3::ReadResult joined = mp3::readForJoin(box.job() / "output.mp3");
    const std::int64_t pause = seg.usable ? mp3::framesForMilliseconds(job.pauseMs) : 0;
    const std::int64_t expected = first.frameCount + pause + (seg.usable ? seg.frameCount : 0);
    if (!joined.usable || joined.frameCount != expected || report.totalFrames != expected)
        fail("the joined file has " + std::to_string(joined.frameCount) + " frames (report " +
             std::to_string(report.totalFrames) + "), expected " + std::to_string(expected));

    box.checkOutsideUntouched();
    box.restoreAudio();
    return 0;
}
