#include "SubtitleImport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>

#include <algorithm>

namespace SubtitleImport {

namespace {

const QString arrow = QStringLiteral("-->");

QStringList splitLines(const QString &text)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    return text.split(lineEnd);
}

bool isBlank(const QString &line)
{
    return line.trimmed().isEmpty();
}

bool isNumberLine(const QString &line)
{
    static const QRegularExpression number(QStringLiteral("^\\s*\\d+\\s*$"));
    return number.match(line).hasMatch();
}

// Blocks of non-blank lines, with the file line of each block's first line.
struct Block {
    int firstLine = 0; // from 1
    QStringList lines;
};

QVector<Block> blocksOf(const QStringList &lines)
{
    QVector<Block> blocks;
    Block current;
    for (int i = 0; i < lines.size(); ++i) {
        if (isBlank(lines[i])) {
            if (!current.lines.isEmpty())
                blocks.append(current);
            current = Block{};
            continue;
        }
        if (current.lines.isEmpty())
            current.firstLine = i + 1;
        current.lines.append(lines[i]);
    }
    if (!current.lines.isEmpty())
        blocks.append(current);
    return blocks;
}

// The cue's words on one line: each line stripped, blanks collapsed, lines
// joined by a blank.
QString joinText(const QStringList &lines, bool entities)
{
    QStringList words;
    for (const QString &line : lines) {
        QString clean = stripStyling(line);
        if (entities) {
            clean.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                .replace(QStringLiteral("&nbsp;"), QStringLiteral(" "))
                .replace(QStringLiteral("&lrm;"), QString())
                .replace(QStringLiteral("&rlm;"), QString())
                .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
                .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
                .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        }
        clean = clean.simplified();
        if (!clean.isEmpty())
            words.append(clean);
    }
    return words.join(QLatin1Char(' '));
}

// Reads "start --> end [settings]" into a cue, or says what is wrong with it.
std::optional<Problem> readTiming(const QString &line, Cue &cue)
{
    const int at = line.indexOf(arrow);
    if (at < 0)
        return Problem::UnreadableTime;
    const QStringView left = QStringView(line).left(at);
    // Settings may follow the end time (WebVTT's "align:start", old SRT's
    // "X1:…"): only the first word after the arrow is the time.
    const QString right = line.mid(at + arrow.size()).trimmed();
    const QString endWord = right.section(QRegularExpression(QStringLiteral("\\s+")), 0, 0);
    const auto start = parseTime(left);
    const auto end = parseTime(endWord);
    if (!start || !end)
        return Problem::UnreadableTime;
    if (*end < *start)
        return Problem::EndBeforeStart;
    cue.startMs = *start;
    cue.endMs = *end;
    return std::nullopt;
}

Issue issueOf(Problem problem, const Cue &cue)
{
    Issue issue;
    issue.problem = problem;
    issue.id = cue.id;
    issue.line = cue.line;
    return issue;
}

// One cue block: optional id line, timing line, text lines. `timing` is the
// index of the timing line in `lines`, -1 when there is none.
void addCue(const QStringList &lines, int firstLine, int timing, bool hasIdLine, bool entities, Result &result)
{
    Cue cue;
    cue.line = firstLine;
    if (hasIdLine)
        cue.id = lines.first().trimmed();
    if (timing < 0) {
        result.skipped.append(issueOf(Problem::UnreadableTime, cue));
        return;
    }
    if (const auto problem = readTiming(lines[timing], cue)) {
        result.skipped.append(issueOf(*problem, cue));
        return;
    }
    cue.text = joinText(lines.mid(timing + 1), entities);
    if (cue.text.isEmpty()) {
        result.skipped.append(issueOf(Problem::NoText, cue));
        return;
    }
    result.cues.append(cue);
}

// Sorted by start; every cue that starts before an earlier one has ended is
// reported against the one that ends last.
void finish(Result &result)
{
    std::stable_sort(result.cues.begin(), result.cues.end(),
                     [](const Cue &a, const Cue &b) { return a.startMs < b.startMs; });
    int latest = -1;
    for (int i = 0; i < result.cues.size(); ++i) {
        const Cue &cue = result.cues[i];
        if (latest >= 0 && cue.startMs < result.cues[latest].endMs) {
            Issue issue = issueOf(Problem::Overlap, cue);
            issue.otherId = result.cues[latest].id;
            issue.otherLine = result.cues[latest].line;
            result.overlaps.append(issue);
        }
        if (latest < 0 || cue.endMs > result.cues[latest].endMs)
            latest = i;
    }
}

QString label(const QString &id, int line)
{
    if (id.isEmpty())
        return QStringLiteral("第 %1 行的字幕").arg(line);
    return QStringLiteral("字幕 %1（第 %2 行）").arg(id).arg(line);
}

} // namespace

