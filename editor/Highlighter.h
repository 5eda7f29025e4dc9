#pragma once

#include "TagGrammar.h"

#include <QStringList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Colours every complete tagged passage (「voice」text「」) whose voice is in
// the voice catalogue; where they lie is TagGrammar's rule. The voices are
// those of the catalogue at construction. The cue marker that starts a line
// of a subtitle script is shown apart from the words: muted when its times
// can be used, red and underlined when they cannot (such a line is not spoken).
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
    QTextCharFormat cueFormat;
    QTextCharFormat badCueFormat;
};
