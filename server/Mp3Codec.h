// MP3 in the one fixed format the service writes: every segment is encoded
// with the same parameters, so segments are joined by copying whole frames
// (no decoding, no re-encoding) and durations are exact frame counts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tavrel::mp3 {

constexpr int kSampleRate = 22050;       // espeak-ng's own rate: no resampling
constexpr int kBitrateKbps = 48;         // CBR, mono: clear speech, small files
constexpr int kSamplesPerFrame = 576;    // MPEG-2 layer III
constexpr int kDecoderDelay = 529;       // synthesis filterbank latency of every decoder
// LAME's "fast" mode: half the encoding time of its default (3). On espeak's
// Mandarin it even decodes closer to the input than the default does (24 dB
// against 20.5 dB signal-to-noise): the default's noise shaping is tuned for
// music. Encoding is most of the service's work.
constexpr int kLameQuality = 7;

struct Encoded {
    std::vector<std::uint8_t> bytes;
    std::int64_t frames = 0;
    // Where input sample 0 is heard in the decoded file: LAME's encoder delay
    // plus the decoder's. Cue times are shifted by it.
    std::int64_t leadSamples = 0;
};

// Encodes mono PCM at `inRate` (resampled to kSampleRate if it differs).
bool encode(const std::int16_t *pcm, std::size_t count, int inRate, Encoded &out);

// `count` frames of digital silence in the fixed format.
std::vector<std::uint8_t> silenceFrames(std::int64_t count);

// Frames of silence closest to `ms` milliseconds (at least one if ms > 0).
std::int64_t framesForMilliseconds(std::int64_t ms);

double framesToSeconds(std::int64_t frames);

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

// Reads an MP3 file: files in the fixed format are taken frame by frame;
// other valid MP3 files are decoded and re-encoded; anything else is unusable.
ReadResult readForJoin(const std::filesystem::path &file);

// Decodes a whole file to mono 16-bit at kSampleRate (tests and fallbacks).
bool decodeFile(const std::filesystem::path &file, std::vector<std::int16_t> &pcm);

// The same, handing the samples over piece by piece as they are decoded; a
// sink that returns false stops it. True when something decoded and the sink
// took all of it.
using PcmSink = std::function<bool(const std::int16_t *samples, std::size_t count)>;
bool decodeFile(const std::filesystem::path &file, const PcmSink &sink);

}  // namespace tavrel::mp3
