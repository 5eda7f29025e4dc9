#include "Segmentation.h"

#include "CueMarker.h"
#include "ServiceContract.h"
#include "TagGrammar.h"
#include "VoiceCatalogue.h"

#include <QRegularExpression>
#include <QStringList>

namespace Segmentation {

namespace {

const QString fullWidthComma = QStringLiteral("，");

class Builder
{
public:
    explicit Builder(const QString &chooserVoice)
        : m_chooserVoice(chooserVoice)
    {
    }

    void append(const QString &text, const QString &voice)
    {
        if (!isSpeakable(text))
            return;
        m_passages.append(Passage{m_passages.size() + 1, text, voice, QString()});
    }

    void appendChooser(const QString &text) { append(text, m_chooserVoice); }

    // A passage after a voice tag: up to the first end marker it belongs to
    // the tag's voice; every later piece goes back to the chooser voice, each
    // a passage of its own, so that no text of the script is lost.
    void splitTaggedPassage(const QString &passage, const QString &tagVoice)
    {
        const QStringList pieces = passage.split(TagGrammar::endMarker(), Qt::KeepEmptyParts, Qt::CaseSensitive);
        append(pieces.first(), VoiceCatalogue::instance().voiceIdentifier(tagVoice));
        for (int i = 1; i < pieces.size(); ++i)
            appendChooser(pieces[i]);
    }

