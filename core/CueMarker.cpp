#include "CueMarker.h"

#include "TagGrammar.h"

#include <QRegularExpression>

namespace CueMarker {

namespace {

const QString arrow = QStringLiteral(" --> ");

// A bracket at the line's start, after blanks, closing on the same line and
// holding the arrow.
const QRegularExpression &markerShape()
{
    static const QRegularExpression shape(QStringLiteral("^[ \\t]*(\\[([^\\[\\]\\r\\n]*)-->([^\\[\\]\\r\\n]*)\\])"));
    return shape;
}

} // namespace

QString formatTime(qint64 ms)
{
    if (ms < 0)
        ms = 0;
    return QStringLiteral("%1:%2:%3,%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString marker(qint64 startMs, qint64 endMs)
{
    return QLatin1Char('[') + formatTime(startMs) + arrow + formatTime(endMs) + QLatin1Char(']');
}

QString scriptText(const QString &text)
{
    QString clean = text;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Quotation marks in Chinese and Japanese subtitles; in a script they
    // would open and close voice tags.
    clean.replace(QChar(TagGrammar::tagOpen), QChar(u'『')).replace(QChar(TagGrammar::tagClose), QChar(u'』'));
    return clean.trimmed();
}

QString scriptLine(qint64 startMs, qint64 endMs, const QString &text)
{
    return marker(startMs, endMs) + QLatin1Char(' ') + scriptText(text);
}

QStringList scriptLines(const QVector<SubtitleImport::Cue> &cues)
{
    QStringList lines;
    lines.reserve(cues.size());
    for (const SubtitleImport::Cue &cue : cues)
        lines.append(scriptLine(cue.startMs, cue.endMs, cue.text));
    return lines;
}

Line read(const QString &line)
{
    Line out;
    const QRegularExpressionMatch m = markerShape().match(line);
    if (!m.hasMatch()) {
        out.text = line;
        return out;
    }
    out.markerStart = m.capturedStart(1);
    out.markerLength = m.capturedLength(1);
    out.text = line.mid(m.capturedEnd(1)).trimmed();
    const auto start = SubtitleImport::parseTime(m.capturedRef(2));
    const auto end = SubtitleImport::parseTime(m.capturedRef(3));
    out.kind = (start && end && *end >= *start) ? Kind::Valid : Kind::Invalid;
    if (start)
        out.startMs = *start;
    if (end)
        out.endMs = *end;
    return out;
}

bool hasCueLines(const QString &script)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    for (const QString &line : script.split(lineEnd))
        if (read(line).kind == Kind::Valid)
            return true;
    return false;
}

QVector<Range> markerRanges(const QString &block)
{
    const Line line = read(block);
    if (line.kind == Kind::None)
        return {};
    return {Range{line.markerStart, line.markerLength, line.kind == Kind::Valid}};
}

} // namespace CueMarker
