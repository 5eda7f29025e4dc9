#pragma once

#include "TagGrammar.h"

#include <QStringList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Colours every complete tagged passage (「voice」text「」) whose voice is in
// the voice catalogue; where they lie is TagGrammar's rule. The voices are
// those of the catalogue at construction.
class Highlighter : public QSyntaxHighlighter
{
public:
    explicit Highlighter(QTextDocument *parent);
    ~Highlighter() override;

protected:
    void highlightBlock(const QString &text) override;

private:
    static QStringList catalogueNames();

    TagGrammar::PassageFinder finder;
    QTextCharFormat voiceFormat;
};
