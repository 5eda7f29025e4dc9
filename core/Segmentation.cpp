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
        m_passages.append(Passage{m_passages.size() + 1, text, voice});
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

JobPlan plan(const Input &input)
{
    JobPlan plan;
    plan.mode = input.mode;
    plan.rates = QString::fromStdString(contract::percentText(input.rate));
    plan.volumes = QString::fromStdString(contract::percentText(input.volume));
    plan.pauseMs = input.pauseMs;
    plan.folder = input.audioDir + QString::number(input.startMsecs) + QLatin1Char('/');
    plan.passages = passages(input.script, input.chooserVoice);
    return plan;
}

} // namespace Segmentation
