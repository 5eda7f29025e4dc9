#include "Jobs.h"

#include "Mp3Codec.h"
#include "Subtitles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tavrel {

namespace {

std::atomic<unsigned> g_tempCounter{0};

std::string readSmallFile(const fs::path &p, std::size_t limit)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return {};
    // Only what the file holds: a join reads one per segment, and making
    // (and zeroing) the whole limit each time cost more than the join.
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(p, ec);
    const std::size_t want = ec ? limit : static_cast<std::size_t>(std::min<std::uintmax_t>(size, limit));
    std::string s;
    s.resize(want);
    in.read(s.data(), static_cast<std::streamsize>(want));
    s.resize(static_cast<std::size_t>(in.gcount()));
    return s;
}

}  // namespace

PendingFile::PendingFile(fs::path target) : m_target(std::move(target))
{
    // Hidden, unique and in the same folder, so the final rename is atomic.
    m_temp = m_target.parent_path() /
             ("." + m_target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
              std::to_string(g_tempCounter.fetch_add(1)));
    int fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
        m_file = ::fdopen(fd, "wb");
        if (!m_file)
            ::close(fd);
    }
    if (!m_file) {
        m_failed = true;
        m_temp.clear();
    }
}

PendingFile::~PendingFile()
{
    if (m_file)
        std::fclose(m_file);
    if (!m_committed && !m_temp.empty()) {
        std::error_code ec;
        fs::remove(m_temp, ec);
    }
}

bool PendingFile::write(const void *data, std::size_t size)
{
    if (!m_file || m_failed)
        return false;
    if (size && std::fwrite(data, 1, size, m_file) != size)
        m_failed = true;
    return !m_failed;
}

bool PendingFile::writeAt(std::uint64_t offset, const void *data, std::size_t size)
{
    if (!m_file || m_failed)
        return false;
    if (std::fflush(m_file) != 0 || ::fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        (size && std::fwrite(data, 1, size, m_file) != size) || ::fseeko(m_file, 0, SEEK_END) != 0)
        m_failed = true;
    return !m_failed;
}

bool PendingFile::close()
{
    if (m_file) {
        if (std::fflush(m_file) != 0)
            m_failed = true;
        if (std::fclose(m_file) != 0)
            m_failed = true;
        m_file = nullptr;
    }
    return !m_failed && !m_temp.empty();
}

bool PendingFile::commit()
{
    if (!close())
        return false;
    std::error_code ec;
    fs::rename(m_temp, m_target, ec);
    if (ec)
        return false;
    m_committed = true;
    return true;
}

Outcome renderSegment(SpeechEngine &engine, const RenderJob &job, RenderedSegment *produced)
{
    std::u32string text;
    if (!srt::decodeUtf8(job.text, text))
        return {false, "文本编码错误"};

    // Only the synthesis is serialised (inside the engine); everything after
    // it runs in parallel on the request threads.
    SynthesisResult speech = engine.synthesize(job.prepared.runs, job.voice, job.ratePercent);
    if (!speech.ok)
        return {false, speech.error.empty() ? "语音合成失败" : speech.error};
    if (speech.pcm.empty()) {
        // Nothing to say (only punctuation or symbols): a short silence keeps
        // the passage's place in the joined file.
        speech.pcm.assign(static_cast<std::size_t>(speech.sampleRate) * 3 / 10, 0);
        speech.words.clear();
    }

    std::vector<std::int16_t> pcm = speech.pcm;
    if (job.volumePercent != 0) {
        const double gain = (100.0 + job.volumePercent) / 100.0;
        for (auto &s : pcm)
            s = static_cast<std::int16_t>(std::clamp(static_cast<double>(s) * gain, -32768.0, 32767.0));
    }

    mp3::Encoded enc;
    if (!mp3::encode(pcm.data(), pcm.size(), speech.sampleRate, enc))
        return {false, "MP3 编码失败"};

    const std::int64_t total = enc.frames * mp3::kSamplesPerFrame;
    auto cues = srt::timeSpans(srt::splitIntoSpans(text), speech, enc.leadSamples, total);
    RenderedSegment files{std::move(enc.bytes), srt::format(cues)};

    Outcome out = writeSegmentFiles(job, files);
    if (out.ok && produced)
        *produced = std::move(files);
    return out;
}

Outcome writeSegmentFiles(const RenderJob &job, const RenderedSegment &files)
{
    PendingFile mp3File(job.media);
    PendingFile srtFile(job.subtitles);
    if (!mp3File.isOpen() || !srtFile.isOpen())
        return {false, "无法写入文件夹"};
    if (!mp3File.write(files.mp3.data(), files.mp3.size()) || !srtFile.write(files.srt.data(), files.srt.size()) ||
        !mp3File.close() || !srtFile.close())
        return {false, "写入文件失败"};
    if (!srtFile.commit())
        return {false, "写入文件失败"};
    if (!mp3File.commit()) {
        std::error_code ec;
        fs::remove(job.subtitles, ec);
        return {false, "写入文件失败"};
    }
    return {true, "合成成功"};
}

