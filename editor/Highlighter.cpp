#include "Highlighter.h"

Highlighter::Highlighter(QTextDocument *parent)
    : QSyntaxHighlighter(parent)
{
}

Highlighter::~Highlighter() = default;

void Highlighter::highlightBlock(const QString &) {}
