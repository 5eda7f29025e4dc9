#pragma once

#include <QString>

// Length of an MP3 file in seconds, found by decoding it with libmpg123 (an
// opinion independent of the player and of the service); -1 when it cannot be
// decoded.
double mp3Seconds(const QString &path);