std::optional<Format> formatOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("srt"))
        return Format::Srt;
    if (suffix == QLatin1String("vtt"))
        return Format::Vtt;
    if (suffix == QLatin1String("lrc"))
        return Format::Lrc;
    return std::nullopt;
}

QString decodeText(const QByteArray &bytes)
{
    auto decodeWith = [&](const char *codec, int skip) {
        QString text = QTextCodec::codecForName(codec)->toUnicode(bytes.constData() + skip, bytes.size() - skip);
        return text;
    };
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeWith("UTF-8", 3);
    if (bytes.startsWith("\xFF\xFE"))
        return decodeWith("UTF-16LE", 2);
    if (bytes.startsWith("\xFE\xFF"))
        return decodeWith("UTF-16BE", 2);
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    const QString utf8 = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return utf8;
    // Chinese subtitles without a BOM that are not UTF-8 are nearly always
    // GBK, which GB18030 contains.
    return decodeWith("GB18030", 0);
}

std::optional<qint64> parseTime(QStringView text)
{
    static const QRegularExpression clock(
        QStringLiteral("^\\s*(?:(\\d{1,3}):)?(\\d{1,2}):(\\d{1,2})(?:[,.](\\d{1,3}))?\\s*$"));
    const QRegularExpressionMatch m = clock.match(text.toString());
    if (!m.hasMatch())
        return std::nullopt;
    const qint64 hours = m.capturedRef(1).isEmpty() ? 0 : m.capturedRef(1).toLongLong();
    const qint64 minutes = m.capturedRef(2).toLongLong();
    const qint64 seconds = m.capturedRef(3).toLongLong();
    if (minutes >= 60 || seconds >= 60)
        return std::nullopt;
    QString fraction = m.captured(4);
    while (fraction.size() < 3)
        fraction.append(QLatin1Char('0'));
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + fraction.toLongLong();
}

QString stripStyling(const QString &text)
{
    static const QRegularExpression overrides(QStringLiteral("\\{\\\\[^{}]*\\}"));
    static const QRegularExpression tags(QStringLiteral("</?[A-Za-z][^<>]*>"));
    static const QRegularExpression wordTimes(QStringLiteral("<\\d{1,3}:\\d{1,2}(?::\\d{1,2})?(?:[.,]\\d{1,3})?>"));
    QString clean = text;
    clean.remove(overrides).remove(tags).remove(wordTimes);
    clean.replace(QStringLiteral("\\N"), QStringLiteral(" ")).replace(QStringLiteral("\\n"), QStringLiteral(" "));
    return clean;
}

Result parse(const QString &text, Format format)
{
    switch (format) {
    case Format::Srt:
        return parseSrt(text);
    case Format::Vtt:
        return parseVtt(text);
    case Format::Lrc:
        return parseLrc(text);
    }
    return {};
}

Result parseSrt(const QString &text)
{
    Result result;
    QString body = text;
    if (body.startsWith(QChar(0xFEFF)))
        body.remove(0, 1);
    for (const Block &block : blocksOf(splitLines(body))) {
        const QStringList &lines = block.lines;
        QVector<int> timings;
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].contains(arrow))
                timings.append(i);
        if (timings.isEmpty()) {
            // No time at all: a cue whose time line is broken beyond
            // recognition, named by its number when it has one.
            addCue(lines, block.firstLine, -1, isNumberLine(lines.first()) && lines.size() > 1, false, result);
            continue;
        }
        // Cues not parted by a blank line: each time line starts one, the
        // number just above it belonging to it.
        for (int k = 0; k < timings.size(); ++k) {
            const int timing = timings[k];
            const bool idLine = timing > 0 && isNumberLine(lines[timing - 1]) &&
                                (k == 0 || timing - 1 > timings[k - 1]);
            const int from = idLine ? timing - 1 : (k == 0 ? 0 : timing);
            int to = k + 1 < timings.size() ? timings[k + 1] : lines.size();
            if (k + 1 < timings.size() && to - 1 > timing && isNumberLine(lines[to - 1]))
                --to;
            addCue(lines.mid(from, to - from), block.firstLine + from, timing - from, idLine, false, result);
        }
    }
    finish(result);
    return result;
}

