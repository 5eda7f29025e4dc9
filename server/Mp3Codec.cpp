#include "Mp3Codec.h"

#include <lame/lame.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

namespace tavrel::mp3 {

namespace {

// LAME fills shared lookup tables while it initialises an encoder; keep two
// initialisations from doing that at the same time. Encoding itself runs in
// parallel, one encoder per request.
std::mutex g_lameInitMutex;

void initMpg123()
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

struct LameDeleter {
    void operator()(lame_global_flags *l) const { lame_close(l); }
};
struct Mpg123Deleter {
    void operator()(mpg123_handle *h) const
    {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

// mpg123 reads a file the way it parses it: a header, then a frame body,
// one system call each. Our frames are about 150 bytes, so a join of an hour
// of speech made hundreds of thousands of reads; a buffered stream makes a
// handful.
mpg123_ssize_t readBuffered(void *handle, void *buffer, size_t bytes)
{
    auto *f = static_cast<std::FILE *>(handle);
    const size_t got = std::fread(buffer, 1, bytes, f);
    if (got == 0 && std::ferror(f))
        return -1;
    return static_cast<mpg123_ssize_t>(got);
}

off_t seekBuffered(void *handle, off_t offset, int whence)
{
    auto *f = static_cast<std::FILE *>(handle);
    if (::fseeko(f, offset, whence) != 0)
        return -1;
    return ::ftello(f);
}

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

// A libmpg123 handle reading one file through a buffered stream. The stream
// is ours, not the handle's: it is closed after the handle, whatever state a
// failed open left the handle in.
class Mp3Reader
{
public:
    explicit Mp3Reader(long flags)
    {
        initMpg123();
        int err = MPG123_OK;
        m_handle.reset(mpg123_new(nullptr, &err));
        if (m_handle)
            mpg123_param(m_handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | flags, 0);
    }

    mpg123_handle *handle() const { return m_handle.get(); }

    bool open(const std::filesystem::path &file)
    {
        if (!m_handle)
            return false;
        m_file.reset(std::fopen(file.c_str(), "rb"));
        if (!m_file)
            return false;
        std::setvbuf(m_file.get(), nullptr, _IOFBF, 1 << 18);
        return mpg123_replace_reader_handle(m_handle.get(), readBuffered, seekBuffered, nullptr) == MPG123_OK &&
               mpg123_open_handle(m_handle.get(), m_file.get()) == MPG123_OK;
    }

private:
    std::unique_ptr<std::FILE, FileCloser> m_file;  // declared first: outlives the handle
    Mpg123Ptr m_handle;
};

}  // namespace

bool encode(const std::int16_t *pcm, std::size_t count, int inRate, Encoded &out)
{
    std::unique_ptr<lame_global_flags, LameDeleter> lame;
    {
        std::lock_guard<std::mutex> lock(g_lameInitMutex);
        lame.reset(lame_init());
        if (!lame)
            return false;
        lame_set_num_channels(lame.get(), 1);
        lame_set_in_samplerate(lame.get(), inRate);
        lame_set_out_samplerate(lame.get(), kSampleRate);
        lame_set_mode(lame.get(), MONO);
        lame_set_brate(lame.get(), kBitrateKbps);
        lame_set_VBR(lame.get(), vbr_off);
        lame_set_quality(lame.get(), kLameQuality);
        // No Xing/LAME info frame: every frame is audio, so a file's length is
        // its frame count for every decoder, and frames concatenate cleanly.
        lame_set_bWriteVbrTag(lame.get(), 0);
        if (lame_init_params(lame.get()) < 0)
            return false;
    }

    out.bytes.clear();
    // Worst case documented by LAME: 1.25 × samples + 7200.
    const std::size_t chunk = 1 << 16;
    std::vector<unsigned char> buf(chunk + chunk / 4 + 7200);
    std::size_t done = 0;
    while (done < count) {
        const int n = static_cast<int>(std::min(chunk, count - done));
        int w = lame_encode_buffer(lame.get(), pcm + done, nullptr, n, buf.data(),
                                   static_cast<int>(buf.size()));
        if (w < 0)
            return false;
        out.bytes.insert(out.bytes.end(), buf.data(), buf.data() + w);
        done += static_cast<std::size_t>(n);
    }
    int w = lame_encode_flush(lame.get(), buf.data(), static_cast<int>(buf.size()));
    if (w < 0)
        return false;
    out.bytes.insert(out.bytes.end(), buf.data(), buf.data() + w);
    out.frames = lame_get_frameNum(lame.get());
    out.leadSamples = lame_get_encoder_delay(lame.get()) + kDecoderDelay;
    return true;
}

std::vector<std::uint8_t> silenceFrames(std::int64_t count)
{
    // An MPEG-2 layer III mono frame whose side information is all zero:
    // no Huffman data, so every decoder produces 576 zero samples. Padding
    // slots are spread as an encoder would, to keep the stream's bitrate.
    constexpr std::int64_t num = 72000LL * kBitrateKbps;  // bytes per frame × rate
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(count) * (num / kSampleRate + 1));
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t size = (i + 1) * num / kSampleRate - i * num / kSampleRate;
        const bool padded = size > num / kSampleRate;
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(size), 0);
        out[at] = 0xFF;
        out[at + 1] = 0xF3;  // MPEG-2, layer III, no CRC
        out[at + 2] = static_cast<std::uint8_t>((6 << 4) | (0 << 2) | (padded ? 2 : 0));  // 48 kbps, 22050 Hz
        out[at + 3] = 0xC4;  // mono, original
    }
    return out;
}

