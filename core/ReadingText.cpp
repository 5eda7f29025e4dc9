#include "ReadingText.h"

#include <QSet>

#include <algorithm>

namespace ReadingText {

namespace {

// Standard Mandarin's syllables without tone, by initial, ü written v; with
// the few colloquial ones dictionaries give characters of their own (dia 嗲,
// den 扽, tei 忒, rua 挼, lo 咯, yo 哟) and the interjections m, n, ng.
const char *const syllableTable =
    "a o e ai ei ao ou an en ang eng er "
    "yi ya yo ye yao you yan yin yang ying yong "
    "wu wa wo wai wei wan wen wang weng "
    "yu yue yuan yun "
    "m n ng "
    "ba bo bai bei bao ban ben bang beng bi bie biao bian bin bing bu "
    "pa po pai pei pao pou pan pen pang peng pi pie piao pian pin ping pu "
    "ma mo me mai mei mao mou man men mang meng mi mie miao miu mian min ming mu "
    "fa fo fei fou fan fen fang feng fu "
    "da de dai dei dao dou dan den dang deng dong di dia die diao diu dian ding du duo dui duan dun "
    "ta te tai tei tao tou tan tang teng tong ti tie tiao tian ting tu tuo tui tuan tun "
    "na ne nai nei nao nou nan nen nang neng nong ni nie niao niu nian nin niang ning nu nuo nuan nv nve "
    "la lo le lai lei lao lou lan lang leng long li lia lie liao liu lian lin liang ling lu luo luan lun lv lve "
    "ga ge gai gei gao gou gan gen gang geng gong gu gua guo guai gui guan gun guang "
    "ka ke kai kei kao kou kan ken kang keng kong ku kua kuo kuai kui kuan kun kuang "
    "ha he hai hei hao hou han hen hang heng hong hu hua huo huai hui huan hun huang "
    "ji jia jie jiao jiu jian jin jiang jing jiong ju jue juan jun "
    "qi qia qie qiao qiu qian qin qiang qing qiong qu que quan qun "
    "xi xia xie xiao xiu xian xin xiang xing xiong xu xue xuan xun "
    "zha zhe zhi zhai zhei zhao zhou zhan zhen zhang zheng zhong zhu zhua zhuo zhuai zhui zhuan zhun zhuang "
    "cha che chi chai chao chou chan chen chang cheng chong chu chua chuo chuai chui chuan chun chuang "
    "sha she shi shai shei shao shou shan shen shang sheng shu shua shuo shuai shui shuan shun shuang "
    "re ri rao rou ran ren rang reng rong ru rua ruo rui ruan run "
    "za ze zi zai zei zao zou zan zen zang zeng zong zu zuo zui zuan zun "
    "ca ce ci cai cao cou can cen cang ceng cong cu cuo cui cuan cun "
    "sa se si sai sao sou san sen sang seng song su suo sui suan sun";

const QSet<QString> &syllableSet()
{
    static const QSet<QString> set = [] {
        const QStringList list = inventory();
        return QSet<QString>(list.begin(), list.end());
    }();
    return set;
}

bool isInterjection(const QString &base)
{
    return base == QLatin1String("m") || base == QLatin1String("n") || base == QLatin1String("ng");
}

// A toneless syllable, ü as v, perhaps with a merged erhua r.
bool isBase(const QString &base)
{
    if (syllableSet().contains(base))
        return true;
    if (base.size() < 2 || !base.endsWith(QLatin1Char('r')))
        return false;
    const QString stem = base.chopped(1);
    return stem != QLatin1String("er") && !isInterjection(stem) && syllableSet().contains(stem);
}

struct MarkedLetter {
    char16_t letter;
    char base; // 'v' for ü
    int tone;  // 0: ü without a tone
};

// Lower case first, so the first match of a base and tone is the one to write.
const MarkedLetter markedLetters[] = {
    {u'ā', 'a', 1}, {u'á', 'a', 2}, {u'ǎ', 'a', 3}, {u'à', 'a', 4},
    {u'ē', 'e', 1}, {u'é', 'e', 2}, {u'ě', 'e', 3}, {u'è', 'e', 4},
    {u'ī', 'i', 1}, {u'í', 'i', 2}, {u'ǐ', 'i', 3}, {u'ì', 'i', 4},
    {u'ō', 'o', 1}, {u'ó', 'o', 2}, {u'ǒ', 'o', 3}, {u'ò', 'o', 4},
    {u'ū', 'u', 1}, {u'ú', 'u', 2}, {u'ǔ', 'u', 3}, {u'ù', 'u', 4},
    {u'ǖ', 'v', 1}, {u'ǘ', 'v', 2}, {u'ǚ', 'v', 3}, {u'ǜ', 'v', 4},
    {u'ń', 'n', 2}, {u'ň', 'n', 3}, {u'ǹ', 'n', 4}, {u'ḿ', 'm', 2},
    {u'ü', 'v', 0},
    {u'Ā', 'a', 1}, {u'Á', 'a', 2}, {u'Ǎ', 'a', 3}, {u'À', 'a', 4},
    {u'Ē', 'e', 1}, {u'É', 'e', 2}, {u'Ě', 'e', 3}, {u'È', 'e', 4},
    {u'Ī', 'i', 1}, {u'Í', 'i', 2}, {u'Ǐ', 'i', 3}, {u'Ì', 'i', 4},
    {u'Ō', 'o', 1}, {u'Ó', 'o', 2}, {u'Ǒ', 'o', 3}, {u'Ò', 'o', 4},
    {u'Ū', 'u', 1}, {u'Ú', 'u', 2}, {u'Ǔ', 'u', 3}, {u'Ù', 'u', 4},
    {u'Ǖ', 'v', 1}, {u'Ǘ', 'v', 2}, {u'Ǚ', 'v', 3}, {u'Ǜ', 'v', 4},
    {u'Ń', 'n', 2}, {u'Ň', 'n', 3}, {u'Ǹ', 'n', 4}, {u'Ḿ', 'm', 2},
    {u'Ü', 'v', 0},
};

// Combining marks of tones 1 to 4, for text typed decomposed and for the
// tones of m and n that have no letter of their own.
const char16_t combiningTone[5] = {0, 0x0304, 0x0301, 0x030C, 0x0300};
constexpr char16_t combiningDiaeresis = 0x0308;

const MarkedLetter *markedLetter(uint c)
{
    for (const MarkedLetter &m : markedLetters) {
        if (m.letter == c)
            return &m;
    }
    return nullptr;
}

int toneOfCombining(uint c)
{
    for (int tone = 1; tone <= 4; ++tone) {
        if (combiningTone[tone] == c)
            return tone;
    }
    return 0;
}

bool isDigit(uint c)
{
    return c >= '0' && c <= '9';
}

bool isSeparator(uint c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0x3000 || c == '\'' || c == 0x2018 ||
        c == 0x2019 || c == '-';
}

QString fromCodePoints(const QVector<uint> &cps, int from = 0, int count = -1)
{
    if (count < 0)
        count = cps.size() - from;
    return QString::fromUcs4(cps.constData() + from, count);
}

enum class Status { Ok, BadTone, NotSyllable };

// One syllable in any spelling the check takes → numbered form.
Status parseSyllable(const QVector<uint> &cps, int from, int to, QString &numbered)
{
    QString base;
    int tone = 0;
    int i = from;
    for (; i < to; ++i) {
        const uint c = cps[i];
        if (isDigit(c))
            break;
        if (c >= 'A' && c <= 'Z') {
            base += QChar(char16_t(c - 'A' + 'a'));
        } else if (c >= 'a' && c <= 'z') {
            base += QChar(char16_t(c));
        } else if (c == ':' || c == combiningDiaeresis) {
            // "lu:4" and a decomposed ü
            if (!base.endsWith(QLatin1Char('u')))
                return Status::NotSyllable;
            base[base.size() - 1] = QLatin1Char('v');
        } else if (const int t = toneOfCombining(c)) {
            if (base.isEmpty() || tone)
                return Status::NotSyllable;
            tone = t;
        } else if (const MarkedLetter *m = markedLetter(c)) {
            if (m->tone) {
                if (tone)
                    return Status::NotSyllable;
                tone = m->tone;
            }
            base += QLatin1Char(m->base);
        } else {
            return Status::NotSyllable;
        }
    }
    // "lue" and "nue": ü written without its dots, never ambiguous.
    const bool undotted = base == QLatin1String("lue") || base == QLatin1String("nue");
    if (i < to) {
        // A tone number ends the syllable: one digit, never after a mark.
        for (int k = i; k < to; ++k) {
            if (!isDigit(cps[k]))
                return Status::NotSyllable;
        }
        if (tone || base.isEmpty() || (!isBase(base) && !undotted))
            return Status::NotSyllable;
        if (to - i != 1 || cps[i] < '1' || cps[i] > '5')
            return Status::BadTone;
        tone = int(cps[i] - '0');
    }
    if (undotted)
        base[1] = QLatin1Char('v');
    if (!isBase(base))
        return Status::NotSyllable;
    numbered = base + QString::number(tone ? tone : 5);
    return Status::Ok;
}

// A glued word without tone numbers ("Chóngqìng", "xianzai") cut into
// syllables, longest first. With `apostropheRule`, no syllable after the
// first starts with a, o or e: written pinyin puts an apostrophe there, so
// "fangan" is fan'gan.
bool cutGlued(const QVector<uint> &cps, int from, int to, bool apostropheRule, QStringList &out,
              QVector<bool> &dead)
{
    if (from == to)
        return true;
    if (dead[from])
        return false;
    constexpr int longest = 7; // "zhuang" and an erhua r
    for (int len = std::min(longest, to - from); len > 0; --len) {
        if (apostropheRule && !out.isEmpty()) {
            const MarkedLetter *m = markedLetter(cps[from]);
            const uint first = m ? uint(m->base) : (cps[from] | 0x20);
            if (first == 'a' || first == 'o' || first == 'e')
                continue;
        }
        QString syllable;
        if (parseSyllable(cps, from, from + len, syllable) != Status::Ok)
            continue;
        // m, n and ng stand alone; inside a word they are the ends of others.
        if (isInterjection(syllable.chopped(1)))
            continue;
        out.append(syllable);
        if (cutGlued(cps, from + len, to, apostropheRule, out, dead))
            return true;
        out.removeLast();
    }
    dead[from] = true;
    return false;
}

Check refused(const QString &reason)
{
    Check check;
    check.reason = reason;
    return check;
}

bool isBlank(uint c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0x3000 || c == 0xA0;
}

} // namespace

const QStringList &inventory()
{
    static const QStringList list = QString::fromLatin1(syllableTable).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return list;
}

bool isHan(uint c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x20000 && c <= 0x323AF) ||
        (c >= 0xF900 && c <= 0xFAFF) || c == 0x3007;
}

