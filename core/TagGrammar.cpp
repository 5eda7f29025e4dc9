#include "TagGrammar.h"

#include <QStringView>

namespace TagGrammar {

const QString &endMarker()
{
    static const QString marker = QString(QChar(tagOpen)) + QChar(tagClose);
    return marker;
}

const QRegularExpression &voiceTag()
{
    static const QRegularExpression expression(QString(QChar(tagOpen)) + QStringLiteral("([^") + QChar(tagClose)
                                               + QStringLiteral("]+)") + QChar(tagClose));
    return expression;
}

Tag findTag(const QString &text, int from)
{
    Tag tag;
    const QRegularExpressionMatch match = voiceTag().match(text, from);
    if (!match.hasMatch())
        return tag;
    tag.start = match.capturedStart(0);
    tag.end = match.capturedEnd(0);
    tag.voice = match.captured(1);
    return tag;
}

int lastTagStart(const QString &text)
{
    // Matches may overlap, so search again one character after each start.
    int last = -1;
    for (int at = findTag(text).start; at >= 0; at = findTag(text, at + 1).start)
        last = at;
    return last;
}

int lastEndMarker(const QString &text)
{
    return text.lastIndexOf(endMarker());
}

bool isTaggable(const QString &voice)
{
    return !voice.isEmpty() && !voice.contains(QChar(tagClose));
}

QString taggedPassage(const QString &voice, const QString &passage)
{
    return QChar(tagOpen) + voice + QChar(tagClose) + passage + endMarker();
}

PassageFinder::PassageFinder(const QStringList &names)
{
    for (const QString &name : names) {
        // The name is literal text: "+" or "." in it must match only itself.
        allRules.append(QRegularExpression(pattern(name)));
        if (name.isEmpty() || name.contains(QChar(tagOpen)) || name.contains(QChar(tagClose))
            || !QStringView(name).isValidUtf16())
            otherRules.append(allRules.last());
        else
            plainNames.insert(name);
    }
}

QString PassageFinder::pattern(const QString &name)
{
    return QChar(tagOpen) + QRegularExpression::escape(name) + QChar(tagClose) + QStringLiteral("([^")
        + QChar(tagOpen) + QStringLiteral("]+)") + endMarker();
}

void PassageFinder::matchAll(const QVector<QRegularExpression> &rules, const QString &line,
                             QVector<QPair<int, int>> &found)
{
    for (const QRegularExpression &rule : rules) {
        QRegularExpressionMatchIterator matches = rule.globalMatch(line);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            found.append({match.capturedStart(0), match.capturedLength(0)});
        }
    }
}

QVector<QPair<int, int>> PassageFinder::passages(const QString &line) const
{
    QVector<QPair<int, int>> found;
    // Every pattern starts with 「.
    int open = line.indexOf(QChar(tagOpen));
    if (open < 0)
        return found;
    if (!QStringView(line).isValidUtf16()) {
        matchAll(allRules, line, found);
        return found;
    }
    matchAll(otherRules, line, found);

    // The first 」 after a 「, and the first 「 after that, only move forward
    // from one 「 to the next; keeping them keeps the scan linear.
    int close = -1;
    int end = -1;
    while (open >= 0) {
        if (close <= open) {
            close = line.indexOf(QChar(tagClose), open + 1);
            if (close < 0)
                break; // no later tag can be complete either
            end = line.indexOf(QChar(tagOpen), close + 1);
            if (end < 0)
                break; // nor can any later passage end
        }
        const int text = close + 1;
        if (end > text && end + 1 < line.size() && line.at(end + 1) == QChar(tagClose)
            && plainNames.contains(QString::fromRawData(line.constData() + open + 1, close - open - 1)))
            found.append({open, end + 2 - open});
        open = line.indexOf(QChar(tagOpen), open + 1);
    }
    return found;
}

} // namespace TagGrammar
