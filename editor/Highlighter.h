#pragma once

#include <QSyntaxHighlighter>

class Highlighter : public QSyntaxHighlighter
{
public:
    explicit Highlighter(QTextDocument *parent);
    ~Highlighter() override;

protected:
    void highlightBlock(const QString &text) override;
};
