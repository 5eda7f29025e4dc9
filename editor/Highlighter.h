#pragma once

#include <QPair>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QVector>

// Where the complete tagged passages of a set of voices lie in one block:
// every match of "「" + name + "」([^「]+)「」" for every name, each name's
// pattern matched globally. Instead of one regular expression per voice over
// every block, a block is scanned once for its tags and each tag's name is
// looked up in a set; the result is the same, because a plain name (no 「 or
// 」 in it) can only be the text between a 「 and the first 」 after it, and
// the passage behind it then runs to the next 「, which must open "「」".
// Names the scan cannot read that way keep a pattern of their own, and blocks
// that are not valid UTF-16 (where the patterns never match) take the
// patterns of every name.
class VoiceTagMatcher
{
public:
    explicit VoiceTagMatcher(const QStringList &names);

    // Start and length of each matched passage; they may overlap or repeat.
    QVector<QPair<int, int>> passages(const QString &block) const;

    // The pattern of one voice, its name taken literally.
    static QString pattern(const QString &name);

private:
    static void matchAll(const QVector<QRegularExpression> &rules, const QString &block,
                         QVector<QPair<int, int>> &found);

    QSet<QString> plainNames;
    QVector<QRegularExpression> otherRules;
    QVector<QRegularExpression> allRules;
};

// Colours every complete tagged passage (「voice」text「」) whose voice is in
// the voice catalogue. The voices are those of the catalogue at construction.
class Highlighter : public QSyntaxHighlighter
{
public:
    explicit Highlighter(QTextDocument *parent);
    ~Highlighter() override;

protected:
    void highlightBlock(const QString &text) override;

private:
    static QStringList catalogueNames();

    VoiceTagMatcher matcher;
    QTextCharFormat voiceFormat;
};
