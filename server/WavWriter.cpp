#include "WavWriter.h"

#include "Mp3Codec.h"
#include "PendingFile.h"

#include <cstring>

namespace tavrel {

namespace {

// Samples are written as they lie in memory: WAV is little-endian, and so is
// every machine the service runs on.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);

void putLe(std::uint8_t *at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::array<std::uint8_t, 44> wavHeader(std::uint32_t dataBytes, int rate)
{
    std::array<std::uint8_t, 44> h{};
    std::memcpy(h.data(), "RIFF", 4);
    putLe(h.data() + 4, 36 + dataBytes, 4);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    putLe(h.data() + 16, 16, 4);                      // format chunk size
    putLe(h.data() + 20, 1, 2);                       // PCM
    putLe(h.data() + 22, 1, 2);                       // mono
    putLe(h.data() + 24, static_cast<std::uint32_t>(rate), 4);
    putLe(h.data() + 28, static_cast<std::uint32_t>(rate) * 2, 4);  // bytes per second
    putLe(h.data() + 32, 2, 2);                       // bytes per sample frame
    putLe(h.data() + 34, 16, 2);                      // bits per sample
    std::memcpy(h.data() + 36, "data", 4);
    putLe(h.data() + 40, dataBytes, 4);
    return h;
}

Outcome writeWav(const std::filesystem::path &mp3, PendingFile &file, int rate)
{
    if (!file.isOpen())
        return {false, "无法写入文件夹"};
    constexpr std::uint64_t kMaxData = 0xFFFFFFFFull - 36;
    std::uint64_t dataBytes = 0;
    bool tooLong = false;
    const auto placeholder = wavHeader(0, rate);
    if (!file.write(placeholder.data(), placeholder.size()))
        return {false, "写入文件失败"};
    const bool decoded = mp3::decodeFile(mp3, [&](const std::int16_t *s, std::size_t n) {
        dataBytes += 2 * n;
        if (dataBytes > kMaxData) {
            tooLong = true;
            return false;
        }
        return file.write(s, 2 * n);
    }, rate);
    if (tooLong)
        return {false, "音频过长，无法写成 WAV 文件"};
    if (!decoded)
        return {false, "写入 WAV 文件失败"};
    const auto header = wavHeader(static_cast<std::uint32_t>(dataBytes), rate);
    if (!file.writeAt(0, header.data(), header.size()) || !file.close())
        return {false, "写入文件失败"};
    return {true, {}};
}

}  // namespace tavrel
