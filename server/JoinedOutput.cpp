#include "JoinedOutput.h"

#include "Mp3Codec.h"
#include "WavWriter.h"

#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace tavrel {

JoinedOutput::JoinedOutput(fs::path folder, bool wav, int rate)
    : m_folder(std::move(folder)), m_wav(wav), m_rate(rate)
{
}

int JoinedOutput::samplesPerFrame() const
{
    return mp3::samplesPerFrame(m_rate);
}

bool JoinedOutput::open()
{
    if (!m_mp3)
        m_mp3 = std::make_unique<PendingFile>(m_folder / "output.mp3");
    return m_mp3->isOpen();
}

bool JoinedOutput::append(const std::uint8_t *bytes, std::size_t size, std::int64_t frames)
{
    if (!open() || !m_mp3->write(bytes, size))
        return false;
    m_frames += frames;
    return true;
}

bool JoinedOutput::appendSilence(std::int64_t frames)
{
    constexpr std::int64_t kBlock = 256;
    static const std::vector<std::uint8_t> usual = mp3::silenceFrames(kBlock);
    std::vector<std::uint8_t> other;
    if (frames >= kBlock && m_rate != mp3::kSampleRate)
        other = mp3::silenceFrames(kBlock, m_rate);
    const std::vector<std::uint8_t> &block = m_rate == mp3::kSampleRate ? usual : other;
    for (; frames >= kBlock; frames -= kBlock)
        if (!append(block.data(), block.size(), kBlock))
            return false;
    if (frames <= 0)
        return true;
    const std::vector<std::uint8_t> rest = mp3::silenceFrames(frames, m_rate);
    return append(rest.data(), rest.size(), frames);
}

Outcome JoinedOutput::finish(const std::vector<srt::Cue> &cues, const char *success)
{
    const std::string srtText = srt::format(cues);
    PendingFile srtFile(m_folder / "output.srt");
    if (!open() || !srtFile.isOpen() || !srtFile.write(srtText.data(), srtText.size()) || !m_mp3->close() ||
        !srtFile.close())
        return {false, "写入文件失败"};
    std::unique_ptr<PendingFile> wavFile;
    if (m_wav) {
        wavFile = std::make_unique<PendingFile>(m_folder / "output.wav");
        Outcome wrote = writeWav(m_mp3->tempPath(), *wavFile, m_rate);
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

}  // namespace tavrel