bool isKana(uint c)
{
    return (c >= 0x3041 && c <= 0x3096)    // hiragana
        || (c >= 0x309D && c <= 0x309E)    // ゝゞ
        || (c >= 0x30A1 && c <= 0x30FA)    // katakana
        || (c >= 0x30FC && c <= 0x30FE)    // ー ヽヾ
        || (c >= 0x31F0 && c <= 0x31FF);   // small katakana
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
    if (numbered.size() < 2)
        return false;
    const QChar tone = numbered.back();
    if (tone < QLatin1Char('1') || tone > QLatin1Char('5'))
        return false;
    const QString base = numbered.chopped(1);
    for (const QChar c : base) {
        if (c < QLatin1Char('a') || c > QLatin1Char('z'))
            return false;
    }
    return isBase(base);
}

bool isErhua(const QString &numbered)
{
    if (!isSyllable(numbered))
        return false;
    const QString base = numbered.chopped(1);
    return base.endsWith(QLatin1Char('r')) && base != QLatin1String("er");
}

QString syllableWithToneMarks(const QString &numbered)
{
    if (!isSyllable(numbered))
        return numbered;
    const int tone = numbered.back().digitValue();
    const QString base = numbered.chopped(1);

    // The mark goes on a or e when there is one, on the o of ou, and
    // otherwise on the last vowel (so iu marks the u and ui the i).
    int at = -1;
    if (isInterjection(base))
        at = 0;
    else if ((at = base.indexOf(QLatin1Char('a'))) < 0 && (at = base.indexOf(QLatin1Char('e'))) < 0 &&
             (at = base.indexOf(QLatin1String("ou"))) < 0) {
        for (int i = base.size() - 1; i >= 0 && at < 0; --i) {
            if (QStringLiteral("iouv").contains(base[i]))
                at = i;
        }
    }

    QString out;
    for (int i = 0; i < base.size(); ++i) {
        const char c = base[i].toLatin1();
        if (i != at || tone == 5) {
            out += c == 'v' ? QChar(u'ü') : QChar(QLatin1Char(c));
            continue;
        }
        const MarkedLetter *found = nullptr;
        for (const MarkedLetter &m : markedLetters) {
            if (m.base == c && m.tone == tone) {
                found = &m;
                break;
            }
        }
        if (found) {
            out += QChar(found->letter);
        } else {
            // m and n in the tones that have no letter of their own
            out += QLatin1Char(c);
            out += QChar(combiningTone[tone]);
        }
    }
    return out;
}

