#include "Mp3Duration.h"

#include <QFile>

#include <mpg123.h>

#include <cmath>
#include <vector>

namespace {

// The file as mono 16-bit samples at its own rate; false when it cannot be decoded.
bool decodeMono(const QString &path, std::vector<short> &samples, long &rate)
{
    mpg123_init();
    int error = MPG123_OK;
    mpg123_handle *handle = mpg123_new(nullptr, &error);
    if (!handle)
        return false;
    bool ok = false;
    if (mpg123_open(handle, QFile::encodeName(path).constData()) == MPG123_OK) {
        int channels = 0, encoding = 0;
        if (mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK && rate > 0) {
            mpg123_format_none(handle);
            mpg123_format(handle, rate, MPG123_MONO, MPG123_ENC_SIGNED_16);
            std::vector<short> buffer(32768);
            ok = true;
            for (;;) {
                size_t done = 0;
                const int result =
                    mpg123_read(handle, reinterpret_cast<unsigned char *>(buffer.data()), buffer.size() * 2, &done);
                samples.insert(samples.end(), buffer.begin(), buffer.begin() + long(done / 2));
                if (result == MPG123_DONE)
                    break;
                if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
                    ok = false;
                    break;
                }
            }
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return ok;
}

} // namespace

QVector<double> mp3SpeechOnsetsMs(const QString &path, int minGapMs)
{
    std::vector<short> samples;
    long rate = 0;
    QVector<double> onsets;
    if (!decodeMono(path, samples, rate))
        return onsets;
    const size_t window = size_t(rate / 100);
    int quiet = minGapMs / 10;
    for (size_t i = 0; window > 0 && i + window <= samples.size(); i += window) {
        double sum = 0;
        for (size_t k = i; k < i + window; ++k)
            sum += double(samples[k]) * samples[k];
        const bool loud = std::sqrt(sum / double(window)) > 300;
        if (loud && quiet * 10 >= minGapMs)
            onsets.append(double(i) * 1000.0 / double(rate));
        quiet = loud ? 0 : quiet + 1;
    }
    return onsets;
}

long mp3SampleRate(const QString &path)
{
    mpg123_init();
    int error = MPG123_OK;
    mpg123_handle *handle = mpg123_new(nullptr, &error);
    if (!handle)
        return 0;
    long rate = 0;
    if (mpg123_open(handle, QFile::encodeName(path).constData()) == MPG123_OK) {
        int channels = 0, encoding = 0;
        if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
            rate = 0;
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return rate;
}

double mp3Seconds(const QString &path)
{
    mpg123_init();
    int error = MPG123_OK;
    mpg123_handle *handle = mpg123_new(nullptr, &error);
    if (!handle)
        return -1;
    double seconds = -1;
    if (mpg123_open(handle, QFile::encodeName(path).constData()) == MPG123_OK) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK && rate > 0 && channels > 0) {
            // Keep the format fixed for the whole file, so bytes count samples.
            mpg123_format_none(handle);
            mpg123_format(handle, rate, channels, MPG123_ENC_SIGNED_16);
            std::vector<unsigned char> buffer(65536);
            size_t total = 0;
            for (;;) {
                size_t done = 0;
                const int result = mpg123_read(handle, buffer.data(), buffer.size(), &done);
                total += done;
                if (result == MPG123_DONE)
                    break;
                if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
                    total = 0;
                    break;
                }
            }
            if (total > 0)
                seconds = double(total) / 2.0 / channels / rate;
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return seconds;
}
