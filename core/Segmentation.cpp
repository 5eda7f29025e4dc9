#include "Segmentation.h"

#include "ServiceContract.h"
#include "TagGrammar.h"
#include "VoiceNaming.h"

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
        append(pieces.first(), VoiceNaming::voiceIdentifier(tagVoice));
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
    QVector<Passage> out;
    for (const VoicedSpan &span : voicedSpans(script)) {
        const int from = qMax(span.from, range.from);
        const int to = qMin(span.to, range.to);
        if (from >= to)
            continue;
        const QString piece = fold(script.mid(from, to - from));
        if (!isSpeakable(piece))
            continue;
        const QString voice = span.tagVoice.isEmpty() ? chooserVoice : VoiceNaming::voiceIdentifier(span.tagVoice);
        out.append(Passage{out.size() + 1, piece, voice, QString()});
    }
    return out;
}

JobPlan plan(const Input &input)
{
    return plan(input, passages(input.script, input.chooserVoice));
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
    return plan;
}

} // namespace Segmentation
