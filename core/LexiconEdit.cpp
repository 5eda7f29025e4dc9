#include "LexiconEdit.h"

#include "ReadingText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace LexiconEdit {

namespace {

const QByteArray bom("\xEF\xBB\xBF");
const QByteArray ideographicSpace("\xE3\x80\x80");

// Blanks around a word or reading, as the service trims them: ASCII blanks
// and the ideographic space.
QByteArray trimmed(QByteArray bytes)
{
    for (;;) {
        if (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.front() == '\t' || bytes.front() == '\r'))
            bytes.remove(0, 1);
        else if (bytes.startsWith(ideographicSpace))
            bytes.remove(0, ideographicSpace.size());
        else
            break;
    }
    for (;;) {
        if (!bytes.isEmpty() && (bytes.back() == ' ' || bytes.back() == '\t' || bytes.back() == '\r'))
            bytes.chop(1);
        else if (bytes.endsWith(ideographicSpace))
            bytes.chop(ideographicSpace.size());
        else
            break;
    }
    return bytes;
}

bool hasKana(const QString &text)
{
    for (const uint c : text.toUcs4()) {
        if (ReadingText::isKana(c))
            return true;
    }
    return false;
}

// The word of an entry line, and whether its reading is kana; an empty word
// for comments, blank lines and lines without a tab.
struct LineEntry {
    QByteArray word;
    bool kana = false;
};

LineEntry entryOf(const QByteArray &body)
{
    const QByteArray content = trimmed(body);
    if (content.isEmpty() || content.startsWith('#'))
        return {};
    const int tab = body.indexOf('\t');
    if (tab < 0)
        return {};
    return {trimmed(body.left(tab)), hasKana(QString::fromUtf8(body.mid(tab + 1)))};
}

} // namespace

QByteArray withEntry(const QByteArray &content, const QString &word, const QString &reading)
{
    const QByteArray wanted = word.trimmed().toUtf8();
    const bool kana = hasKana(reading);
    const QByteArray line = wanted + '\t' + reading.trimmed().toUtf8();

    QByteArray out;
    out.reserve(content.size() + line.size() + 2);
    int pos = 0;
    if (content.startsWith(bom)) {
        out += bom;
        pos = bom.size();
    }
    // New lines end the way the file's first line does.
    const int firstBreak = content.indexOf('\n', pos);
    const QByteArray eol = firstBreak > pos && content.at(firstBreak - 1) == '\r' ? "\r\n" : "\n";

    bool placed = false;
    while (pos < content.size()) {
        const int lineBreak = content.indexOf('\n', pos);
        const int end = lineBreak < 0 ? content.size() : lineBreak + 1;
        const QByteArray whole = content.mid(pos, end - pos);
        pos = end;
        QByteArray body = whole;
        if (body.endsWith('\n'))
            body.chop(1);
        if (body.endsWith('\r'))
            body.chop(1);

        const LineEntry entry = entryOf(body);
        if (entry.word.isEmpty() || entry.word != wanted || entry.kana != kana) {
            out += whole;
        } else if (!placed) {
            // In the old line's place, with the old line's own ending.
            out += line + whole.mid(body.size());
            placed = true;
        }
        // Later lines for the same word would win in the service: they go.
    }
    if (!placed) {
        if (!out.isEmpty() && !out.endsWith('\n') && out != bom)
            out += eol;
        out += line + eol;
    }
    return out;
}

Outcome writeEntry(const QString &path, const QString &word, const QString &reading)
{
    Outcome outcome;
    const QString name = QFileInfo(path).fileName();
    for (const QString &text : {word, reading}) {
        if (text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
            outcome.error = QStringLiteral("词和读音中不能有制表符或换行");
            return outcome;
        }
    }
    if (word.trimmed().isEmpty() || reading.trimmed().isEmpty()) {
        outcome.error = QStringLiteral("词和读音都不能为空");
        return outcome;
    }
    if (word.trimmed().startsWith(QLatin1Char('#'))) {
        outcome.error = QStringLiteral("词不能以“#”开头，那样的行是注释");
        return outcome;
    }

    QByteArray content;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            outcome.error = QStringLiteral("无法读取 %1：%2").arg(name, old.errorString());
            return outcome;
        }
        content = old.readAll();
        if (old.error() != QFileDevice::NoError) {
            outcome.error = QStringLiteral("无法读取 %1：%2").arg(name, old.errorString());
            return outcome;
        }
        old.close();
    }

    // Written beside the old file and renamed over it: the old one stays
    // whole until the new one is complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        outcome.error = QStringLiteral("无法写入 %1：%2").arg(name, file.errorString());
        return outcome;
    }
    const QByteArray updated = withEntry(content, word, reading);
    if (file.write(updated) != updated.size() || !file.commit()) {
        outcome.error = QStringLiteral("无法写入 %1：%2").arg(name, file.errorString());
        file.cancelWriting();
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

} // namespace LexiconEdit
