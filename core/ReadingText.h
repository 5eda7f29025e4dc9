#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Readings as the user sees and corrects them: the service writes Mandarin
// as numbered pinyin ("chong2 qing4"), the user reads it with tone marks
// ("chóng qìng") and may type a correction either way. Before a correction
// is saved to lexicon.txt or listened to, it is checked here the way the
// service will read it, so that what the service would skip is refused with
// the reason instead.
namespace ReadingText {

// How a voice's readings are written.
enum class Script {
    None,   // the text as written: nothing to correct
    Pinyin, // Mandarin voices (zh-CN, zh-TW)
    Kana,   // Japanese voices
};

// By the locale that leads the voice identifier ("zh-CN-XiaoxiaoNeural").
Script scriptOfVoice(const QString &voiceIdentifier);

// A syllable in the service's numbered form: lower case, tone 1 to 5 (5 the
// neutral tone), ü written v (or ü), a merged erhua r before the tone ("dianr3").
bool isSyllable(const QString &numbered);
// A merged erhua syllable ("huar1"), which reads its character and the 儿 after it.
bool isErhua(const QString &numbered);

// "chong2" → "chóng", "lv4" → "lǜ", "de5" → "de", "dianr3" → "diǎnr".
// Anything that is not a numbered syllable comes back unchanged.
QString syllableWithToneMarks(const QString &numbered);
// A whole reading of the service, piece by piece: syllables get their tone
// marks, other pieces (Latin words) stay as they are.
QString withToneMarks(const QString &reading);

// The outcome of checking a reading.
struct Check {
    bool ok = false;
    QStringList syllables; // pinyin: numbered, one per syllable; kana: the whole reading
    QString reason;        // when refused, for the user
    // What lexicon.txt and the service are given: "zhong4 qing4", or the kana.
    QString reading() const { return syllables.join(QLatin1Char(' ')); }
};

// Pinyin as a user writes it: syllables apart (blanks or apostrophes) or
// glued, numbered ("zhong4", "lü4", "lv4", "lu:4", "Zhong4qing4"),
// tone-marked ("zhòng", "Chóngqìng") or without tone (the neutral tone).
Check parsePinyin(const QString &reading);

// A correction of `word`: pinyin with one syllable per Han character (a
// merged erhua syllable also takes the 儿 after its character), or kana only.
Check checkPinyin(const QString &word, const QString &reading);
Check checkKana(const QString &word, const QString &reading);
Check check(Script script, const QString &word, const QString &reading);

// What a correction can be saved for: the selected text without the blanks
// and punctuation at its ends. `reason` says why there is nothing to save for.
struct Target {
    QString word;
    QString reason;
    bool ok() const { return reason.isEmpty(); }
};
Target correctionTarget(const QString &selected, Script script);

// The longest word a correction is saved for: every render compares the
// text with words this long.
constexpr int longestWord = 20;

// One piece of a reading as the dialog shows it.
struct Piece {
    QString text;          // with tone marks for pinyin
    bool fromUser = false; // read from the user's lexicon.txt
};
// `sources` has one letter per piece ('u' from the user's list): per
// blank-separated piece for pinyin, per character for kana. A reading
// without letters for it has no user pieces.
QVector<Piece> pieces(const QString &reading, const QString &sources, Script script);

// Hiragana as katakana, everything else as it is: how a kana reading is
// given to the service to be heard as written.
QString toKatakana(const QString &kana);

bool isHan(uint codePoint);
bool isKana(uint codePoint);

// Every toneless syllable the check accepts, ü as v ("a", "ai", … "zuo").
const QStringList &inventory();

} // namespace ReadingText