std::int64_t framesForMilliseconds(std::int64_t ms)
{
    if (ms <= 0)
        return 0;
    const std::int64_t perFrameDenom = 1000LL * kSamplesPerFrame;
    std::int64_t frames = (ms * kSampleRate + perFrameDenom / 2) / perFrameDenom;
    return std::max<std::int64_t>(frames, 1);
}

double framesToSeconds(std::int64_t frames)
{
    return static_cast<double>(frames) * kSamplesPerFrame / kSampleRate;
}

bool decodeFile(const std::filesystem::path &file, std::vector<std::int16_t> &pcm)
{
    pcm.clear();
    decodeFile(file, [&pcm](const std::int16_t *s, std::size_t n) {
        pcm.insert(pcm.end(), s, s + n);
        return true;
    });
    return !pcm.empty();
}

bool decodeFile(const std::filesystem::path &file, const PcmSink &sink)
{
    // The Info frame only serves gapless trimming here, a few milliseconds of
    // another encoder's delay; a forged one kept a single read busy for over
    // a minute on 450 bytes, holding a request worker.
    Mp3Reader reader(MPG123_FORCE_MONO | MPG123_IGNORE_INFOFRAME);
    mpg123_handle *h = reader.handle();
    if (!h)
        return false;
    // Any source rate is brought to ours; the library resamples.
    mpg123_param(h, MPG123_FORCE_RATE, kSampleRate, 0);
    mpg123_format_none(h);
    if (mpg123_format(h, kSampleRate, MPG123_MONO, MPG123_ENC_SIGNED_16) != MPG123_OK)
        return false;
    if (!reader.open(file))
        return false;
    std::vector<unsigned char> buf(1 << 16);
    bool any = false;
    for (;;) {
        size_t got = 0;
        int r = mpg123_read(h, buf.data(), buf.size(), &got);
        if (got >= 2) {
            any = true;
            if (!sink(reinterpret_cast<const std::int16_t *>(buf.data()), got / 2))
                return false;
        }
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT)
            break;  // done, or a damaged tail: keep what decoded
    }
    return any;
}

ReadResult readForJoin(const std::filesystem::path &file)
{
    ReadResult result;
    bool sameFormat = true;
    {
        Mp3Reader reader(0);
        if (!reader.open(file)) {
            result.reason = "cannot open";
            return result;
        }
        mpg123_handle *h = reader.handle();
        for (;;) {
            int r = mpg123_framebyframe_next(h);
            if (r == MPG123_DONE)
                break;
            if (r != MPG123_OK && r != MPG123_NEW_FORMAT)
                break;  // keep the frames read so far; a damaged tail is dropped

            unsigned long header = 0;
            unsigned char *body = nullptr;
            size_t bodyBytes = 0;
            if (mpg123_framedata(h, &header, &body, &bodyBytes) != MPG123_OK)
                break;
            mpg123_frameinfo2 info{};
            if (mpg123_info2(h, &info) != MPG123_OK)
                break;
            if (info.version != MPG123_2_0 || info.layer != 3 || info.rate != kSampleRate ||
                info.mode != MPG123_M_MONO)
                sameFormat = false;
            if (!sameFormat)
                break;
            const std::uint8_t head[4] = {
                static_cast<std::uint8_t>(header >> 24), static_cast<std::uint8_t>(header >> 16),
                static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header)};
            result.frames.insert(result.frames.end(), head, head + 4);
            if (body && bodyBytes)
                result.frames.insert(result.frames.end(), body, body + bodyBytes);
            result.frameEnds.push_back(result.frames.size());
            ++result.frameCount;
        }
    }

    if (sameFormat) {
        result.usable = result.frameCount > 0;
        if (!result.usable)
            result.reason = "no MPEG audio frames";
        return result;
    }

    // A valid MP3 in another format: bring it to ours once, the slow way.
    result = ReadResult{};
    std::vector<std::int16_t> pcm;
    if (!decodeFile(file, pcm)) {
        result.reason = "cannot decode";
        return result;
    }
    Encoded enc;
    if (!encode(pcm.data(), pcm.size(), kSampleRate, enc) || enc.frames <= 0) {
        result.reason = "cannot re-encode";
        return result;
    }
    result.frames = std::move(enc.bytes);
    result.frameCount = enc.frames;
    result.shiftSamples = enc.leadSamples;
    result.usable = true;
    return result;
}

}  // namespace tavrel::mp3
