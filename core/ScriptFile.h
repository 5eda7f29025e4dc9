#pragma once

#include <QByteArray>
#include <QString>

// Reading and writing a script as a text file. Scripts are written as UTF-8
// without a byte order mark; reading also takes what Chinese users' editors
// write: UTF-8 with a mark, UTF-16 with a mark, and GB18030 (which includes
// GBK and GB2312).
namespace ScriptFile {

enum class Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Gb18030 };

struct Decoded {
    bool ok = false;
    QString text;
    Encoding encoding = Encoding::Utf8;
};

// A byte order mark decides; without one, text that is valid UTF-8 is UTF-8
// and anything else GB18030, as long as that decodes without a fault. Bytes
// that are neither (a NUL outside UTF-16, a broken sequence) are not a script.
Decoded decode(const QByteArray &bytes);

// Strict UTF-8: false for a broken sequence or a NUL.
bool decodeUtf8(const QByteArray &bytes, QString *text);

// UTF-8, no mark.
QByteArray encode(const QString &text);

// Files larger than this are not read: no script is that long, and reading a
// stray disk image into the editor would only stall the program.
constexpr qint64 maxBytes = 64 * 1024 * 1024;

struct ReadResult {
    bool ok = false;
    QString text;
    Encoding encoding = Encoding::Utf8;
    QString error; // in Chinese, for the user
};
ReadResult read(const QString &path);

// Writes into a temporary file beside `path` and renames it over `path` only
// once every byte is written, so the old file is never cut short: a failure
// or a crash leaves it as it was.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace ScriptFile
