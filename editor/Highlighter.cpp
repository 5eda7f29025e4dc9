#include "Highlighter.h"

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
    const QVector<QPair<int, int>> passages = finder.passages(text);
    for (const QPair<int, int> &passage : passages)
        setFormat(passage.first, passage.second, voiceFormat);
}
