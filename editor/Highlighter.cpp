#include "Highlighter.h"

#include "CueMarker.h"
#include "VoiceCatalogue.h"

#include <QAbstractTextDocumentLayout>
#include <QBrush>
#include <QJsonObject>
#include <QTextDocument>

QStringList Highlighter::catalogueNames()
{
    QStringList names;
    const QList<QJsonArray> groups = VoiceCatalogue::instance().voiceGroups();
    for (const QJsonArray &group : groups) {
        for (const QJsonValue &entry : group)
            names.append(entry.toObject().value(QLatin1String("name")).toString());
    }
    return names;
}

Highlighter::Highlighter(QTextDocument *parent)
    : QSyntaxHighlighter(parent)
    , finder(catalogueNames())
{
    voiceFormat.setForeground(QBrush(Qt::darkGreen, Qt::SolidPattern));
    // Muted, so the words stay what the eye reads; never green, so a marker
    // does not look like part of a voice's passage.
    cueFormat.setForeground(QBrush(QColor(0x5B, 0x70, 0x83), Qt::SolidPattern));
    badCueFormat.setForeground(QBrush(QColor(0xD0, 0x21, 0x21), Qt::SolidPattern));
    badCueFormat.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    badCueFormat.setUnderlineColor(QColor(0xD0, 0x21, 0x21));

    // Attaching has scheduled a pass over the whole document; run it now, with
    // the editor's layout held back. Outside an edit, each block whose colours
    // change makes a QTextEdit's layout flow every block after it again, which
    // on a long script costs minutes; one layout at the end gives the same
    // result. The pass clears the scheduled one.
    QTextDocument *document = parent;
    const QSizeF pageSize = document->pageSize();
    // Asking the document for its layout would give it one; look for it instead.
    const auto *layout =
        document->findChild<QAbstractTextDocumentLayout *>(QString(), Qt::FindDirectChildrenOnly);
    const bool holdLayout = layout && layout->inherits("QTextDocumentLayout") && !pageSize.isNull();
    if (holdLayout)
        document->setPageSize(QSizeF(0, 0)); // a null page: the layout lays nothing out
    rehighlight();
    if (holdLayout)
        document->setPageSize(pageSize);
}

Highlighter::~Highlighter() = default;

void Highlighter::highlightBlock(const QString &text)
{
    // A marker holds no corner bracket, so it never overlaps a passage.
    const QVector<CueMarker::Range> markers = CueMarker::markerRanges(text);
    for (const CueMarker::Range &marker : markers)
        setFormat(marker.start, marker.length, marker.valid ? cueFormat : badCueFormat);
    const QVector<QPair<int, int>> passages = finder.passages(text);
    for (const QPair<int, int> &passage : passages)
        setFormat(passage.first, passage.second, voiceFormat);
}