QString withToneMarks(const QString &reading)
{
    QStringList pieces = reading.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &piece : pieces)
        piece = syllableWithToneMarks(piece);
    return pieces.join(QLatin1Char(' '));
}

Check parsePinyin(const QString &reading)
{
    const QVector<uint> cps = reading.toUcs4();
    Check check;
    int i = 0;
    while (i < cps.size()) {
        if (isSeparator(cps[i])) {
            ++i;
            continue;
        }
        int end = i;
        while (end < cps.size() && !isSeparator(cps[end]))
            ++end;
        // Tone numbers end syllables: "zhong4qing4" is two of them.
        int p = i;
        while (p < end) {
            int q = p;
            while (q < end && !isDigit(cps[q]))
                ++q;
            const bool numbered = q < end;
            while (q < end && isDigit(cps[q]))
                ++q;
            QString syllable;
            const Status status = parseSyllable(cps, p, q, syllable);
            if (status == Status::Ok) {
                check.syllables.append(syllable);
            } else if (status == Status::BadTone) {
                return refused(QStringLiteral("声调必须是 1 到 5：") + fromCodePoints(cps, p, q - p));
            } else {
                QStringList glued;
                QVector<bool> dead(q + 1, false);
                QVector<bool> deadToo(q + 1, false);
                if (numbered || (!cutGlued(cps, p, q, true, glued, dead) && !cutGlued(cps, p, q, false, glued, deadToo)))
                    return refused(QStringLiteral("无法识别的拼音：") + fromCodePoints(cps, p, q - p));
                check.syllables.append(glued);
            }
            p = q;
        }
        i = end;
    }
    if (check.syllables.isEmpty())
        return refused(QStringLiteral("读音为空"));
    check.ok = true;
    return check;
}