Result parseVtt(const QString &text)
{
    Result result;
    QString body = text;
    if (body.startsWith(QChar(0xFEFF)))
        body.remove(0, 1);
    static const QRegularExpression notCue(QStringLiteral("^(WEBVTT|NOTE|STYLE|REGION)(\\s|$)"));
    for (const Block &block : blocksOf(splitLines(body))) {
        const QStringList &lines = block.lines;
        if (notCue.match(lines.first()).hasMatch())
            continue;
        // The time line is the first or, after the cue's identifier, the second.
        int timing = -1;
        if (lines.first().contains(arrow))
            timing = 0;
        else if (lines.size() > 1 && lines[1].contains(arrow))
            timing = 1;
        addCue(lines, block.firstLine, timing, timing == 1 || (timing < 0 && lines.size() > 1), true, result);
    }
    finish(result);
    return result;
}

Result parseLrc(const QString &text)
{
    static const QRegularExpression timeTag(QStringLiteral("^(\\d{1,3}):(\\d{1,2})(?:[.:](\\d{1,3}))?$"));
    static const QRegularExpression infoTag(QStringLiteral("^([A-Za-z#]+):(.*)$"));

    struct Entry {
        qint64 ms;
        QString text;
        int line;
    };
    Result result;
    QVector<Entry> entries;
    qint64 offset = 0;
    const QStringList lines = splitLines(text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text);
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        QVector<qint64> times;
        bool badTime = false;
        int pos = 0;
        // Leading tags: times, or information such as [ar:…] and [offset:…].
        while (pos < line.size() && line[pos] == QLatin1Char('[')) {
            const int close = line.indexOf(QLatin1Char(']'), pos);
            if (close < 0)
                break;
            const QString tag = line.mid(pos + 1, close - pos - 1).trimmed();
            const QRegularExpressionMatch t = timeTag.match(tag);
            const QRegularExpressionMatch info = infoTag.match(tag);
            if (t.hasMatch() && t.capturedRef(2).toInt() < 60) {
                QString fraction = t.captured(3);
                while (fraction.size() < 3)
                    fraction.append(QLatin1Char('0'));
                times.append((t.capturedRef(1).toLongLong() * 60 + t.capturedRef(2).toLongLong()) * 1000 +
                             fraction.toLongLong());
            } else if (!tag.isEmpty() && tag[0].isDigit()) {
                badTime = true;
            } else if (info.hasMatch()) {
                if (info.captured(1).compare(QLatin1String("offset"), Qt::CaseInsensitive) == 0)
                    offset = info.captured(2).trimmed().toLongLong();
            } else {
                break; // words that happen to start with a bracket
            }
            pos = close + 1;
        }
        if (badTime) {
            Cue cue;
            cue.line = i + 1;
            result.skipped.append(issueOf(Problem::UnreadableTime, cue));
        }
        const QString words = joinText({line.mid(pos)}, false);
        for (qint64 ms : times)
            entries.append({ms, words, i + 1});
    }
    // A positive offset shows the words sooner.
    for (Entry &e : entries)
        e.ms = std::max<qint64>(0, e.ms - offset);
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.ms < b.ms; });
    for (int k = 0; k < entries.size(); ++k) {
        if (entries[k].text.isEmpty())
            continue; // a bare time only ends the line before it
        Cue cue;
        cue.line = entries[k].line;
        cue.startMs = entries[k].ms;
        cue.endMs = cue.startMs + kLrcLastCueMs;
        for (int m = k + 1; m < entries.size(); ++m)
            if (entries[m].ms > cue.startMs) {
                cue.endMs = entries[m].ms;
                break;
            }
        cue.text = entries[k].text;
        result.cues.append(cue);
    }
    finish(result);
    return result;
}

bool readFile(const QString &path, Result &result, QString &error)
{
    const auto format = formatOf(path);
    if (!format) {
        error = QStringLiteral("不支持的字幕格式：%1（可导入 .srt、.vtt、.lrc）").arg(QFileInfo(path).fileName());
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("无法读取字幕文件：%1").arg(path);
        return false;
    }
    result = parse(decodeText(file.readAll()), *format);
    return true;
}

QString describe(const Issue &issue)
{
    const QString who = label(issue.id, issue.line);
    switch (issue.problem) {
    case Problem::UnreadableTime:
        return who + QStringLiteral("：时间无法识别，已跳过");
    case Problem::EndBeforeStart:
        return who + QStringLiteral("：结束时间早于开始时间，已跳过");
    case Problem::NoText:
        return who + QStringLiteral("：没有文字，已跳过");
    case Problem::Overlap:
        return who + QStringLiteral("与") + label(issue.otherId, issue.otherLine) + QStringLiteral("的时间重叠");
    }
    return who;
}

} // namespace SubtitleImport