    QVector<Passage> passages() const { return m_passages; }

private:
    const QString &m_chooserVoice;
    QVector<Passage> m_passages;
};

} // namespace

QString fold(const QString &text)
{
    static const QRegularExpression commaRun(QStringLiteral("，{2,}"));
    QString folded = text;
    folded.replace(QLatin1Char('\n'), fullWidthComma);
    folded.replace(commaRun, fullWidthComma);
    return folded;
}

bool isSpeakable(const QString &piece)
{
    // trimmed() drops every kind of spacing, so this is stricter than
    // contract::isBlankText, the service's own test.
    return piece != fullWidthComma && !piece.trimmed().isEmpty();
}

QVector<Passage> passages(const QString &script, const QString &chooserVoice)
{
    Builder builder(chooserVoice);
    int scan = 0;
    QString tagVoice;

    for (;;) {
        const TagGrammar::Tag tag = TagGrammar::findTag(script, scan);
        if (!tag.found())
            break;
        const QString folded = fold(script.mid(scan, tag.start - scan));
        // Text before the first tag is plain chooser text; end markers in it mean nothing.
        if (scan == 0)
            builder.appendChooser(folded);
        else
            builder.splitTaggedPassage(folded, tagVoice);
        tagVoice = tag.voice;
        scan = tag.end;
    }

    const QString rest = fold(script.mid(scan));
    if (!tagVoice.isEmpty())
        builder.splitTaggedPassage(rest, tagVoice);
    else
        builder.appendChooser(rest);
    return builder.passages();
}

namespace {

// A stretch of text with one voice: a tag's as written (to be looked up),
// or the chooser's when `tagVoice` is empty.
struct VoicedSpan {
    int from = 0;
    int to = 0;
    QString tagVoice;
};

// Where each voice speaks, by the same rules as passages(): text before the
// first tag is the chooser's, end markers in it included; after a tag, its
// voice up to the first end marker, then the chooser's, piece by piece
// between end markers, up to the next tag.
QVector<VoicedSpan> voicedSpans(const QString &script)
{
    QVector<VoicedSpan> spans;
    const QString &marker = TagGrammar::endMarker();
    int scan = 0;
    QString tagVoice;
    for (;;) {
        const TagGrammar::Tag tag = TagGrammar::findTag(script, scan);
        const int regionEnd = tag.found() ? tag.start : script.size();
        if (tagVoice.isEmpty()) {
            spans.append({scan, regionEnd, QString()});
        } else {
            int from = scan;
            bool first = true;
            for (;;) {
                const int at = script.indexOf(marker, from);
                const int to = at < 0 || at + marker.size() > regionEnd ? regionEnd : at;
                spans.append({from, to, first ? tagVoice : QString()});
                first = false;
                if (to == regionEnd)
                    break;
                from = to + marker.size();
            }
        }
        if (!tag.found())
            break;
        tagVoice = tag.voice;
        scan = tag.end;
    }
    return spans;
}

QVector<Passage> passagesInSpans(const QString &script, const QVector<VoicedSpan> &spans, Range range,
                                 const QString &chooserVoice)
{
    QVector<Passage> out;
    for (const VoicedSpan &span : spans) {
        const int from = qMax(span.from, range.from);
        const int to = qMin(span.to, range.to);
        if (from >= to)
            continue;
        const QString piece = fold(script.mid(from, to - from));
        if (!isSpeakable(piece))
            continue;
        const QString voice = span.tagVoice.isEmpty() ? chooserVoice : VoiceCatalogue::instance().voiceIdentifier(span.tagVoice);
        out.append(Passage{out.size() + 1, piece, voice, QString()});
    }
    return out;
}

} // namespace

Range listenRange(const QString &script, int anchor, int position)
{
    const int from = qBound(0, qMin(anchor, position), script.size());
    const int to = qBound(0, qMax(anchor, position), script.size());
    if (from < to)
        return {from, to};
    // The line the cursor is on: both kinds of break the editor may hold.
    int start = from;
    while (start > 0 && script[start - 1] != QLatin1Char('\n') && script[start - 1] != QChar::ParagraphSeparator)
        --start;
    int end = from;
    while (end < script.size() && script[end] != QLatin1Char('\n') && script[end] != QChar::ParagraphSeparator)
        ++end;
    return {start, end};
}

QVector<Passage> passagesIn(const QString &script, Range range, const QString &chooserVoice)
{
    const QVector<VoicedSpan> spans = voicedSpans(script);
    // Cue markers are never spoken: the stretch is taken around them.
    QVector<Range> parts;
    int from = qBound(0, range.from, script.size());
    const int to = qBound(0, range.to, script.size());
    int lineStart = listenRange(script, from, from).from;
    while (lineStart < to) {
        int lineEnd = lineStart;
        while (lineEnd < script.size() && script[lineEnd] != QLatin1Char('\n') &&
               script[lineEnd] != QChar::ParagraphSeparator)
            ++lineEnd;
        const CueMarker::Line line = CueMarker::read(script.mid(lineStart, lineEnd - lineStart));
        if (line.kind != CueMarker::Kind::None) {
            const int markerFrom = lineStart + line.markerStart;
            const int markerTo = markerFrom + line.markerLength;
            if (from < markerFrom)
                parts.append({from, qMin(markerFrom, to)});
            from = qMax(from, markerTo);
        }
        lineStart = lineEnd + 1;
    }
    if (from < to)
        parts.append({from, to});

    QVector<Passage> out;
    for (const Range &part : qAsConst(parts)) {
        for (Passage passage : passagesInSpans(script, spans, part, chooserVoice)) {
            passage.number = out.size() + 1;
            out.append(passage);
        }
    }
    return out;
}

QVector<Passage> timelinePassages(const QString &script, const QString &chooserVoice, QStringList *skipped)
{
    const QVector<VoicedSpan> spans = voicedSpans(script);
    QVector<Passage> out;
    int cueNumber = 0;
    // The cue being gathered: its marker's line and where its text begins.
    CueMarker::Line cue;
    int cueLineNumber = 0;
    int textFrom = 0;

    auto flush = [&](int textTo) {
        if (cue.kind == CueMarker::Kind::Invalid) {
            if (skipped)
                skipped->append(QStringLiteral("第 %1 行：字幕时间无法识别或结束早于开始，未配音").arg(cueLineNumber));
            return;
        }
        const QVector<Passage> pieces = passagesInSpans(script, spans, {textFrom, textTo}, chooserVoice);
        if (pieces.isEmpty())
            return;
        QStringList texts;
        for (const Passage &piece : pieces)
            texts.append(piece.text);
        // The blank after the marker and the commas of line breaks at either
        // end are no part of what the cue says.
        QString text = texts.join(QLatin1Char(' ')).trimmed();
        while (text.startsWith(fullWidthComma) || text.endsWith(fullWidthComma)) {
            text = text.startsWith(fullWidthComma) ? text.mid(1) : text.chopped(1);
            text = text.trimmed();
        }
        if (!isSpeakable(text))
            return;
        Passage passage{out.size() + 1, text, pieces.first().voice, QString()};
        passage.cue = cue.kind == CueMarker::Kind::Valid ? cueNumber : 0;
        passage.startMs = cue.kind == CueMarker::Kind::Valid ? cue.startMs : 0;
        passage.endMs = cue.kind == CueMarker::Kind::Valid ? cue.endMs : 0;
        out.append(passage);
    };

    int lineStart = 0;
    int lineNumber = 1;
    while (lineStart <= script.size()) {
        int lineEnd = lineStart;
        while (lineEnd < script.size() && script[lineEnd] != QLatin1Char('\n') &&
               script[lineEnd] != QChar::ParagraphSeparator)
            ++lineEnd;
        const CueMarker::Line line = CueMarker::read(script.mid(lineStart, lineEnd - lineStart));
        if (line.kind != CueMarker::Kind::None) {
            flush(lineStart);
            cue = line;
            cueLineNumber = lineNumber;
            ++cueNumber;
            textFrom = lineStart + line.markerStart + line.markerLength;
        }
        lineStart = lineEnd + 1;
        ++lineNumber;
    }
    flush(script.size());
    return out;
}

JobPlan plan(const Input &input)
{
    // Every marker holds an arrow; most scripts have none.
    if (!input.script.contains(QLatin1String("-->")))
        return plan(input, passages(input.script, input.chooserVoice));
    // A marker that cannot be used still makes its line a cue line: its
    // times are a typo to report, not words to say.
    QStringList skipped;
    const QVector<Passage> timed = timelinePassages(input.script, input.chooserVoice, &skipped);
    if (!CueMarker::hasCueLines(input.script) && skipped.isEmpty())
        return plan(input, passages(input.script, input.chooserVoice));
    JobPlan timeline = plan(input, timed);
    timeline.timeline = true;
    timeline.skipped = skipped;
    return timeline;
}

JobPlan plan(const Input &input, const QVector<Passage> &passages)
{
    JobPlan plan;
    plan.mode = input.mode;
    plan.rates = QString::fromStdString(contract::percentText(input.rate));
    plan.volumes = QString::fromStdString(contract::percentText(input.volume));
    plan.pauseMs = input.pauseMs;
    plan.folder = input.audioDir + QString::number(input.startMsecs) + QLatin1Char('/');
    plan.passages = passages;
    plan.writeWav = input.writeWav;
    return plan;
}

} // namespace Segmentation
