// MP3 in the one fixed format the service writes: every segment is encoded
// with the same parameters, so segments are joined by copying whole frames
// (no decoding, no re-encoding) and durations are exact frame counts. The
// sample rate is the one thing that varies: espeak-ng's 22050 Hz, or a
// neural model's own rate, kept up to the encoder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tavrel::mp3 {

constexpr int kSampleRate = 22050;       // espeak-ng's own rate: no resampling
constexpr int kBitrateKbps = 48;         // CBR, mono: clear speech, small files
constexpr int kSamplesPerFrame = 576;    // MPEG-2 layer III, at kSampleRate
constexpr int kDecoderDelay = 529;       // synthesis filterbank latency of every decoder
// LAME's "fast" mode: half the encoding time of its default (3). On espeak's
// Mandarin it even decodes closer to the input than the default does (24 dB
// against 20.5 dB signal-to-noise): the default's noise shaping is tuned for
// music. Encoding is most of the service's work.
constexpr int kLameQuality = 7;

// The rate PCM at `inRate` is encoded at: its own where MP3 has it (8000 …
// 48000 Hz), otherwise the next one above (48000 at most).
int encodedRate(int inRate);

// Samples per frame at an MP3 rate: 1152 from 32 kHz up (MPEG-1), else 576.
int samplesPerFrame(int rate);

// The rate of a file in the service's own format (mono layer III at
// kBitrateKbps, starting with a frame), read from its first header; 0 for
// anything else, which a join re-encodes.
int ownFormatRate(const std::filesystem::path &file);

// Brings mono PCM from one rate to another with libswresample (a
// band-limited resampler); false when it cannot.
bool resample(const std::int16_t *pcm, std::size_t count, int inRate, int outRate, std::vector<std::int16_t> &out);

struct Encoded {
    std::vector<std::uint8_t> bytes;
    int sampleRate = kSampleRate;  // of the MP3
    std::int64_t frames = 0;
    // Where input sample 0 is heard in the decoded file: LAME's encoder delay
    // plus the decoder's. Cue times are shifted by it.
    std::int64_t leadSamples = 0;
};

// Encodes mono PCM at `inRate` at encodedRate(inRate): no resampling
// unless MP3 has no such rate.
bool encode(const std::int16_t *pcm, std::size_t count, int inRate, Encoded &out);

// `count` frames of digital silence in the fixed format at an MP3 rate.
std::vector<std::uint8_t> silenceFrames(std::int64_t count, int rate = kSampleRate);

// Frames of silence closest to `ms` milliseconds (at least one if ms > 0).
std::int64_t framesForMilliseconds(std::int64_t ms, int rate = kSampleRate);

double framesToSeconds(std::int64_t frames, int rate = kSampleRate);

// One input of a join, read and checked with libmpg123.
struct ReadResult {
    bool usable = false;
    std::vector<std::uint8_t> frames;   // in the fixed format, ready to append
    std::int64_t frameCount = 0;
    // Where each frame ends in `frames`, when the frames were copied: lets a
    // join keep only the first n of them. Empty after a re-encoding.
    std::vector<std::size_t> frameEnds;
    // Extra delay added when the input had to be re-encoded (its own cue
    // times move by this much).
    std::int64_t shiftSamples = 0;
    std::string reason;                 // why it is not usable
};

// Reads an MP3 file for a join at `rate`: files in the fixed format at that
// rate are taken frame by frame; other valid MP3 files (another rate, another
// format) are decoded, resampled and re-encoded; anything else is unusable.
ReadResult readForJoin(const std::filesystem::path &file, int rate = kSampleRate);

// Decodes a whole file to mono 16-bit at `rate` (tests and fallbacks).
bool decodeFile(const std::filesystem::path &file, std::vector<std::int16_t> &pcm, int rate = kSampleRate);

// The same, handing the samples over piece by piece as they are decoded; a
// sink that returns false stops it. True when something decoded and the sink
// took all of it.
using PcmSink = std::function<bool(const std::int16_t *samples, std::size_t count)>;
bool decodeFile(const std::filesystem::path &file, const PcmSink &sink, int rate = kSampleRate);

}  // namespace tavrel::mp3
