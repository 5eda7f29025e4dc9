#include "ReadingText.h"

#include "CharClass.h"
#include "LexiconLine.h"
#include "Pinyin.h"

#include <algorithm>
#include <string>
#include <vector>

// The rules themselves are the text rules' (textrules/), which the service
// reads by too; here they are given and give back QStrings.
namespace ReadingText {

namespace {

std::u32string codePoints(const QString &text)
{
    const QVector<uint> cps = text.toUcs4();
    return std::u32string(cps.begin(), cps.end());
}

QStringList toList(const std::vector<std::string> &syllables)
{
    QStringList list;
    list.reserve(int(syllables.size()));
    for (const std::string &s : syllables)
        list.append(QString::fromStdString(s));
    return list;
}

Check refused(const QString &reason)
{
    Check check;
    check.reason = reason;
    return check;
}

Check accepted(const QStringList &syllables)
{
    Check check;
    check.ok = true;
    check.syllables = syllables;
    return check;
}

bool isBlank(uint c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0x3000 || c == 0xA0;
}

} // namespace

const QStringList &inventory()
{
    static const QStringList list = toList(textrules::pinyin::inventory());
    return list;
}

bool isHan(uint c)
{
    return textrules::isHan(char32_t(c));
}

bool isKana(uint c)
{
    return textrules::isKana(char32_t(c));
}

QString toKatakana(const QString &kana)
{
    QString out = kana;
    for (QChar &c : out) {
        // ぁ … ゖ and ゝゞ sit 0x60 below their katakana.
        if ((c.unicode() >= 0x3041 && c.unicode() <= 0x3096) || c.unicode() == 0x309D || c.unicode() == 0x309E)
            c = QChar(char16_t(c.unicode() + 0x60));
    }
    return out;
}

Script scriptOfVoice(const QString &voiceIdentifier)
{
    if (voiceIdentifier.startsWith(QLatin1String("zh-CN-")) || voiceIdentifier.startsWith(QLatin1String("zh-TW-")))
        return Script::Pinyin;
    if (voiceIdentifier.startsWith(QLatin1String("ja-JP-")))
        return Script::Kana;
    return Script::None;
}

bool isSyllable(const QString &numbered)
{
    return textrules::pinyin::isSyllable(numbered.toStdString());
}

bool isErhua(const QString &numbered)
{
    return textrules::pinyin::isErhua(numbered.toStdString());
}

QString syllableWithToneMarks(const QString &numbered)
{
    return QString::fromStdString(textrules::pinyin::toToneMarks(numbered.toStdString()));
}

QString withToneMarks(const QString &reading)
{
    return QString::fromStdString(textrules::pinyin::withToneMarks(reading.toStdString()));
}

Check parsePinyin(const QString &reading)
{
    std::string error;
    const auto syllables = textrules::pinyin::parseReading(codePoints(reading), &error);
    return syllables ? accepted(toList(*syllables)) : refused(QString::fromStdString(error));
}

Check checkPinyin(const QString &word, const QString &reading)
{
    std::string error;
    const std::string subject = "“" + word.toStdString() + "”";
    const auto syllables =
        textrules::pinyin::checkWordReading(codePoints(word), codePoints(reading), subject, true, &error);
    return syllables ? accepted(toList(*syllables)) : refused(QString::fromStdString(error));
}

Check checkKana(const QString &word, const QString &reading)
{
    if (word.trimmed().isEmpty())
        return refused(QStringLiteral("词为空"));
    const QString kana = reading.trimmed();
    const std::string fault = textrules::lexicon::kanaFault(codePoints(kana));
    return fault.empty() ? accepted(QStringList{kana}) : refused(QString::fromStdString(fault));
}

Check check(Script script, const QString &word, const QString &reading)
{
    switch (script) {
    case Script::Pinyin:
        return checkPinyin(word, reading);
    case Script::Kana:
        return checkKana(word, reading);
    case Script::None:
        break;
    }
    return refused(QStringLiteral("这种语言的读音不能修改"));
}

Target correctionTarget(const QString &selected, Script script)
{
    Target target;
    if (script == Script::None) {
        target.reason = QStringLiteral("这种语言的读音不能修改");
        return target;
    }
    // Blanks, punctuation and quotes around a word are not part of it.
    const QVector<uint> cps = selected.toUcs4();
    int from = 0;
    int to = cps.size();
    const auto isWordCharacter = [](uint c) { return QChar::isLetterOrNumber(c); };
    while (from < to && !isWordCharacter(cps[from]))
        ++from;
    while (to > from && !isWordCharacter(cps[to - 1]))
        --to;
    const QVector<uint> word = cps.mid(from, to - from);
    if (word.isEmpty()) {
        target.reason = QStringLiteral("选中的文字中没有可以保存读音的词语");
        return target;
    }
    if (script == Script::Pinyin) {
        if (!std::all_of(word.begin(), word.end(), isHan)) {
            target.reason = QStringLiteral("只能为汉字组成的词语保存读音，请只选中汉字");
            return target;
        }
    } else if (std::any_of(word.begin(), word.end(), isBlank)) {
        target.reason = QStringLiteral("词语中不能有空格，请只选中一个词语");
        return target;
    }
    if (word.size() > longestWord) {
        target.reason = QStringLiteral("选中的文字太长，一个词语最多 %1 个字").arg(longestWord);
        return target;
    }
    target.word = QString::fromUcs4(word.constData(), word.size());
    return target;
}

QVector<Piece> pieces(const QString &reading, const QString &sources, Script script)
{
    QVector<Piece> out;
    const auto fromUser = [&sources](int index) { return index < sources.size() && sources[index] == QLatin1Char('u'); };
    if (script == Script::Pinyin) {
        const QStringList parts = reading.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < parts.size(); ++i)
            out.append({syllableWithToneMarks(parts[i]), fromUser(i)});
    } else if (script == Script::Kana) {
        const QVector<uint> cps = reading.toUcs4();
        for (int i = 0; i < cps.size(); ++i)
            out.append({QString::fromUcs4(&cps[i], 1), fromUser(i)});
    } else if (!reading.isEmpty()) {
        out.append({reading, false});
    }
    // Letters that do not match the pieces one to one say nothing reliable.
    if (script != Script::None && sources.size() != out.size()) {
        for (Piece &piece : out)
            piece.fromUser = false;
    }
    return out;
}

} // namespace ReadingText
