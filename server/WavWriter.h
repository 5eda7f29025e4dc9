// output.wav: the joined MP3 decoded again into 16-bit mono PCM at the
// service's rate, behind a plain WAV header.
#pragma once

#include "Outcome.h"

#include <array>
#include <cstdint>
#include <filesystem>

namespace tavrel {

class PendingFile;

// The 44-byte header of a 16-bit mono PCM WAV file at the service's rate.
std::array<std::uint8_t, 44> wavHeader(std::uint32_t dataBytes, int rate = 22050);

// Decodes the MP3 file `mp3` into `file` (opened, not yet written) as WAV and
// closes it; the outcome's message says why when it fails.
// `rate` is the MP3's own: the samples are taken as they decode.
Outcome writeWav(const std::filesystem::path &mp3, PendingFile &file, int rate = 22050);

}  // namespace tavrel
