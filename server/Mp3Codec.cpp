#include "Mp3Codec.h"

#include <lame/lame.h>
#include <mpg123.h>

#ifdef LUMO_HAVE_SWRESAMPLE
extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
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

// The layer III rates by MPEG version, in the order of their header index.
constexpr std::array<int, 3> kMpeg1Rates = {44100, 48000, 32000};
constexpr std::array<int, 3> kMpeg2Rates = {22050, 24000, 16000};
constexpr std::array<int, 3> kMpeg25Rates = {11025, 12000, 8000};

// The header's version bits (3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5), rate index and
// bitrate index of kBitrateKbps; false for a rate MP3 does not have.
bool headerFields(int rate, int &version, int &rateIndex, int &bitrateIndex)
{
    const std::pair<int, const std::array<int, 3> *> versions[] = {
        {3, &kMpeg1Rates}, {2, &kMpeg2Rates}, {0, &kMpeg25Rates}};
    for (const auto &[v, rates] : versions)
        for (std::size_t i = 0; i < rates->size(); ++i)
            if ((*rates)[i] == rate) {
                version = v;
                rateIndex = static_cast<int>(i);
                bitrateIndex = v == 3 ? 3 : 6;  // 48 kbps in either table
                return true;
            }
    return false;
}

#ifdef LUMO_HAVE_SWRESAMPLE
struct SwrDeleter {
    void operator()(SwrContext *c) const { swr_free(&c); }
};
#endif

}  // namespace

int encodedRate(int inRate)
{
    static constexpr int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    for (int r : rates)
        if (r >= inRate)
            return r;
    return 48000;
}

int samplesPerFrame(int rate)
{
    return rate >= 32000 ? 1152 : 576;
}

int ownFormatRate(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    unsigned char h[4] = {};
    if (!in.read(reinterpret_cast<char *>(h), 4))
        return 0;
    const int version = (h[1] >> 3) & 3;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1 || version == 1 || (h[3] >> 6) != 3)
        return 0;
    const int rateIndex = (h[2] >> 2) & 3;
    if (rateIndex == 3)
        return 0;
    const int rate = version == 3   ? kMpeg1Rates[static_cast<std::size_t>(rateIndex)]
                     : version == 2 ? kMpeg2Rates[static_cast<std::size_t>(rateIndex)]
                                    : kMpeg25Rates[static_cast<std::size_t>(rateIndex)];
    int v = 0, r = 0, bitrateIndex = 0;
    headerFields(rate, v, r, bitrateIndex);
    return (h[2] >> 4) == bitrateIndex ? rate : 0;
}

bool resample(const std::int16_t *pcm, std::size_t count, int inRate, int outRate, std::vector<std::int16_t> &out)
{
    out.clear();
    if (inRate <= 0 || outRate <= 0)
        return false;
    if (inRate == outRate) {
        out.assign(pcm, pcm + count);
        return true;
    }
#ifdef LUMO_HAVE_SWRESAMPLE
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext *raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_S16, outRate, &mono, AV_SAMPLE_FMT_S16, inRate, 0,
                            nullptr) < 0 ||
        !raw)
        return false;
    std::unique_ptr<SwrContext, SwrDeleter> swr(raw);
    if (swr_init(swr.get()) < 0)
        return false;
    // The whole input at once, then the filter's tail: the output keeps the
    // input's length at the new rate.
    const std::int64_t expected = av_rescale_rnd(static_cast<std::int64_t>(count), outRate, inRate, AV_ROUND_UP);
    out.resize(static_cast<std::size_t>(expected) + 256);
    const auto *in = reinterpret_cast<const std::uint8_t *>(pcm);
    auto *dst = reinterpret_cast<std::uint8_t *>(out.data());
    int got = swr_convert(swr.get(), &dst, static_cast<int>(out.size()), &in, static_cast<int>(count));
    if (got < 0)
        return false;
    std::size_t done = static_cast<std::size_t>(got);
    for (;;) {
        dst = reinterpret_cast<std::uint8_t *>(out.data() + done);
        const int room = static_cast<int>(out.size() - done);
        if (room <= 0)
            break;
        got = swr_convert(swr.get(), &dst, room, nullptr, 0);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    out.resize(std::min(done, static_cast<std::size_t>(expected)));
    return true;
#else
    (void)pcm;
    (void)count;
    return false;
#endif
}