namespace {

constexpr std::int64_t kSamples = mp3::kSamplesPerFrame;

std::int64_t samplesToMs(std::int64_t samples)
{
    return (samples * 1000 + mp3::kSampleRate / 2) / mp3::kSampleRate;
}

std::int64_t msToSamples(std::int64_t ms)
{
    return (ms * mp3::kSampleRate + 500) / 1000;
}

// Floor of a / b for b > 0, negative a included.
std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// A segment's own subtitles: only a regular file beside its audio (same name,
// ".srt") is read. Nothing when there is none.
std::optional<std::vector<srt::Cue>> segmentCues(const fs::path &mp3File)
{
    fs::path srtPath = mp3File;
    srtPath.replace_extension(".srt");
    std::error_code ec;
    const fs::path real = fs::canonical(srtPath, ec);
    if (ec || !fs::is_regular_file(real, ec) || real.parent_path() != mp3File.parent_path())
        return std::nullopt;
    return srt::parse(readSmallFile(real, 8 << 20));
}

bool isWideChar(char32_t c)
{
    return (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0x20000 && c <= 0x3FFFD);
}

// One line of text from a segment's cues: CJK pieces run on, others are
// joined with a blank.
std::string joinCueTexts(const std::vector<srt::Cue> &cues)
{
    std::u32string joined;
    for (const srt::Cue &c : cues) {
        std::u32string piece;
        if (!srt::decodeUtf8(c.text, piece))
            continue;
        for (char32_t &ch : piece)
            if (ch == U'\n' || ch == U'\r')
                ch = U' ';
        if (piece.empty())
            continue;
        if (!joined.empty() && joined.back() != U' ' && piece.front() != U' ' &&
            !(isWideChar(joined.back()) || isWideChar(piece.front())))
            joined.push_back(U' ');
        joined += piece;
    }
    return srt::encodeUtf8(joined);
}

// Samples are written as they lie in memory: WAV is little-endian, and so is
// every machine the service runs on.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);

void putLe(std::uint8_t *at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The 44-byte header of a 16-bit mono PCM WAV file at the service's rate.
std::array<std::uint8_t, 44> wavHeader(std::uint32_t dataBytes)
{
    std::array<std::uint8_t, 44> h{};
    std::memcpy(h.data(), "RIFF", 4);
    putLe(h.data() + 4, 36 + dataBytes, 4);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    putLe(h.data() + 16, 16, 4);                      // format chunk size
    putLe(h.data() + 20, 1, 2);                       // PCM
    putLe(h.data() + 22, 1, 2);                       // mono
    putLe(h.data() + 24, mp3::kSampleRate, 4);
    putLe(h.data() + 28, mp3::kSampleRate * 2, 4);    // bytes per second
    putLe(h.data() + 32, 2, 2);                       // bytes per sample frame
    putLe(h.data() + 34, 16, 2);                      // bits per sample
    std::memcpy(h.data() + 36, "data", 4);
    putLe(h.data() + 40, dataBytes, 4);
    return h;
}

// The joined stream as it is written: output.mp3 frame by frame, then
// output.srt and, when asked, output.wav decoded from the finished MP3. All
// of them land, or none.
class JoinedOutput {
public:
    JoinedOutput(fs::path folder, bool wav) : m_folder(std::move(folder)), m_wav(wav) {}

    // Made at the first usable segment: a join with nothing to join leaves
    // the folder untouched.
    bool open()
    {
        if (!m_mp3)
            m_mp3 = std::make_unique<PendingFile>(m_folder / "output.mp3");
        return m_mp3->isOpen();
    }

    std::int64_t frames() const { return m_frames; }

    bool append(const std::uint8_t *bytes, std::size_t size, std::int64_t frames)
    {
        if (!open() || !m_mp3->write(bytes, size))
            return false;
        m_frames += frames;
        return true;
    }

    bool appendSilence(std::int64_t frames)
    {
        constexpr std::int64_t kBlock = 256;
        static const std::vector<std::uint8_t> block = mp3::silenceFrames(kBlock);
        for (; frames >= kBlock; frames -= kBlock)
            if (!append(block.data(), block.size(), kBlock))
                return false;
        if (frames <= 0)
            return true;
        const std::vector<std::uint8_t> rest = mp3::silenceFrames(frames);
        return append(rest.data(), rest.size(), frames);
    }

    Outcome finish(const std::vector<srt::Cue> &cues, const char *success)
    {
        const std::string srtText = srt::format(cues);
        PendingFile srtFile(m_folder / "output.srt");
        if (!open() || !srtFile.isOpen() || !srtFile.write(srtText.data(), srtText.size()) || !m_mp3->close() ||
            !srtFile.close())
            return {false, "写入文件失败"};
        std::unique_ptr<PendingFile> wavFile;
        if (m_wav) {
            wavFile = std::make_unique<PendingFile>(m_folder / "output.wav");
            Outcome wrote = writeWav(*wavFile);
            if (!wrote.ok)
                return wrote;
        }

        // output.mp3 last: it is what the program looks for.
        std::error_code ec;
        if (!srtFile.commit())
            return {false, "写入文件失败"};
        if (wavFile && !wavFile->commit()) {
            fs::remove(m_folder / "output.srt", ec);
            return {false, "写入文件失败"};
        }
        if (!m_mp3->commit()) {
            fs::remove(m_folder / "output.srt", ec);
            if (wavFile)
                fs::remove(m_folder / "output.wav", ec);
            return {false, "写入文件失败"};
        }
        // A WAV of an earlier join would not match this output.
        if (!m_wav)
            fs::remove(m_folder / "output.wav", ec);
        return {true, success};
    }

private:
    Outcome writeWav(PendingFile &file)
    {
        if (!file.isOpen())
            return {false, "无法写入文件夹"};
        constexpr std::uint64_t kMaxData = 0xFFFFFFFFull - 36;
        std::uint64_t dataBytes = 0;
        bool tooLong = false;
        const auto placeholder = wavHeader(0);
        if (!file.write(placeholder.data(), placeholder.size()))
            return {false, "写入文件失败"};
        const bool decoded = mp3::decodeFile(m_mp3->tempPath(), [&](const std::int16_t *s, std::size_t n) {
            dataBytes += 2 * n;
            if (dataBytes > kMaxData) {
                tooLong = true;
                return false;
            }
            return file.write(s, 2 * n);
        });
        if (tooLong)
            return {false, "音频过长，无法写成 WAV 文件"};
        if (!decoded)
            return {false, "写入 WAV 文件失败"};
        const auto header = wavHeader(static_cast<std::uint32_t>(dataBytes));
        if (!file.writeAt(0, header.data(), header.size()) || !file.close())
            return {false, "写入文件失败"};
        return {true, {}};
    }

    fs::path m_folder;
    bool m_wav = false;
    std::unique_ptr<PendingFile> m_mp3;
    std::int64_t m_frames = 0;
};

// A segment as the joins need it: its frames and its own subtitles.
struct LoadedSegment {
    mp3::ReadResult seg;
    std::optional<std::vector<srt::Cue>> cues;
};

LoadedSegment loadSegment(const fs::path &mp3File, bool missing)
{
    LoadedSegment loaded;
    if (missing)
        return loaded;
    loaded.seg = mp3::readForJoin(mp3File);
    if (loaded.seg.usable)
        loaded.cues = segmentCues(mp3File);
    return loaded;
}

// Reads the segments of a join ahead of the writer, on a thread of its own
// and a bounded number at a time, so that reading one overlaps writing the
// ones before (a join of hundreds of segments spends as long reading them
// as writing). Taken strictly in order.
class SegmentReadAhead {
public:
    SegmentReadAhead(std::vector<std::pair<fs::path, bool>> inputs, std::size_t ahead = 16)
        : m_inputs(std::move(inputs)), m_ahead(ahead)
    {
        m_thread = std::thread([this] { run(); });
    }

    ~SegmentReadAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    SegmentReadAhead(const SegmentReadAhead &) = delete;
    SegmentReadAhead &operator=(const SegmentReadAhead &) = delete;

    // The next segment, in input order.
    LoadedSegment take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ready.empty(); });
        LoadedSegment next = std::move(m_ready.front());
        m_ready.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return next;
    }

