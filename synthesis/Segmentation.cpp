#include "Segmentation.h"

#include "VoiceNaming.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

namespace Segmentation {

namespace {

const QString fullWidthComma = QStringLiteral("，");
const QString endMarker = QStringLiteral("「」");

// A piece worth rendering: not empty, and not a lone comma left over from a line break.
bool speakable(const QString &piece)
{
    return !piece.isEmpty() && piece != fullWidthComma;
}

class Builder
{
public:
    Builder(QJsonArray &list, const QString &chooserVoice)
        : m_list(list), m_chooserVoice(chooserVoice)
    {
    }

    void append(const QString &text, const QString &voice)
    {
        m_list.append(QJsonObject{
            {QStringLiteral("text"), text},
            {QStringLiteral("name"), voice},
            {QStringLiteral("fileName"), QString::number(m_counter)},
        });
        ++m_counter;
    }

    void appendChooser(const QString &text)
    {
        append(text, m_chooserVoice);
        m_usesChooserVoice = true;
    }

    // A passage after a voice tag: up to the first end marker it belongs to
    // the tag's voice; every later piece goes back to the chooser voice, each
    // a segment of its own, so that no text of the script is lost.
    void splitTaggedPassage(const QString &passage, const QString &tagVoice)
    {
        const QStringList pieces = passage.split(endMarker, Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (speakable(pieces.first()))
            append(pieces.first(), VoiceNaming::voiceIdentifier(tagVoice));
        for (int i = 1; i < pieces.size(); ++i) {
            if (speakable(pieces[i]))
                appendChooser(pieces[i]);
        }
    }

    bool usesChooserVoice() const { return m_usesChooserVoice; }

private:
    QJsonArray &m_list;
    const QString &m_chooserVoice;
    int m_counter = 1;
    bool m_usesChooserVoice = false;
};

} // namespace

QString signedPercent(const QString &spinText)
{
    if (spinText.startsWith(QLatin1Char('-')))
        return spinText;
    return QLatin1Char('+') + spinText;
}

QString fold(const QString &text)
{
    static const QRegularExpression commaRun(QStringLiteral("，{2,}"));
    QString folded = text;
    folded.replace(QLatin1Char('\n'), fullWidthComma);
    folded.replace(commaRun, fullWidthComma);
    return folded;
}

QJsonArray buildSegmentList(const Input &input, bool *usesChooserVoice)
{
    static const QRegularExpression tagPattern(QStringLiteral("「([^」]+)」"));

    QJsonArray list;
    list.append(QJsonObject{
        {QStringLiteral("rates"), signedPercent(input.rateText)},
        {QStringLiteral("volumes"), signedPercent(input.volumeText)},
        {QStringLiteral("path"), input.audioDir + QString::number(input.startMsecs) + QLatin1Char('/')},
    });

    Builder builder(list, input.chooserVoice);
    const QString &script = input.script;
    int scan = 0;
    QString tagVoice;

    for (;;) {
        const QRegularExpressionMatch tag = tagPattern.match(script, scan);
        if (!tag.hasMatch())
            break;
        const QString folded = fold(script.mid(scan, tag.capturedStart() - scan));
        if (scan != 0) {
            if (speakable(folded))
                builder.splitTaggedPassage(folded, tagVoice);
        } else if (speakable(folded)) {
            // Text before the first tag is plain chooser text; end markers in it mean nothing.
            builder.appendChooser(folded);
        }
        tagVoice = tag.captured(1);
        scan = tag.capturedEnd();
    }

    const QString rest = fold(script.mid(scan));
    if (speakable(rest)) {
        if (!tagVoice.isEmpty())
            builder.splitTaggedPassage(rest, tagVoice);
        else
            builder.appendChooser(rest);
    }

    if (usesChooserVoice)
        *usesChooserVoice = builder.usesChooserVoice();
    return list;
}

} // namespace Segmentation