bool encode(const std::int16_t *pcm, std::size_t count, int inRate, Encoded &out)
{
    const int rate = encodedRate(inRate);
    // A rate MP3 does not have is brought to the next one by the resampler
    // (LAME's own is a last resort).
    std::vector<std::int16_t> resampled;
    if (rate != inRate && resample(pcm, count, inRate, rate, resampled)) {
        pcm = resampled.data();
        count = resampled.size();
        inRate = rate;
    }
    std::unique_ptr<lame_global_flags, LameDeleter> lame;
    {
        std::lock_guard<std::mutex> lock(g_lameInitMutex);
        lame.reset(lame_init());
        if (!lame)
            return false;
        lame_set_num_channels(lame.get(), 1);
        lame_set_in_samplerate(lame.get(), inRate);
        lame_set_out_samplerate(lame.get(), rate);
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
    out.sampleRate = rate;
    out.frames = lame_get_frameNum(lame.get());
    out.leadSamples = lame_get_encoder_delay(lame.get()) + kDecoderDelay;
    return true;
}

std::vector<std::uint8_t> silenceFrames(std::int64_t count, int rate)
{
    // A layer III mono frame whose side information is all zero: no Huffman
    // data, so every decoder produces a frame of zero samples. Padding slots
    // are spread as an encoder would, to keep the stream's bitrate.
    int version = 2, rateIndex = 0, bitrateIndex = 6;
    if (!headerFields(rate, version, rateIndex, bitrateIndex))
        return {};
    const std::int64_t num = samplesPerFrame(rate) / 8 * 1000LL * kBitrateKbps;  // bytes per frame × rate
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(count) * static_cast<std::size_t>(num / rate + 1));
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t size = (i + 1) * num / rate - i * num / rate;
        const bool padded = size > num / rate;
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(size), 0);
        out[at] = 0xFF;
        out[at + 1] = static_cast<std::uint8_t>(0xE0 | (version << 3) | (1 << 1) | 1);  // layer III, no CRC
        out[at + 2] = static_cast<std::uint8_t>((bitrateIndex << 4) | (rateIndex << 2) | (padded ? 2 : 0));
        out[at + 3] = 0xC4;  // mono, original
    }
    return out;
}

std::int64_t framesForMilliseconds(std::int64_t ms, int rate)
{
    if (ms <= 0)
        return 0;
    const std::int64_t perFrameDenom = 1000LL * samplesPerFrame(rate);
    std::int64_t frames = (ms * rate + perFrameDenom / 2) / perFrameDenom;
    return std::max<std::int64_t>(frames, 1);
}

double framesToSeconds(std::int64_t frames, int rate)
{
    return static_cast<double>(frames) * samplesPerFrame(rate) / rate;
}

bool decodeFile(const std::filesystem::path &file, std::vector<std::int16_t> &pcm, int rate)
{
    pcm.clear();
    decodeFile(
        file,
        [&pcm](const std::int16_t *s, std::size_t n) {
            pcm.insert(pcm.end(), s, s + n);
            return true;
        },
        rate);
    return !pcm.empty();
}

namespace {

// Decodes a whole file to mono 16-bit at its own rate.
bool decodeNative(const std::filesystem::path &file, std::vector<std::int16_t> &pcm, long &rate)
{
    pcm.clear();
    rate = 0;
    Mp3Reader reader(MPG123_FORCE_MONO | MPG123_IGNORE_INFOFRAME);
    mpg123_handle *h = reader.handle();
    if (!h)
        return false;
    mpg123_format_none(h);
    for (long r : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(h, r, MPG123_MONO, MPG123_ENC_SIGNED_16);
    if (!reader.open(file))
        return false;
    std::vector<unsigned char> buf(1 << 16);
    for (;;) {
        size_t got = 0;
        const int r = mpg123_read(h, buf.data(), buf.size(), &got);
        if (r == MPG123_NEW_FORMAT) {
            long now = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(h, &now, &channels, &encoding);
            if (rate != 0 && now != rate)
                break;  // a stream that changes its rate: keep the first part
            rate = now;
        }
        if (got >= 2) {
            const auto *s = reinterpret_cast<const std::int16_t *>(buf.data());
            pcm.insert(pcm.end(), s, s + got / 2);
        }
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT)
            break;  // done, or a damaged tail: keep what decoded
    }
    return !pcm.empty() && rate > 0;
}

}  // namespace

bool decodeFile(const std::filesystem::path &file, const PcmSink &sink, int rate)
{
    // The Info frame only serves gapless trimming here, a few milliseconds of
    // another encoder's delay; a forged one kept a single read busy for over
    // a minute on 450 bytes, holding a request worker.
    Mp3Reader reader(MPG123_FORCE_MONO | MPG123_IGNORE_INFOFRAME);
    mpg123_handle *h = reader.handle();
    if (!h)
        return false;
    // Any source rate is brought to the one asked for; the library resamples.
    mpg123_param(h, MPG123_FORCE_RATE, rate, 0);
    mpg123_format_none(h);
    if (mpg123_format(h, rate, MPG123_MONO, MPG123_ENC_SIGNED_16) != MPG123_OK)
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

ReadResult readForJoin(const std::filesystem::path &file, int rate)
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
            if (info.layer != 3 || info.rate != rate || info.mode != MPG123_M_MONO)
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

    // A valid MP3 in another format or at another rate: bring it to the
    // join's once, the slow way. Resampled with libswresample where the
    // build has it, else by mpg123 as it decodes.
    result = ReadResult{};
    std::vector<std::int16_t> pcm, atRate;
    long native = 0;
    if (decodeNative(file, pcm, native) && resample(pcm.data(), pcm.size(), static_cast<int>(native), rate, atRate)) {
        pcm.swap(atRate);
    } else if (!decodeFile(file, pcm, rate)) {
        result.reason = "cannot decode";
        return result;
    }
    Encoded enc;
    if (!encode(pcm.data(), pcm.size(), rate, enc) || enc.frames <= 0 || enc.sampleRate != rate) {
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