Check checkPinyin(const QString &word, const QString &reading)
{
    QVector<uint> han;
    for (const uint c : word.toUcs4()) {
        if (isHan(c))
            han.append(c);
    }
    if (han.isEmpty())
        return refused(QStringLiteral("词中没有汉字，拼音读音只用于中文词语"));
    Check check = parsePinyin(reading);
    if (!check.ok)
        return check;

    // Each syllable reads one character; a merged erhua syllable the 儿 after it too.
    int h = 0;
    for (const QString &syllable : qAsConst(check.syllables)) {
        if (h == han.size())
            break;
        ++h;
        if (isErhua(syllable)) {
            if (h == han.size() || (han[h] != u'儿' && han[h] != u'兒'))
                return refused(QStringLiteral("儿化音节 %1 后面应是“儿”字").arg(syllableWithToneMarks(syllable)));
            ++h;
        }
    }
    int merged = 0;
    for (const QString &syllable : qAsConst(check.syllables))
        merged += isErhua(syllable) ? 1 : 0;
    if (h != han.size() || check.syllables.size() + merged != han.size())
        return refused(QStringLiteral("读音有 %1 个音节，但“%2”有 %3 个汉字")
                           .arg(check.syllables.size())
                           .arg(word)
                           .arg(han.size()));
    return check;
}

Check checkKana(const QString &word, const QString &reading)
{
    if (word.trimmed().isEmpty())
        return refused(QStringLiteral("词为空"));
    const QVector<uint> cps = reading.trimmed().toUcs4();
    if (cps.isEmpty())
        return refused(QStringLiteral("读音为空"));
    for (const uint c : cps) {
        if (!isKana(c))
            return refused(QStringLiteral("假名读音只能包含平假名、片假名和“ー”：") + QString::fromUcs4(&c, 1));
    }
    Check check;
    check.ok = true;
    check.syllables = QStringList{QString::fromUcs4(cps.constData(), cps.size())};
    return check;
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
