#include "Mp3Duration.h"

#include <QFile>

#include <mpg123.h>

#include <vector>

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
