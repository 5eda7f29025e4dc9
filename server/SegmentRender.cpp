#include "SegmentRender.h"

#include "Mp3Codec.h"
#include "PendingFile.h"
#include "Subtitles.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace tavrel {

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

    // Encoded at the engine's own rate (a neural model's is kept); only a rate
    // MP3 does not have is resampled, first, so that the word marks and the
    // encoder's lead count the same samples.
    const int rate = mp3::encodedRate(speech.sampleRate);
    if (rate != speech.sampleRate) {
        std::vector<std::int16_t> resampled;
        if (mp3::resample(pcm.data(), pcm.size(), speech.sampleRate, rate, resampled)) {
            for (WordMark &w : speech.words)
                w.sample = w.sample * rate / speech.sampleRate;
            pcm.swap(resampled);
            speech.pcm = pcm;
            speech.sampleRate = rate;
        }
    }
    mp3::Encoded enc;
    if (!mp3::encode(pcm.data(), pcm.size(), speech.sampleRate, enc))
        return {false, "MP3 编码失败"};

    const std::int64_t total = enc.frames * mp3::samplesPerFrame(enc.sampleRate);
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

}  // namespace tavrel
