#include "ScriptFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextCodec>

namespace ScriptFile {

namespace {

bool decodeWith(const char *codecName, const QByteArray &bytes, QString *text)
{
    QTextCodec *codec = QTextCodec::codecForName(codecName);
    if (!codec)
        return false;
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    const QString decoded = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return false;
    *text = decoded;
    return true;
}

// Qt's GB18030 decoder neither counts bad bytes nor reports a sequence cut
// short at the end; text that does not encode back to the same bytes was no
// GB18030.
bool decodeGb18030(const QByteArray &bytes, QString *text)
{
    QTextCodec *codec = QTextCodec::codecForName("GB18030");
    if (!codec)
        return false;
    const QString decoded = codec->toUnicode(bytes);
    if (decoded.contains(QChar::ReplacementCharacter) || codec->fromUnicode(decoded) != bytes)
        return false;
    *text = decoded;
    return true;
}

} // namespace

bool decodeUtf8(const QByteArray &bytes, QString *text)
{
    // A NUL byte is valid UTF-8, but no text editor writes one.
    if (bytes.contains('\0'))
        return false;
    return decodeWith("UTF-8", bytes, text);
}

Decoded decode(const QByteArray &bytes)
{
    Decoded result;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        result.encoding = Encoding::Utf8Bom;
        result.ok = decodeUtf8(bytes.mid(3), &result.text);
    } else if (bytes.startsWith("\xFF\xFE")) {
        result.encoding = Encoding::Utf16LE;
        result.ok = bytes.size() % 2 == 0 && decodeWith("UTF-16LE", bytes.mid(2), &result.text);
    } else if (bytes.startsWith("\xFE\xFF")) {
        result.encoding = Encoding::Utf16BE;
        result.ok = bytes.size() % 2 == 0 && decodeWith("UTF-16BE", bytes.mid(2), &result.text);
    } else if (decodeUtf8(bytes, &result.text)) {
        result.encoding = Encoding::Utf8;
        result.ok = true;
    } else {
        result.encoding = Encoding::Gb18030;
        result.ok = !bytes.contains('\0') && decodeGb18030(bytes, &result.text);
    }
    if (!result.ok)
        result.text.clear();
    return result;
}

QByteArray encode(const QString &text)
{
    return text.toUtf8();
}

ReadResult read(const QString &path)
{
    ReadResult result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = QStringLiteral("文件不存在：") + path;
        return result;
    }
    if (!info.isFile()) {
        result.error = QStringLiteral("不是文件：") + path;
        return result;
    }
    if (info.size() > maxBytes) {
        result.error = QStringLiteral("文件过大，不像是文案：") + path;
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("无法读取文件：") + path + QStringLiteral("（") + file.errorString()
            + QStringLiteral("）");
        return result;
    }
    // Read one byte past the limit: the file may have grown since it was looked at.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        result.error = QStringLiteral("文件过大，不像是文案：") + path;
        return result;
    }
    const Decoded decoded = decode(bytes);
    if (!decoded.ok) {
        result.error = QStringLiteral("无法识别文件的编码，请保存为 UTF-8 或 GB18030 文本：") + path;
        return result;
    }
    result.ok = true;
    result.text = decoded.text;
    result.encoding = decoded.encoding;
    return result;
}

bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok && error)
        *error = file.errorString();
    // An unfinished save file removes its temporary file when it goes.
    return ok;
}

} // namespace ScriptFile