private:
    void run()
    {
        for (const auto &[path, missing] : m_inputs) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || m_ready.size() < m_ahead; });
                if (m_stop)
                    return;
            }
            LoadedSegment loaded = loadSegment(path, missing);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_ready.push_back(std::move(loaded));
            }
            m_changed.notify_all();
        }
    }

    const std::vector<std::pair<fs::path, bool>> m_inputs;
    const std::size_t m_ahead;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<LoadedSegment> m_ready;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace

Outcome joinSegments(const JoinJob &job, JoinReport *report)
{
    JoinReport local;
    JoinReport &rep = report ? *report : local;
    rep = JoinReport{};

    JoinedOutput out(job.folder, job.wav);
    const std::int64_t pauseFrames = mp3::framesForMilliseconds(job.pauseMs);

    std::vector<srt::Cue> cues;
    std::vector<std::pair<fs::path, bool>> paths;
    for (const JoinInput &in : job.inputs)
        paths.emplace_back(in.mp3, in.missing);
    SegmentReadAhead reader(std::move(paths));
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
            const std::int64_t startMs = position * 1000 / mp3::kSampleRate;
            const std::int64_t endMs = (position + segSamples) * 1000 / mp3::kSampleRate;
            const std::int64_t shiftMs = (position + seg.shiftSamples) * 1000 / mp3::kSampleRate;
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

namespace {

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

    JoinedOutput out(job.folder, job.wav);
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

    std::vector<std::pair<fs::path, bool>> paths;
    for (const TimelineInput &in : job.inputs)
        paths.emplace_back(in.mp3, in.missing);
    SegmentReadAhead reader(std::move(paths));
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
            floorDiv(in.startMs * mp3::kSampleRate - leadSamples * 1000 + denom / 2, denom);
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
