#include "Highlighter.h"

#include "VoiceCatalogue.h"

#include <QBrush>
#include <QJsonObject>
#include <QStringList>

Highlighter::Highlighter(QTextDocument *parent)
    : QSyntaxHighlighter(parent)
{
    QStringList patterns;
    const QList<QJsonArray> groups = VoiceCatalogue::instance().voiceGroups();
    for (const QJsonArray &group : groups) {
        for (const QJsonValue &entry : group) {
            const QString name = entry.toObject().value(QLatin1String("name")).toString();
            // The name is literal text: "+" or "." in it must match only itself.
            patterns.append(QStringLiteral("「") + QRegularExpression::escape(name) + QStringLiteral("」([^「]+)「」"));
        }
    }

    QTextCharFormat voiceFormat;
    voiceFormat.setForeground(QBrush(Qt::darkGreen, Qt::SolidPattern));

    for (const QString &pattern : patterns)
        highlightingRules.append({QRegularExpression(pattern), voiceFormat});
}

Highlighter::~Highlighter() = default;

void Highlighter::highlightBlock(const QString &text)
{
    for (const HighlightingRule &rule : qAsConst(highlightingRules)) {
        QRegularExpressionMatchIterator matches = rule.pattern.globalMatch(text);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            setFormat(match.capturedStart(0), match.capturedLength(0), rule.format);
        }
    }
}
