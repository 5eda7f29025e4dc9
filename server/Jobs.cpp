#include "Jobs.h"

#include "Mp3Codec.h"
#include "Subtitles.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

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
        return {false, "语音合成失败"};
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

Outcome joinSegments(const JoinJob &job, JoinReport *report)
{
    JoinReport local;
    JoinReport &rep = report ? *report : local;
    rep = JoinReport{};

    // Created at the first usable segment: a join with nothing to join
    // leaves the folder untouched.
    std::unique_ptr<PendingFile> mp3File;

    const std::int64_t pauseFrames = mp3::framesForMilliseconds(job.pauseMs);
    const std::vector<std::uint8_t> pause = mp3::silenceFrames(pauseFrames);

    std::vector<srt::Cue> cues;
    std::int64_t position = 0;  // in samples of the joined stream
    for (const JoinInput &in : job.inputs) {
        if (in.missing) {
            ++rep.skipped;
            continue;
        }
        mp3::ReadResult seg = mp3::readForJoin(in.mp3);
        if (!seg.usable) {
            ++rep.skipped;
            continue;
        }
        if (!mp3File) {
            mp3File = std::make_unique<PendingFile>(job.folder / "output.mp3");
            if (!mp3File->isOpen())
                return {false, "无法写入文件夹"};
        }
        if (rep.used > 0 && pauseFrames > 0) {
            if (!mp3File->write(pause.data(), pause.size()))
                return {false, "写入文件失败"};
            position += pauseFrames * mp3::kSamplesPerFrame;
        }
        if (!mp3File->write(seg.frames.data(), seg.frames.size()))
            return {false, "写入文件失败"};

        // The segment's own subtitles, moved to where it now plays. Only a
        // regular file inside the same folder tree as its audio is read.
        fs::path srtPath = in.mp3;
        srtPath.replace_extension(".srt");
        std::error_code ec;
        fs::path real = fs::canonical(srtPath, ec);
        if (!ec && fs::is_regular_file(real, ec) && real.parent_path() == in.mp3.parent_path()) {
            const std::int64_t segSamples = seg.frameCount * mp3::kSamplesPerFrame;
            const std::int64_t startMs = position * 1000 / mp3::kSampleRate;
            const std::int64_t endMs = (position + segSamples) * 1000 / mp3::kSampleRate;
            const std::int64_t shiftMs =
                (position + seg.shiftSamples) * 1000 / mp3::kSampleRate;
            for (srt::Cue c : srt::parse(readSmallFile(real, 8 << 20))) {
                c.startMs = std::min(c.startMs + shiftMs, endMs);
                c.endMs = std::min(c.endMs + shiftMs, endMs);
                if (c.startMs < startMs || c.endMs <= c.startMs)
                    continue;
                cues.push_back(std::move(c));
            }
        }
        position += seg.frameCount * mp3::kSamplesPerFrame;
        rep.totalFrames = position / mp3::kSamplesPerFrame;
        ++rep.used;
    }

    if (rep.used == 0 || !mp3File)
        return {false, "没有可用的音频片段，无法合并"};

    const std::string srtText = srt::format(cues);
    PendingFile srtFile(job.folder / "output.srt");
    if (!srtFile.isOpen() || !srtFile.write(srtText.data(), srtText.size()) || !mp3File->close() ||
        !srtFile.close())
        return {false, "写入文件失败"};
    if (!srtFile.commit())
        return {false, "写入文件失败"};
    if (!mp3File->commit()) {
        std::error_code ec;
        fs::remove(job.folder / "output.srt", ec);
        return {false, "写入文件失败"};
    }
    return {true, "合并成功"};
}

}  // namespace tavrel
