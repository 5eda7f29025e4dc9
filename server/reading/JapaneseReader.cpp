#include "JapaneseReader.h"

#include "Utf8.h"

#include <mecab.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel::reading {

namespace {

constexpr const char *kIpadicDir = "/var/lib/mecab/dic/ipadic-utf8";

// espeak-ng's `ja` voice cuts a word after about 200 bytes; phrases are
// split well before that.
constexpr std::size_t kMaxWordKana = 40;
// MeCab's lattice grows with the sentence; long stretches without
// punctuation are parsed in pieces of about this many code points.
constexpr std::size_t kMaxSentence = 256;

// ---------------------------------------------------------------- characters

bool isHiragana(char32_t c) { return (c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E; }
bool isKatakana(char32_t c) { return (c >= 0x30A1 && c <= 0x30FA) || (c >= 0x30FC && c <= 0x30FE); }
bool isKana(char32_t c) { return isHiragana(c) || isKatakana(c); }
bool isKanji(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0x20000 && c <= 0x3FFFF) || c == 0x3005 || c == 0x3006 || c == 0x3007;
}
bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool isLatinLetter(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
           (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF);
}
bool isAsciiLetter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }

char32_t toKatakana(char32_t c)
{
    if (c >= 0x3041 && c <= 0x3096)
        return c + 0x60;
    if (c == 0x309D || c == 0x309E)
        return c + 0x60;
    return c;
}
char32_t toHiragana(char32_t c)
{
    if (c >= 0x30A1 && c <= 0x30F6)
        return c - 0x60;
    if (c == 0x30FD || c == 0x30FE)
        return c - 0x60;
    return c;
}
std::u32string katakana(std::u32string s)
{
    for (char32_t &c : s)
        c = toKatakana(c);
    return s;
}
std::u32string hiragana(std::u32string s)
{
    for (char32_t &c : s)
        c = toHiragana(c);
    return s;
}
bool allKatakana(const std::u32string &s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char32_t c) { return isKatakana(c); });
}
bool allKana(const std::u32string &s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char32_t c) { return isKana(c); });
}

// カ → ガ, ハ → バ (or パ with `semi`), ウ → ヴ; anything else unchanged.
char32_t voiced(char32_t c, bool semi = false)
{
    const bool hira = isHiragana(c);
    char32_t k = toKatakana(c);
    static const std::u32string kVoiceable = U"カキクケコサシスセソタチツテト";
    static const std::u32string kHRow = U"ハヒフヘホ";
    char32_t out = k;
    if (kHRow.find(k) != std::u32string::npos)
        out = k + (semi ? 2 : 1);
    else if (!semi && kVoiceable.find(k) != std::u32string::npos)
        out = k + 1;
    else if (!semi && k == U'ウ')
        out = U'ヴ';
    else if (!semi && k == U'ヽ')
        out = U'ヾ';
    return hira ? toHiragana(out) : out;
}

// The vowel a kana ends in, as the full-size katakana vowel; 0 for ン, ッ.
char32_t vowelOf(char32_t c)
{
    static const std::u32string rows[5] = {
        U"アカガサザタダナハバパマヤラワァャヮヵヷ",
        U"イキギシジチヂニヒビピミリヰィヸ",
        U"ウクグスズツヅヌフブプムユルヴゥュ",
        U"エケゲセゼテデネヘベペメレヱェヶヹ",
        U"オコゴソゾトドノホボポモヨロヲォョヺ",
    };
    static const char32_t vowels[5] = {U'ア', U'イ', U'ウ', U'エ', U'オ'};
    const char32_t k = toKatakana(c);
    for (int i = 0; i < 5; ++i)
        if (rows[i].find(k) != std::u32string::npos)
            return vowels[i];
    return 0;
}

bool isPauseMark(char32_t c) { return c == U'。' || c == U'、' || c == U'！' || c == U'？'; }

// What a punctuation mark is spoken as: a pause (one of 。、！？), a word
// boundary (' '), or 0 when the character is not punctuation.
char32_t pauseFor(char32_t c)
{
    switch (c) {
    case U'。': case U'.': case U'｡': case U'．':
        return U'。';
    case U'！': case U'!':
        return U'！';
    case U'？': case U'?':
        return U'？';
    case U'、': case U',': case U'，': case U'､': case U';': case U':': case U'…': case U'‥':
    case U'\n':
        return U'、';
    case U'「': case U'」': case U'『': case U'』': case U'（': case U'）': case U'(': case U')':
    case U'[': case U']': case U'【': case U'】': case U'〔': case U'〕': case U'〈': case U'〉':
    case U'《': case U'》': case U'｛': case U'｝': case U'{': case U'}': case U'"': case U'\'':
    case U'“': case U'”': case U'‘': case U'’': case U'・': case U'･': case U'/': case U'\\':
    case U'|': case U'_': case U'*': case U'#': case U'&': case U'@': case U'+': case U'=':
    case U'<': case U'>': case U'^': case U'`': case U'-': case U'—': case U'―': case U'–':
    case U'♪': case U'★': case U'☆': case U'※': case U'→': case U'←': case U'〒': case U'〜':
    case U'~': case U'○': case U'●': case U'◎': case U'△': case U'▲': case U'□': case U'■':
    case U'×': case U'÷': case U'%': case U'$': case U'€': case U'¥': case U'°': case U'℃':
    case U' ':
        return U' ';
    default:
        return 0;
    }
}

// ------------------------------------------------------------- normalisation

// The input with full-width Latin and digits as ASCII, half-width katakana
// as full-width, combining voicing marks joined to their kana, and the
// characters no reader wants removed. `at` keeps the input index of each.
struct Working {
    std::u32string text;
    std::vector<std::size_t> at;
};

Working normalise(const std::u32string &in)
{
    // U+FF66 … U+FF9D
    static const std::u32string kHalfKana =
        U"ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン";
    Working w;
    w.text.reserve(in.size());
    w.at.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xFF01 && c <= 0xFF5E)
            c -= 0xFEE0;
        else if (c == 0x3000)
            c = U' ';
        else if (c == 0xFFE5)
            c = U'¥';
        else if (c == 0x2212)
            c = U'-';
        else if (c == 0xFF61)
            c = U'。';
        else if (c == 0xFF62)
            c = U'「';
        else if (c == 0xFF63)
            c = U'」';
        else if (c == 0xFF64)
            c = U'、';
        else if (c == 0xFF65)
            c = U'・';
        else if (c >= 0xFF66 && c <= 0xFF9D)
            c = kHalfKana[c - 0xFF66];

        // Voicing marks, combining or spacing, belong to the kana before them.
        if (c == 0xFF9E || c == 0xFF9F || c == 0x3099 || c == 0x309A || c == 0x309B || c == 0x309C) {
            const bool semi = (c == 0xFF9F || c == 0x309A || c == 0x309C);
            if (!w.text.empty() && isKana(w.text.back()))
                w.text.back() = voiced(w.text.back(), semi);
            continue;
        }
        if (c == U'\r' || c == U'\v' || c == U'\f' || c == 0x85 || c == 0x2028 || c == 0x2029)
            c = U'\n';
        else if ((c < 0x20 && c != U'\n') || (c >= 0x7F && c <= 0x9F))
            c = U' ';
        if ((c >= 0x200B && c <= 0x200F) || c == 0x2060 || c == 0xFEFF || (c >= 0xFE00 && c <= 0xFE0F) ||
            (c >= 0xE0000 && c <= 0xE01EF) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF ||
            c == 0xFFFE || c == 0xFFFF || c == 0xFFFD)
            continue;
        w.text.push_back(c);
        w.at.push_back(i);
    }
    return w;
}

// ------------------------------------------------------------------- output

// One piece of the reading: a word or phrase in kana, a Latin stretch for
// the English voice, or a pause.
struct Item {
    enum Kind { Kana, Latin, Pause } kind = Kana;
    std::u32string engine;        // Kana: katakana; Latin: as written; Pause: 。、！？
    std::vector<std::size_t> at;  // per engine code point: index into the input
    std::u32string reading;
    bool joins = false;           // Kana: same accent phrase as the kana before it
    bool fromUser = false;        // Kana: an entry of the user's lexicon.txt
};

class Output {
public:
    void kana(std::u32string engine, std::vector<std::size_t> at, std::u32string reading, bool joins)
    {
        if (engine.empty())
            return;
        Item it;
        it.kind = Item::Kana;
        it.engine = std::move(engine);
        it.at = std::move(at);
        it.reading = std::move(reading);
        it.joins = joins && !m_break;
        m_break = false;
        m_items.push_back(std::move(it));
    }
    void kana(const std::u32string &engine, std::size_t at, std::u32string reading, bool joins)
    {
        kana(engine, std::vector<std::size_t>(engine.size(), at), std::move(reading), joins);
    }
    // A word the user's lexicon reads, marked so the reading can say so.
    void userKana(const std::u32string &engine, std::size_t at, std::u32string reading)
    {
        const std::size_t before = m_items.size();
        kana(engine, at, std::move(reading), false);
        if (m_items.size() > before)
            m_items.back().fromUser = true;
    }
    void latin(std::u32string text, std::vector<std::size_t> at)
    {
        Item it;
        it.kind = Item::Latin;
        it.reading = text;
        it.engine = std::move(text);
        it.at = std::move(at);
        m_break = false;
        m_items.push_back(std::move(it));
    }
    void pause(char32_t mark, std::size_t at)
    {
        Item it;
        it.kind = Item::Pause;
        it.engine = std::u32string(1, mark);
        it.reading = it.engine;
        it.at = {at};
        m_break = true;
        m_items.push_back(std::move(it));
    }
    // Whitespace: the next word starts a phrase of its own.
    void wordBreak() { m_break = true; }

    // Items made elsewhere, in order; a word break before them still holds.
    void add(std::vector<Item> items, bool joins)
    {
        for (Item &it : items) {
            if (it.kind == Item::Kana) {
                it.joins = (&it == &items.front() ? joins : it.joins) && !m_break;
                m_break = false;
            } else {
                m_break = it.kind == Item::Pause;
            }
            m_items.push_back(std::move(it));
        }
    }
    std::vector<Item> take()
    {
        m_break = true;
        return std::move(m_items);
    }

    Prepared finish(const MappedText &source) const;

private:
    std::vector<Item> m_items;
    bool m_break = true;
};

struct RunBuilder {
    std::string language;
    std::u32string text;
    std::vector<std::size_t> at;
};

char32_t asciiMark(char32_t mark)
{
    switch (mark) {
    case U'。': return U'.';
    case U'！': return U'!';
    case U'？': return U'?';
    default: return U',';
    }
}

// Kana as espeak-ng's `ja` voice reads it: katakana and hiragana read alike,
// but small vowels only after the kana they form a sound with, ー only after
// a kana it can lengthen, no iteration marks, no small ヵ ヶ ヮ, no word
// beyond its length limit. Anything else is left out.
void cleanForEngine(RunBuilder &run)
{
    static const std::u32string kSmallVowels = U"ァィゥェォ";
    static const std::u32string kFullVowels = U"アイウエオ";
    // The kana after which each small vowel is read as one sound with it.
    static const std::u32string kSmallAfter[5] = {
        U"カガクグサザタダツナハバパフマヤラワヴ",
        U"イウキギクグシジチヂツテデニヒビピフミリヰヴ",
        U"ウクグスズツヅトドヌフブプムユルヴ",
        U"イウエクグケゲシジセゼチツテデネフヘベペメレヱヴ",
        U"ウオクグコゴソゾツトドノフホボポモヨロヲヴ",
    };
    std::u32string out;
    std::vector<std::size_t> at;
    std::size_t wordLen = 0;

    auto lastKana = [&]() -> char32_t { return !out.empty() && isKatakana(out.back()) ? out.back() : 0; };
    auto push = [&](char32_t k, std::size_t from) {
        const bool continues = kSmallVowels.find(k) != std::u32string::npos || k == U'ャ' || k == U'ュ' ||
                               k == U'ョ' || k == U'ー' || k == U'ン' || k == U'ッ';
        if (wordLen >= kMaxWordKana && (!continues || wordLen >= kMaxWordKana + 8)) {
            out.push_back(U' ');
            at.push_back(from);
            wordLen = 0;
        }
        out.push_back(k);
        at.push_back(from);
        ++wordLen;
    };
    auto pushKana = [&](char32_t k, std::size_t from) {
        const char32_t prev = wordLen ? lastKana() : 0;
        const std::size_t small = kSmallVowels.find(k);
        if (small != std::u32string::npos) {
            if (prev && kSmallAfter[small].find(prev) != std::u32string::npos)
                push(k, from);
            else
                push(kFullVowels[small], from);
            return;
        }
        if (k == U'ャ' || k == U'ュ' || k == U'ョ') {
            push(prev ? k : k + 1, from);  // ャ → ヤ at the start of a word
            return;
        }
        if (k == U'ー') {
            if (!prev || prev == U'ン' || prev == U'ッ' || prev == U'ー')
                return;
            if (prev == U'ア' && wordLen > 1)
                return;  // read as a separate vowel; the length is there already
            const std::size_t s = kSmallVowels.find(prev);
            if (s != std::u32string::npos && out.size() >= 2 && vowelOf(out[out.size() - 2]) == kFullVowels[s])
                return;  // カァ is already long
            push(k, from);
            return;
        }
        push(k, from);
    };

    for (std::size_t i = 0; i < run.text.size(); ++i) {
        const char32_t c = run.text[i];
        const std::size_t from = run.at[i];
        if (c == U' ') {
            if (!out.empty() && out.back() != U' ' && !isPauseMark(out.back())) {
                out.push_back(U' ');
                at.push_back(from);
            }
            wordLen = 0;
            continue;
        }
        if (isPauseMark(c)) {
            while (!out.empty() && out.back() == U' ') {
                out.pop_back();
                at.pop_back();
            }
            if (out.empty() || isPauseMark(out.back()))
                continue;
            out.push_back(c);
            at.push_back(from);
            wordLen = 0;
            continue;
        }
        if (!isKana(c))
            continue;
        const char32_t k = toKatakana(c);
        switch (k) {
        case U'ヽ':
        case U'ヾ': {
            const char32_t prev = wordLen ? lastKana() : 0;
            if (prev && vowelOf(prev))
                pushKana(k == U'ヾ' ? voiced(prev) : prev, from);
            break;
        }
        case U'ヵ':
        case U'ヶ':
            pushKana(U'カ', from);
            break;
        case U'ヮ':
            pushKana(U'ワ', from);
            break;
        case U'ヷ': case U'ヸ': case U'ヹ': case U'ヺ':
            pushKana(U'ヴ', from);
            pushKana(U"ァィェォ"[k - U'ヷ'], from);
            break;
        default:
            pushKana(k, from);
        }
    }
    while (!out.empty() && out.back() == U' ') {
        out.pop_back();
        at.pop_back();
    }
    run.text = std::move(out);
    run.at = std::move(at);
}

Prepared Output::finish(const MappedText &source) const
{
    std::vector<RunBuilder> runs;
    std::u32string reading;
    std::string sources;  // one letter per code point of `reading`
    bool afterPause = true;
    for (const Item &it : m_items) {
        if (it.kind == Item::Pause) {
            if (runs.empty())
                continue;
            RunBuilder &run = runs.back();
            const char32_t mark = run.language.empty() ? it.engine[0] : asciiMark(it.engine[0]);
            if (!afterPause) {
                run.text.push_back(mark);
                run.at.push_back(it.at[0]);
                reading.push_back(mark);
                sources.push_back(kFromData);
            }
            afterPause = true;
            continue;
        }
        const std::string language = it.kind == Item::Latin ? "en" : "";
        if (runs.empty() || runs.back().language != language) {
            runs.push_back({language, {}, {}});
        } else if (!runs.back().text.empty() && (it.kind == Item::Latin || !it.joins || afterPause)) {
            runs.back().text.push_back(U' ');
            runs.back().at.push_back(it.at[0]);
        }
        RunBuilder &run = runs.back();
        run.text += it.engine;
        run.at.insert(run.at.end(), it.at.begin(), it.at.end());
        reading += it.reading;
        sources.append(it.reading.size(), it.fromUser ? kFromUser : kFromData);
        afterPause = false;
    }

    Prepared p;
    p.reading = utf8::encode(reading);
    p.sources = std::move(sources);
    for (RunBuilder &run : runs) {
        if (run.language.empty())
            cleanForEngine(run);
        const bool hasSound = std::any_of(run.text.begin(), run.text.end(),
                                          [](char32_t c) { return isKana(c) || isLatinLetter(c) || isDigit(c); });
        if (!hasSound)
            continue;
        EngineRun out;
        out.language = run.language;
        out.text = utf8::encode(run.text);
        out.origin.reserve(run.at.size());
        for (std::size_t i : run.at)
            out.origin.push_back(i < source.origin.size() ? source.origin[i] : 0);
        p.runs.push_back(std::move(out));
    }
    return p;
}

// ------------------------------------------------------------------ numbers

// One spoken element of a number, in katakana: "サンビャク", "ジュウ", "ゴ".
struct Element {
    enum End { Zero, Digit, Ten, Hundred, Thousand, Unit } end = Zero;
    int digit = 0;  // Digit: the digit; Hundred/Thousand: its multiplier; Unit: the power of ten
    std::u32string kana;
};

const std::u32string kDigitKana[10] = {U"ゼロ", U"イチ", U"ニ", U"サン", U"ヨン",
                                       U"ゴ", U"ロク", U"ナナ", U"ハチ", U"キュウ"};

// Sound changes before a following consonant: イチ → イッ, ロク → ロッ,
// ハチ → ハッ, ジュウ → ジュッ, ヒャク → ヒャッ.
enum Gemination : unsigned { GemOne = 1, GemSix = 2, GemEight = 4, GemTen = 8, GemHundred = 16 };
constexpr unsigned kGemK = GemOne | GemSix | GemEight | GemTen | GemHundred;  // か こ け き, は ひ ふ ほ
constexpr unsigned kGemST = GemOne | GemEight | GemTen;                       // さ し せ そ, た つ て と ち
constexpr unsigned kGemP = GemTen;                                            // パーセント, ページ

bool geminate(Element &e, unsigned which)
{
    auto endWith = [&](std::size_t drop, const std::u32string &tail) {
        e.kana.resize(e.kana.size() - std::min(drop, e.kana.size()));
        e.kana += tail;
        return true;
    };
    switch (e.end) {
    case Element::Digit:
        if (e.digit == 1 && (which & GemOne))
            return endWith(1, U"ッ");
        if (e.digit == 6 && (which & GemSix))
            return endWith(1, U"ッ");
        if (e.digit == 8 && (which & GemEight))
            return endWith(1, U"ッ");
        return false;
    case Element::Ten:
        return (which & GemTen) ? endWith(1, U"ッ") : false;
    case Element::Hundred:
        return (which & GemHundred) ? endWith(1, U"ッ") : false;
    default:
        return false;
    }
}

void groupElements(int g, bool beforeUnit, std::vector<Element> &out)
{
    const int th = g / 1000, hu = g / 100 % 10, te = g / 10 % 10, on = g % 10;
    if (th) {
        std::u32string k = th == 1 ? (beforeUnit && g == 1000 ? U"イッセン" : U"セン")
                         : th == 3 ? U"サンゼン"
                         : th == 8 ? U"ハッセン"
                                   : kDigitKana[th] + U"セン";
        out.push_back({Element::Thousand, th, k});
    }
    if (hu) {
        std::u32string k = hu == 1 ? U"ヒャク"
                         : hu == 3 ? U"サンビャク"
                         : hu == 6 ? U"ロッピャク"
                         : hu == 8 ? U"ハッピャク"
                                   : kDigitKana[hu] + U"ヒャク";
        out.push_back({Element::Hundred, hu, k});
    }
    if (te)
        out.push_back({Element::Ten, te, te == 1 ? std::u32string(U"ジュウ") : kDigitKana[te] + U"ジュウ"});
    if (on)
        out.push_back({Element::Digit, on, kDigitKana[on]});
}

// A whole number written in digits, without leading zeros, up to 20 digits.
std::vector<Element> integerElements(const std::string &digits)
{
    std::vector<Element> out;
    if (digits.empty() || digits == "0") {
        out.push_back({Element::Zero, 0, kDigitKana[0]});
        return out;
    }
    static const char32_t *kUnits[5] = {U"", U"マン", U"オク", U"チョウ", U"ケイ"};
    const std::size_t groups = (digits.size() + 3) / 4;
    for (std::size_t gi = 0; gi < groups; ++gi) {
        const std::size_t unit = groups - 1 - gi;
        const std::size_t endPos = digits.size() - unit * 4;
        const std::size_t beginPos = endPos >= 4 ? endPos - 4 : 0;
        const int g = std::stoi(digits.substr(beginPos, endPos - beginPos));
        if (g == 0)
            continue;
        groupElements(g, unit > 0, out);
        if (unit > 0) {
            if (unit == 3)
                geminate(out.back(), GemOne | GemEight | GemTen);
            else if (unit == 4)
                geminate(out.back(), kGemK);
            out.push_back({Element::Unit, int(unit * 4), kUnits[unit]});
        }
    }
    return out;
}

std::u32string joined(const std::vector<Element> &els)
{
    std::u32string s;
    for (const Element &e : els)
        s += e.kana;
    return s;
}

std::u32string digitByDigit(const std::string &digits)
{
    std::u32string s;
    for (char d : digits)
        s += kDigitKana[d - '0'];
    return s;
}

// A number as read: its elements, and its value when it is a whole number
// small enough for the tables of days and people.
struct Number {
    std::vector<Element> elements;
    bool whole = true;
    long long value = -1;  // whole numbers below 10^15, else -1
};

Number makeNumber(const std::string &intDigits, const std::string &fraction)
{
    Number n;
    std::string digits = intDigits;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty())
        digits = "0";
    n.elements = integerElements(digits);
    if (digits.size() <= 15)
        n.value = std::stoll(digits);
    if (!fraction.empty()) {
        n.whole = false;
        n.value = -1;
        if (n.elements.size() == 1 && n.elements[0].end == Element::Zero)
            n.elements[0].kana = U"レイ";
        geminate(n.elements.back(), kGemST);
        n.elements.push_back({Element::Unit, 0, U"テン"});
        for (char d : fraction) {
            const int v = d - '0';
            n.elements.push_back({v ? Element::Digit : Element::Zero, v, kDigitKana[v]});
        }
    }
    return n;
}

// ----------------------------------------------------------------- counters

enum class Special { None, Person, Day, DayCount, Tsu, Hour, Hours, Month, Age, Year, Yen, Minute };

// How the count's last element and the counter's first sound change.
enum class Voicing {
    None,
    ThreeOnly,      // 階: サンガイ
    Nasal,          // 本 匹 杯: after サン, セン, マン → ボン
    NasalAndFour,   // 分 泊: after サン, ヨン, セン, マン → プン
};

struct Counter {
    Counter(std::u32string_view written, std::u32string_view kana, unsigned gem = 0,
            std::u32string_view afterGem = {}, std::u32string_view afterNasal = {},
            Voicing voicing = Voicing::None, Special special = Special::None, bool loanword = false)
        : written(written), kana(kana), gem(gem), afterGem(afterGem), afterNasal(afterNasal),
          voicing(voicing), special(special), loanword(loanword)
    {
    }
    std::u32string_view written;
    std::u32string_view kana;
    unsigned gem;
    std::u32string_view afterGem;    // h-row counters after ッ: ポン
    std::u32string_view afterNasal;  // after サン etc., per `voicing`
    Voicing voicing;
    Special special;
    bool loanword;  // stays katakana in the reading
};

// Longest first, so 時間 is found before 時.
const std::vector<Counter> &counters()
{
    static const std::vector<Counter> table = [] {
        std::vector<Counter> t = {
            {U"年生", U"ネンセイ", 0, {}, {}, Voicing::None, Special::Year},
            {U"年間", U"ネンカン", 0, {}, {}, Voicing::None, Special::Year},
            {U"年度", U"ネンド", 0, {}, {}, Voicing::None, Special::Year},
            {U"年", U"ネン", 0, {}, {}, Voicing::None, Special::Year},
            {U"か月", U"カゲツ", kGemK},
            {U"ヶ月", U"カゲツ", kGemK},
            {U"カ月", U"カゲツ", kGemK},
            {U"ケ月", U"カゲツ", kGemK},
            {U"ヵ月", U"カゲツ", kGemK},
            {U"箇月", U"カゲツ", kGemK},
            {U"月", U"ガツ", 0, {}, {}, Voicing::None, Special::Month},
            {U"週間", U"シュウカン", kGemST},
            {U"日間", U"カン", 0, {}, {}, Voicing::None, Special::DayCount},
            {U"日", U"ニチ", 0, {}, {}, Voicing::None, Special::Day},
            {U"時間", U"ジカン", 0, {}, {}, Voicing::None, Special::Hours},
            {U"時", U"ジ", 0, {}, {}, Voicing::None, Special::Hour},
            {U"分の", U"ブンノ"},
            {U"分間", U"フンカン", kGemK, U"プンカン", U"プンカン", Voicing::NasalAndFour, Special::Minute},
            {U"分", U"フン", kGemK, U"プン", U"プン", Voicing::NasalAndFour, Special::Minute},
            {U"秒間", U"ビョウカン"},
            {U"秒", U"ビョウ"},
            {U"人", U"ニン", 0, {}, {}, Voicing::None, Special::Person},
            {U"本", U"ホン", kGemK, U"ポン", U"ボン", Voicing::Nasal},
            {U"匹", U"ヒキ", kGemK, U"ピキ", U"ビキ", Voicing::Nasal},
            {U"杯", U"ハイ", kGemK, U"パイ", U"バイ", Voicing::Nasal},
            {U"泊", U"ハク", kGemK, U"パク", U"パク", Voicing::NasalAndFour},
            {U"個", U"コ", kGemK},
            {U"回", U"カイ", kGemK},
            {U"階", U"カイ", kGemK, {}, U"ガイ", Voicing::ThreeOnly},
            {U"件", U"ケン", kGemK},
            {U"軒", U"ケン", kGemK, {}, U"ゲン", Voicing::ThreeOnly},
            {U"曲", U"キョク", kGemK},
            {U"歳", U"サイ", kGemST, {}, {}, Voicing::None, Special::Age},
            {U"才", U"サイ", kGemST, {}, {}, Voicing::None, Special::Age},
            {U"冊", U"サツ", kGemST},
            {U"足", U"ソク", kGemST, {}, U"ゾク", Voicing::ThreeOnly},
            {U"点", U"テン", kGemST},
            {U"頭", U"トウ", kGemST},
            {U"通", U"ツウ", kGemST},
            {U"着", U"チャク", kGemST},
            {U"社", U"シャ", kGemST},
            {U"枚", U"マイ"},
            {U"台", U"ダイ"},
            {U"度", U"ド"},
            {U"番", U"バン"},
            {U"倍", U"バイ"},
            {U"号", U"ゴウ"},
            {U"位", U"イ"},
            {U"名", U"メイ"},
            {U"割", U"ワリ"},
            {U"円", U"エン", 0, {}, {}, Voicing::None, Special::Yen},
            {U"つ", U"ツ", 0, {}, {}, Voicing::None, Special::Tsu},
            {U"%", U"パーセント", kGemP, {}, {}, Voicing::None, Special::None, true},
            {U"km", U"キロメートル", 0, {}, {}, Voicing::None, Special::None, true},
            {U"kg", U"キログラム", 0, {}, {}, Voicing::None, Special::None, true},
            {U"cm", U"センチメートル", kGemP, {}, {}, Voicing::None, Special::None, true},
            {U"mm", U"ミリメートル", 0, {}, {}, Voicing::None, Special::None, true},
            {U"mg", U"ミリグラム", 0, {}, {}, Voicing::None, Special::None, true},
            {U"ml", U"ミリリットル", 0, {}, {}, Voicing::None, Special::None, true},
            {U"m", U"メートル", 0, {}, {}, Voicing::None, Special::None, true},
            {U"g", U"グラム", 0, {}, {}, Voicing::None, Special::None, true},
            {U"℃", U"ド"},
            {U"°C", U"ド"},
            {U"°", U"ド"},
        };
        std::stable_sort(t.begin(), t.end(),
                         [](const Counter &a, const Counter &b) { return a.written.size() > b.written.size(); });
        return t;
    }();
    return table;
}

const Counter &counterNamed(std::u32string_view written)
{
    for (const Counter &c : counters())
        if (c.written == written)
            return c;
    return counters().back();
}

// The spoken number and counter: `number` for the count (origin: its
// digits), `counter` for the counter word (origin: the counter).
struct Counted {
    std::u32string number;
    std::u32string counter;
    bool loanword = false;
};

// Day of the month or number of days, when it has a word of its own.
const char32_t *dayWord(long long v, bool date)
{
    switch (v) {
    case 1: return date ? U"ツイタチ" : U"イチニチ";
    case 2: return U"フツカ";
    case 3: return U"ミッカ";
    case 4: return U"ヨッカ";
    case 5: return U"イツカ";
    case 6: return U"ムイカ";
    case 7: return U"ナノカ";
    case 8: return U"ヨウカ";
    case 9: return U"ココノカ";
    case 10: return U"トオカ";
    case 14: return U"ジュウヨッカ";
    case 20: return U"ハツカ";
    case 24: return U"ニジュウヨッカ";
    default: return nullptr;
    }
}

bool counterApplies(const Counter &c, const Number &n)
{
    if (c.special == Special::Tsu)
        return n.whole && n.value >= 1 && n.value <= 10;
    return true;
}

Counted count(Number n, const Counter &c, bool dateContext)
{
    Counted out;
    out.loanword = c.loanword;
    Element &last = n.elements.back();
    const bool lastIs = last.end == Element::Digit;
    auto replaceLast = [&](const std::u32string &k) { last.kana = k; };

    switch (c.special) {
    case Special::Person:
        if (n.whole && (n.value == 1 || n.value == 2)) {
            out.number = n.value == 1 ? U"ヒトリ" : U"フタリ";
            return out;
        }
        if (lastIs && last.digit == 4)
            replaceLast(U"ヨ");
        break;
    case Special::Day:
    case Special::DayCount:
        if (n.whole) {
            const long long v = n.value;
            if (const char32_t *w = dayWord(v, dateContext && c.special == Special::Day)) {
                out.number = w;
                if (c.special == Special::DayCount)
                    out.counter = U"カン";
                return out;
            }
            if (lastIs && last.digit == 4) {
                replaceLast(U"ヨッカ");
                out.number = joined(n.elements);
                if (c.special == Special::DayCount)
                    out.counter = U"カン";
                return out;
            }
        }
        if (lastIs && last.digit == 7)
            replaceLast(U"シチ");
        else if (lastIs && last.digit == 9)
            replaceLast(U"ク");
        out.number = joined(n.elements);
        out.counter = c.special == Special::DayCount ? U"ニチカン" : U"ニチ";
        return out;
    case Special::Tsu: {
        static const char32_t *words[11] = {nullptr, U"ヒトツ", U"フタツ", U"ミッツ", U"ヨッツ", U"イツツ",
                                            U"ムッツ", U"ナナツ", U"ヤッツ", U"ココノツ", U"トオ"};
        out.number = words[n.value];
        return out;
    }
    case Special::Hour:
    case Special::Hours:
        if (lastIs && last.digit == 4)
            replaceLast(U"ヨ");
        else if (lastIs && last.digit == 9)
            replaceLast(U"ク");
        else if (lastIs && last.digit == 7 && c.special == Special::Hour)
            replaceLast(U"シチ");
        else if (last.end == Element::Zero && c.special == Special::Hour)
            replaceLast(U"レイ");
        break;
    case Special::Month:
        if (lastIs && last.digit == 4)
            replaceLast(U"シ");
        else if (lastIs && last.digit == 7)
            replaceLast(U"シチ");
        else if (lastIs && last.digit == 9)
            replaceLast(U"ク");
        break;
    case Special::Age:
        if (n.whole && n.value == 20) {
            out.number = U"ハタチ";
            return out;
        }
        break;
    case Special::Year:
    case Special::Yen:
        if (lastIs && last.digit == 4)
            replaceLast(U"ヨ");
        break;
    default:
        break;
    }

    std::u32string counter(c.kana);
    const bool gem = c.gem && geminate(last, c.gem);
    if (gem && !c.afterGem.empty()) {
        counter = c.afterGem;
    } else if (!gem && !c.afterNasal.empty()) {
        const bool three = lastIs && last.digit == 3;
        const bool four = lastIs && last.digit == 4;
        const bool nasal = last.end == Element::Thousand || (last.end == Element::Unit && last.digit == 4);
        bool voice = false;
        switch (c.voicing) {
        case Voicing::ThreeOnly: voice = three; break;
        case Voicing::Nasal: voice = three || nasal; break;
        case Voicing::NasalAndFour: voice = three || four || nasal; break;
        case Voicing::None: break;
        }
        if (voice)
            counter = c.afterNasal;
    }
    out.number = joined(n.elements);
    out.counter = counter;
    return out;
}

// A counter the table does not know (章, 巻, 丁目 …), from MeCab: the
// sound changes its first kana calls for. `pron` and `spelled` are the
// counter's pronunciation and spelling; both change alike.
void genericCounter(Number &n, std::u32string &pron, std::u32string &spelled)
{
    if (pron.empty() || spelled.empty())
        return;
    static const std::u32string_view kK = U"カキクケコ", kST = U"サシスセソタチツテト", kH = U"ハヒフヘホ";
    Element &last = n.elements.back();
    const char32_t first = pron[0];
    if (kK.find(first) != std::u32string_view::npos) {
        geminate(last, kGemK);
    } else if (kST.find(first) != std::u32string_view::npos) {
        geminate(last, kGemST);
    } else if (kH.find(first) != std::u32string_view::npos) {
        const bool nasal = (last.end == Element::Digit && last.digit == 3) || last.end == Element::Thousand ||
                           (last.end == Element::Unit && last.digit == 4);
        if (geminate(last, kGemK))
            pron[0] = spelled[0] = first + 2;  // ホン → ポン
        else if (nasal)
            pron[0] = spelled[0] = first + 1;  // ホン → ボン
    }
}

// -------------------------------------------------------- kanji numerals

bool isKanjiNumeral(char32_t c) { return std::u32string_view(U"〇零一二三四五六七八九十百千万億兆").find(c) != std::u32string_view::npos; }

int kanjiDigit(char32_t c)
{
    static const std::u32string_view digits = U"〇一二三四五六七八九";
    if (c == U'零')
        return 0;
    const std::size_t i = digits.find(c);
    return i == std::u32string_view::npos ? -1 : int(i);
}

// 二千二十六 → "2026", 二〇二六 → "2026". Empty when the numerals are a
// list of digits rather than one number (一二三).
std::string kanjiNumber(const std::u32string &s)
{
    const bool hasMultiplier = s.find_first_of(U"十百千万億兆") != std::u32string::npos;
    if (!hasMultiplier) {
        if (s.size() == 1 || s.find_first_of(U"〇零") != std::u32string::npos) {
            std::string d;
            for (char32_t c : s)
                d.push_back(char('0' + kanjiDigit(c)));
            return d;
        }
        return {};
    }
    constexpr unsigned long long kLimit = 100000000000000000ULL;  // 10^17
    unsigned long long total = 0, section = 0, cur = 0;
    for (char32_t c : s) {
        const int d = kanjiDigit(c);
        if (d >= 0) {
            if (cur > kLimit)
                return {};
            cur = cur * 10 + unsigned(d);
            continue;
        }
        unsigned long long mult = c == U'十' ? 10 : c == U'百' ? 100 : c == U'千' ? 1000 : 0;
        if (mult) {
            section += (cur ? cur : 1) * mult;
            cur = 0;
            continue;
        }
        const unsigned long long unit = c == U'万' ? 10000ULL : c == U'億' ? 100000000ULL : 1000000000000ULL;
        const unsigned long long part = section + cur ? section + cur : 1;
        if (part > kLimit / unit)
            return {};
        total += part * unit;
        section = cur = 0;
    }
    total += section + cur;
    return std::to_string(total);
}

// ------------------------------------------------------------------- MeCab

struct Token {
    std::u32string surface;
    std::size_t begin = 0, end = 0;  // code points in the sentence
    bool spaceBefore = false;
    std::vector<std::string> f;       // the dictionary's features
    bool known() const { return f.size() >= 9 && f[8] != "*"; }
    const std::string &pos() const { return f[0]; }
    std::string pos1() const { return f.size() > 1 ? f[1] : std::string(); }
};

std::vector<std::string> splitFeatures(const char *feature)
{
    std::vector<std::string> out;
    if (!feature)
        return out;
    std::string cur;
    for (const char *p = feature; *p; ++p) {
        if (*p == ',') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(*p);
        }
    }
    out.push_back(cur);
    return out;
}

// The reading as a Japanese writer spells it, from the dictionary's reading
// (トウキョウ) and pronunciation (トーキョー, particles as ワ エ): the
// pronunciation, with its long-vowel marks spelled out as in the reading.
std::u32string spelledReading(const std::u32string &yomi, const std::u32string &pron)
{
    std::u32string out = pron;
    if (yomi.size() == pron.size()) {
        for (std::size_t i = 0; i < out.size(); ++i)
            if (out[i] == U'ー' && yomi[i] != U'ー')
                out[i] = yomi[i];
        return out;
    }
    for (std::size_t i = 1; i < out.size(); ++i) {
        if (out[i] != U'ー')
            continue;
        switch (vowelOf(out[i - 1])) {
        case U'ア': out[i] = U'ア'; break;
        case U'イ': case U'エ': out[i] = U'イ'; break;
        case U'ウ': case U'オ': out[i] = U'ウ'; break;
        default: break;
        }
    }
    return out;
}

std::u32string pronounced(std::u32string s)
{
    std::replace(s.begin(), s.end(), U'ヲ', U'オ');  // only ever the particle, said お
    return s;
}

// Whether the token belongs to the accent phrase of the word before it.
bool joinsPrevious(const Token &t, const Token *prev)
{
    const std::string &pos = t.f.empty() ? std::string() : t.pos();
    const std::string pos1 = t.f.empty() ? std::string() : t.pos1();
    if (pos == "助詞" || pos == "助動詞" || pos1 == "接尾" || pos1 == "非自立")
        return true;
    if (!prev || prev->f.empty())
        return false;
    if (prev->pos() == "接頭詞")
        return true;
    if ((pos == "名詞" || t.f.size() < 9) && prev->pos() == "名詞")
        return true;
    if (pos == "動詞" && prev->pos() == "名詞" && prev->pos1() == "サ変接続")
        return true;
    return false;
}

// One stretch between pauses as MeCab sees it: the Japanese text, with each
// number, Latin stretch and user entry standing in as one placeholder word
// that MeCab may not cut into, so the words around it keep their context.
// A number read without a counter: MeCab may find one after it.
struct Bare {
    Number number;
    std::u32string prefix;  // マイナス
};

struct Span {
    std::vector<Item> items;
    std::optional<Bare> bare;
};

struct Sentence {
    std::u32string text;
    std::vector<std::size_t> at;  // input index per code point
    std::vector<int> span;        // per code point: -1, or the span a placeholder stands for
    std::vector<Span> spans;

    void add(char32_t c, std::size_t from)
    {
        text.push_back(c);
        at.push_back(from);
        span.push_back(-1);
    }
    // A bare number stands in as a digit, so that MeCab takes the word
    // after it for a counter; anything else as a Latin letter, a noun.
    void addSpan(std::vector<Item> items, std::optional<Bare> bare, std::size_t from)
    {
        text.push_back(bare ? U'0' : U'X');
        at.push_back(from);
        span.push_back(static_cast<int>(spans.size()));
        spans.push_back({std::move(items), std::move(bare)});
    }
    bool empty() const { return text.empty(); }
};

class Parser {
public:
    Parser(const MeCab::Model &model, const std::map<std::string, std::string> *user, Output &out)
        : m_tagger(model.createTagger()), m_lattice(model.createLattice()), m_out(out)
    {
        if (user) {
            for (const auto &[word, kana] : *user) {
                const std::u32string w = normalise(utf8::decode(word)).text;
                if (w.empty() || kana.empty())
                    continue;
                m_userWords.emplace(w, utf8::decode(kana));
                m_userFirst.push_back(w[0]);
                m_userLongest = std::max(m_userLongest, w.size());
            }
            std::sort(m_userFirst.begin(), m_userFirst.end());
            m_userFirst.erase(std::unique(m_userFirst.begin(), m_userFirst.end()), m_userFirst.end());
        }
    }

    bool ok() const { return m_tagger && m_lattice; }

    void run(const Working &w);

private:
    // Scanning the normalised text; what they find goes to m_sink.
    std::size_t userEntryAt(const Working &w, std::size_t i, std::u32string &kana) const;
    std::size_t numberAt(const Working &w, std::size_t i);
    std::size_t latinAt(const Working &w, std::size_t i);

    // Parsing one sentence with MeCab
    void sentence(const Sentence &s);
    bool parse(const std::string &utf8, const std::u32string &text, std::vector<Token> &tokens,
               const std::vector<int> *placeholders = nullptr);
    void emitToken(const Token &t, const Token *prev, const std::vector<std::size_t> &at);
    void emitUnknown(const Token &t, bool joins, const std::vector<std::size_t> &at);
    bool emitKanjiNumber(const Sentence &s, const std::vector<Token> &tokens, std::size_t k,
                         const Token *prev, std::size_t &last);
    std::u32string characterReading(char32_t c, std::u32string &spelled);
    static bool isCounterToken(const Token &t);
    void emitCounted(Number number, const std::u32string &prefix, std::size_t from, const Token &counter,
                     const std::vector<std::size_t> &at, bool joins);

    std::unique_ptr<MeCab::Tagger> m_tagger;
    std::unique_ptr<MeCab::Lattice> m_lattice;
    std::map<std::u32string, std::u32string> m_userWords;
    std::vector<char32_t> m_userFirst;
    std::size_t m_userLongest = 0;
    Output &m_out;
    Output m_spanOut;
    Output *m_sink = &m_spanOut;
    std::optional<Bare> m_bare;  // set by numberAt for a number without counter
};

// A day after a month is a date: 5月1日 is ついたち, 1日 alone いちにち.
template <typename Text>
bool afterMonth(const Text &text, std::size_t i)
{
    while (i > 0 && text[i - 1] == U' ')
        --i;
    return i > 0 && text[i - 1] == U'月';
}

std::size_t Parser::userEntryAt(const Working &w, std::size_t i, std::u32string &kana) const
{
    if (m_userWords.empty() || !std::binary_search(m_userFirst.begin(), m_userFirst.end(), w.text[i]))
        return 0;
    const std::size_t longest = std::min(m_userLongest, w.text.size() - i);
    for (std::size_t len = longest; len > 0; --len) {
        auto it = m_userWords.find(w.text.substr(i, len));
        if (it != m_userWords.end()) {
            kana = it->second;
            return len;
        }
    }
    return 0;
}

// A number with what belongs to it: sign, currency, decimals, 万 億 兆,
// a time of day, a range, its counter or unit. Returns the code points used.
std::size_t Parser::numberAt(const Working &w, std::size_t start)
{
    const std::u32string &s = w.text;
    const std::size_t n = s.size();
    std::size_t i = start;
    bool minus = false;
    char32_t currency = 0;
    if (s[i] == U'-' && i + 1 < n && isDigit(s[i + 1])) {
        minus = true;
        ++i;
    }
    if ((s[i] == U'¥' || s[i] == U'$' || s[i] == U'€') && i + 1 < n && isDigit(s[i + 1])) {
        currency = s[i];
        ++i;
    }
    if (i >= n || !isDigit(s[i]))
        return 0;
    const std::size_t numberStart = i;
    auto digitsFrom = [&](std::size_t &p) {
        std::string d;
        while (p < n && isDigit(s[p]))
            d.push_back(char(s[p++]));
        return d;
    };

    std::string intDigits = digitsFrom(i);
    // 1,000,000: commas between groups of three.
    if (intDigits.size() <= 3) {
        while (i + 3 < n && s[i] == U',' && isDigit(s[i + 1]) && isDigit(s[i + 2]) && isDigit(s[i + 3]) &&
               (i + 4 >= n || !isDigit(s[i + 4]))) {
            intDigits += std::string{char(s[i + 1]), char(s[i + 2]), char(s[i + 3])};
            i += 4;
        }
    }

    const std::size_t at = w.at[numberStart];
    auto emitPlain = [&](const std::u32string &k, std::size_t origin) { m_sink->kana(k, origin, hiragana(k), false); };

    // 2026/3/5, 2026-03-05, 2026.3.5: a date.
    if (intDigits.size() == 4 && !minus && !currency && i + 1 < n &&
        (s[i] == U'/' || s[i] == U'-' || s[i] == U'.') && isDigit(s[i + 1])) {
        const char32_t sep = s[i];
        std::size_t p = i + 1;
        const std::size_t monthAt = p;
        const std::string month = digitsFrom(p);
        if (p + 1 < n && s[p] == sep && isDigit(s[p + 1]) && month.size() <= 2) {
            const std::size_t dayAt = ++p;
            const std::string day = digitsFrom(p);
            const int m = std::stoi(month), d = day.size() <= 2 ? std::stoi(day) : 0;
            if (m >= 1 && m <= 12 && d >= 1 && d <= 31) {
                auto emitCounted = [&](const std::string &digits, const char32_t *counter, std::size_t from,
                                       std::size_t counterFrom, bool date) {
                    const Counted c = count(makeNumber(digits, {}), counterNamed(counter), date);
                    std::vector<std::size_t> origins(c.number.size(), w.at[from]);
                    origins.insert(origins.end(), c.counter.size(), w.at[counterFrom]);
                    m_sink->kana(c.number + c.counter, std::move(origins), hiragana(c.number + c.counter), false);
                };
                emitCounted(intDigits, U"年", numberStart, i, false);
                emitCounted(month, U"月", monthAt, dayAt - 1, false);
                emitCounted(day, U"日", dayAt, p - 1, true);
                return p - start;
            }
        }
    }

    // 03-1234-5678: a telephone number, digit by digit, の between the groups.
    if (!minus && !currency && i + 1 < n && s[i] == U'-' && isDigit(s[i + 1])) {
        std::vector<std::pair<std::string, std::size_t>> groups = {{intDigits, numberStart}};
        std::size_t p = i;
        while (p + 1 < n && s[p] == U'-' && isDigit(s[p + 1])) {
            const std::size_t groupAt = ++p;
            groups.emplace_back(digitsFrom(p), groupAt);
        }
        if (groups.size() >= 3 || intDigits[0] == '0') {
            std::u32string engine;
            std::vector<std::size_t> origins;
            for (const auto &[digits, from] : groups) {
                if (!engine.empty()) {
                    engine += U"ノ";
                    origins.push_back(w.at[from - 1]);
                }
                const std::u32string k = digitByDigit(digits);
                engine += k;
                origins.insert(origins.end(), k.size(), w.at[from]);
            }
            std::u32string reading = hiragana(engine);
            m_sink->kana(std::move(engine), std::move(origins), std::move(reading), false);
            return p - start;
        }
    }

    // 10:30 and 10:30:15
    if (intDigits.size() <= 2 && i + 2 < n && s[i] == U':' && isDigit(s[i + 1]) && isDigit(s[i + 2]) &&
        (i + 3 >= n || !isDigit(s[i + 3])) && std::stoi(intDigits) <= 24 && !minus && !currency) {
        const int minutes = (s[i + 1] - U'0') * 10 + (s[i + 2] - U'0');
        if (minutes < 60) {
            Counted h = count(makeNumber(intDigits, {}), counterNamed(U"時"), false);
            m_sink->kana(h.number + h.counter, at, hiragana(h.number + h.counter), false);
            const std::size_t minuteAt = w.at[i + 1];
            i += 3;
            if (minutes) {
                Counted m = count(makeNumber(std::to_string(minutes), {}), counterNamed(U"分"), false);
                m_sink->kana(m.number + m.counter, minuteAt, hiragana(m.number + m.counter), true);
            }
            if (i + 2 < n && s[i] == U':' && isDigit(s[i + 1]) && isDigit(s[i + 2]) &&
                (i + 3 >= n || !isDigit(s[i + 3]))) {
                const int seconds = (s[i + 1] - U'0') * 10 + (s[i + 2] - U'0');
                const std::size_t secondAt = w.at[i + 1];
                i += 3;
                if (seconds) {
                    Counted sec = count(makeNumber(std::to_string(seconds), {}), counterNamed(U"秒"), false);
                    m_sink->kana(sec.number + sec.counter, secondAt, hiragana(sec.number + sec.counter), true);
                }
            }
            return i - start;
        }
    }

    // 10〜20, 2人〜3人: "から" before the second number.
    auto range = [&](std::size_t p) -> std::size_t {
        if (p + 1 < n && (s[p] == U'〜' || s[p] == U'~') && isDigit(s[p + 1])) {
            m_sink->kana(U"カラ", w.at[p], U"から", true);
            return 1;
        }
        return 0;
    };

    std::string fraction;
    if (i + 1 < n && s[i] == U'.' && isDigit(s[i + 1])) {
        ++i;
        fraction = digitsFrom(i);
    }

    // 3万, 1億2000万: a number with its own units after the digits.
    if (fraction.empty() && i < n && (s[i] == U'万' || s[i] == U'億' || s[i] == U'兆') && intDigits.size() <= 4) {
        unsigned long long total = 0;
        std::size_t p = i;
        std::string group = intDigits;
        unsigned long long lastUnit = ~0ULL;
        while (true) {
            const unsigned long long unit = s[p] == U'万' ? 10000ULL : s[p] == U'億' ? 100000000ULL : 1000000000000ULL;
            if (unit >= lastUnit)
                break;
            total += std::stoull(group) * unit;
            lastUnit = unit;
            ++p;
            i = p;
            std::size_t q = p;
            std::string next = digitsFrom(q);
            if (next.empty() || next.size() > 4)
                break;
            if (q < n && (s[q] == U'万' || s[q] == U'億' || s[q] == U'兆')) {
                group = next;
                p = q;
                continue;
            }
            if (lastUnit == 10000ULL) {  // the ones after 万: 3万5000
                total += std::stoull(next);
                i = q;
            }
            break;
        }
        intDigits = std::to_string(total);
    }

    // Leading zeros with nothing counted: a code or a phone number, digit by digit.
    const Counter *counter = nullptr;
    std::size_t counterLen = 0;
    if (currency == 0) {
        for (const Counter &c : counters()) {
            const std::size_t len = c.written.size();
            if (i + len > n || std::u32string_view(s).substr(i, len) != c.written)
                continue;
            if (isAsciiLetter(c.written[0]) && i + len < n && isLatinLetter(s[i + len]))
                continue;  // "5min" is not 5 m
            if (c.written == U"分の" && !(i + len < n && (isDigit(s[i + len]) || isKanjiNumeral(s[i + len]))))
                continue;
            counter = &c;
            counterLen = len;
            break;
        }
    }

    if (intDigits.size() > 20 || (intDigits.size() > 1 && intDigits[0] == '0' && !counter && fraction.empty() &&
                                  !currency)) {
        std::u32string k = digitByDigit(intDigits);
        if (minus)
            k = U"マイナス" + k;
        emitPlain(k, at);
        if (!fraction.empty())
            m_sink->kana(U"テン" + digitByDigit(fraction), at, hiragana(U"テン" + digitByDigit(fraction)), true);
        return i - start;
    }

    Number number = makeNumber(intDigits, fraction);
    std::u32string prefix = minus ? U"マイナス" : U"";
    if (currency) {
        std::u32string engine, reading;
        if (currency == U'¥') {
            const Counted c = count(number, counterNamed(U"円"), false);
            engine = prefix + c.number + c.counter;
            reading = hiragana(engine);
        } else {
            const std::u32string word = currency == U'$' ? U"ドル" : U"ユーロ";
            engine = prefix + joined(number.elements) + word;
            reading = hiragana(prefix + joined(number.elements)) + word;
        }
        m_sink->kana(engine, w.at[start], std::move(reading), false);
        return i - start;
    }
    if (counter && counterApplies(*counter, number)) {
        Counted c = count(number, *counter, afterMonth(s, numberStart));
        const std::size_t counterAt = w.at[i];
        std::u32string engine = prefix + c.number + c.counter;
        std::vector<std::size_t> origins(prefix.size() + c.number.size(), at);
        origins.insert(origins.end(), c.counter.size(), counterAt);
        std::u32string reading = hiragana(prefix + c.number) + (c.loanword ? c.counter : hiragana(c.counter));
        m_sink->kana(std::move(engine), std::move(origins), std::move(reading), false);
        i += counterLen;
        return i - start + range(i);
    }
    emitPlain(prefix + joined(number.elements), at);
    if (const std::size_t len = range(i))
        return i - start + len;
    // MeCab may still find a counter after it that the table does not know.
    m_bare = Bare{std::move(number), std::move(prefix)};
    return i - start;
}

// Latin words, with the spaces and marks between them, for the English voice.
std::size_t Parser::latinAt(const Working &w, std::size_t start)
{
    const std::u32string &s = w.text;
    const std::size_t n = s.size();
    std::size_t i = start;
    std::size_t end = start;
    while (i < n) {
        if (isLatinLetter(s[i]) || (isDigit(s[i]) && i > start && (isLatinLetter(s[i - 1]) || isDigit(s[i - 1])))) {
            ++i;
            end = i;
            continue;
        }
        // Inside a name or phrase: "Tom's", "e-mail", "Mr. Smith", "Hello, world", "AT&T".
        std::size_t j = i;
        while (j < n && (s[j] == U'\'' || s[j] == U'’' || s[j] == U'-' || s[j] == U'.' || s[j] == U',' ||
                         s[j] == U'&' || s[j] == U'@' || s[j] == U'!' || s[j] == U'?'))
            ++j;
        while (j < n && s[j] == U' ')
            ++j;
        if (j > i && j < n && isLatinLetter(s[j])) {
            i = j;
            continue;
        }
        break;
    }
    std::u32string text = s.substr(start, end - start);
    std::vector<std::size_t> at(w.at.begin() + start, w.at.begin() + end);
    m_sink->latin(std::move(text), std::move(at));
    return end - start;
}

void Parser::run(const Working &w)
{
    const std::u32string &t = w.text;
    Sentence s;
    auto finish = [&] {
        if (!s.empty())
            sentence(s);
        s = Sentence();
    };
    // What a scanner found becomes one placeholder of the sentence.
    auto spanned = [&](std::size_t from, std::size_t len) {
        if (len)
            s.addSpan(m_spanOut.take(), std::exchange(m_bare, std::nullopt), w.at[from]);
        m_bare.reset();
        return len;
    };
    std::size_t i = 0;
    while (i < t.size()) {
        const char32_t c = t[i];
        std::u32string kana;
        if (const std::size_t len = userEntryAt(w, i, kana)) {
            m_sink->userKana(katakana(kana), w.at[i], kana);
            i += spanned(i, len);
            continue;
        }
        const bool startsNumber = isDigit(c) ||
            ((c == U'-' || c == U'¥' || c == U'$' || c == U'€') && i + 1 < t.size() && isDigit(t[i + 1]));
        const bool hyphenInWord = c == U'-' && i > 0 && (isLatinLetter(t[i - 1]) || isDigit(t[i - 1]));
        if (startsNumber && !hyphenInWord) {
            if (const std::size_t len = spanned(i, numberAt(w, i))) {
                i += len;
                continue;
            }
        }
        if (isLatinLetter(c)) {
            i += spanned(i, latinAt(w, i));
            continue;
        }
        if (const char32_t p = pauseFor(c)) {
            if (p == U' ') {
                s.add(U' ', w.at[i]);
            } else {
                finish();
                m_out.pause(p, w.at[i]);
            }
            ++i;
            continue;
        }
        s.add(c, w.at[i]);
        ++i;
        // MeCab's lattice grows with the sentence: long stretches without a
        // pause are parsed in pieces, cut at a space where there is one.
        if (s.text.size() >= kMaxSentence && (c == U' ' || s.text.size() >= kMaxSentence + 64))
            finish();
    }
    finish();
}

bool Parser::parse(const std::string &bytes, const std::u32string &text, std::vector<Token> &tokens,
                   const std::vector<int> *placeholders)
{
    tokens.clear();
    // Byte offset → code point index.
    std::vector<std::size_t> cpAt(bytes.size() + 1, text.size());
    {
        std::size_t b = 0;
        for (std::size_t k = 0; k < text.size(); ++k) {
            cpAt[b] = k;
            b += utf8::encode(text[k]).size();
        }
    }
    m_lattice->clear();
    m_lattice->set_request_type(MECAB_ONE_BEST);
    m_lattice->set_sentence(bytes.c_str(), bytes.size());
    if (placeholders) {
        std::size_t b = 0;
        for (std::size_t k = 0; k < text.size(); ++k) {
            const std::size_t len = utf8::encode(text[k]).size();
            if ((*placeholders)[k] >= 0) {
                m_lattice->set_boundary_constraint(b, MECAB_TOKEN_BOUNDARY);
                m_lattice->set_boundary_constraint(b + len, MECAB_TOKEN_BOUNDARY);
            }
            b += len;
        }
    }
    if (!m_tagger->parse(m_lattice.get()))
        return false;
    for (const MeCab::Node *node = m_lattice->bos_node(); node; node = node->next) {
        if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE || node->length == 0)
            continue;
        const std::size_t off = static_cast<std::size_t>(node->surface - bytes.c_str());
        if (off > bytes.size() || off + node->length > bytes.size())
            continue;
        Token t;
        t.begin = cpAt[off];
        t.end = cpAt[off + node->length];
        if (t.begin >= t.end)
            continue;
        t.surface = text.substr(t.begin, t.end - t.begin);
        t.spaceBefore = node->rlength > node->length;
        t.f = splitFeatures(node->feature);
        tokens.push_back(std::move(t));
    }
    return true;
}

// The pronunciation MeCab gives a single character, or empty.
std::u32string Parser::characterReading(char32_t c, std::u32string &spelled)
{
    const std::u32string one(1, c);
    std::vector<Token> tokens;
    if (!parse(utf8::encode(one), one, tokens) || tokens.size() != 1 || !tokens[0].known())
        return {};
    const std::u32string pron = utf8::decode(tokens[0].f[8]);
    if (!allKatakana(pron))
        return {};
    spelled = spelledReading(utf8::decode(tokens[0].f[7]), pron);
    return pron;
}

void Parser::emitUnknown(const Token &t, bool joins, const std::vector<std::size_t> &at)
{
    std::u32string engine, reading;
    std::vector<std::size_t> origins;
    std::u32string previousPron, previousSpelled;
    for (std::size_t k = 0; k < t.surface.size(); ++k) {
        const char32_t c = t.surface[k];
        const std::size_t from = at[t.begin + k];
        if (isKana(c) || c == U'ー') {
            engine.push_back(toKatakana(c));
            origins.push_back(from);
            reading.push_back(c);
            previousPron.clear();
            continue;
        }
        if (!isKanji(c))
            continue;  // another script: nothing the Japanese voice could say
        std::u32string spelled;
        std::u32string pron = c == U'々' ? previousPron : characterReading(c, spelled);
        if (c == U'々')
            spelled = previousSpelled;
        if (pron.empty())
            continue;
        engine += pronounced(pron);
        origins.insert(origins.end(), pron.size(), from);
        reading += hiragana(pronounced(spelled));
        previousPron = pron;
        previousSpelled = spelled;
    }
    m_out.kana(std::move(engine), std::move(origins), std::move(reading), joins);
}

void Parser::emitToken(const Token &t, const Token *prev, const std::vector<std::size_t> &at)
{
    const bool joins = joinsPrevious(t, prev);
    if (!t.f.empty() && t.pos() == "記号" && !allKana(t.surface))
        return;  // symbols are not read aloud
    if (!t.known()) {
        emitUnknown(t, joins, at);
        return;
    }
    const std::u32string yomi = utf8::decode(t.f[7]);
    const std::u32string pron = pronounced(utf8::decode(t.f[8]));
    if (!std::all_of(pron.begin(), pron.end(), [](char32_t c) { return isKatakana(c); })) {
        emitUnknown(t, joins, at);
        return;
    }
    std::u32string reading = allKatakana(t.surface) ? pron : hiragana(pronounced(spelledReading(yomi, pron)));

    // Each kana to the character it was written with where that is plain:
    // kana written as kana (okurigana, particles), the rest to the first
    // character of the word.
    std::vector<std::size_t> origins(pron.size(), at[t.begin]);
    const std::u32string surfaceKana = katakana(t.surface);
    if (surfaceKana.size() == pron.size() && allKana(t.surface)) {
        for (std::size_t k = 0; k < pron.size(); ++k)
            origins[k] = at[t.begin + k];
    } else if (yomi.size() == pron.size()) {
        std::size_t k = 0;
        while (k < surfaceKana.size() && k < yomi.size() && isKana(t.surface[k]) && surfaceKana[k] == yomi[k]) {
            origins[k] = at[t.begin + k];
            ++k;
        }
        std::size_t tail = 0;
        while (tail < surfaceKana.size() - k && tail < yomi.size() - k &&
               isKana(t.surface[t.surface.size() - 1 - tail]) &&
               surfaceKana[surfaceKana.size() - 1 - tail] == yomi[yomi.size() - 1 - tail]) {
            origins[pron.size() - 1 - tail] = at[t.begin + t.surface.size() - 1 - tail];
            ++tail;
        }
        const std::size_t firstKanji = t.begin + k;
        for (std::size_t m = k; m + tail < pron.size(); ++m)
            origins[m] = at[std::min(firstKanji, t.end - 1)];
    }
    m_out.kana(pron, std::move(origins), std::move(reading), joins);
}

// A number in kanji: 三百, 二千二十六, 二〇二六, read as one number with
// the counter after it. False when the tokens at k are no number after all;
// `last` is the last token used.
bool Parser::emitKanjiNumber(const Sentence &s, const std::vector<Token> &tokens, std::size_t k,
                             const Token *prev, std::size_t &last)
{
    auto isNumeral = [&](const Token &t) {
        return !t.f.empty() && (t.pos1() == "数" || t.surface == U"〇") &&
               std::all_of(t.surface.begin(), t.surface.end(), isKanjiNumeral);
    };
    const Token &t = tokens[k];
    if (!isNumeral(t))
        return false;
    last = k;
    std::u32string digits = t.surface;
    while (last + 1 < tokens.size() && !tokens[last + 1].spaceBefore && isNumeral(tokens[last + 1]))
        digits += tokens[++last].surface;
    const bool joins = prev && joinsPrevious(t, prev);
    const std::size_t from = s.at[t.begin];

    if (digits.find_first_not_of(U'〇') == std::u32string::npos) {
        // 〇〇さん: a placeholder, said まる.
        std::u32string maru;
        for (std::size_t m = 0; m < digits.size(); ++m)
            maru += U"マル";
        m_out.kana(maru, from, hiragana(maru), joins);
        return true;
    }
    const std::string value = kanjiNumber(digits);
    if (value.empty() || value.size() > 20)
        return false;
    const Number number = makeNumber(value, {});
    const std::size_t numberEnd = tokens[last].end;
    for (const Counter &c : counters()) {
        if (std::u32string_view(s.text).substr(numberEnd, c.written.size()) != c.written ||
            !counterApplies(c, number) || last + 1 >= tokens.size() || tokens[last + 1].spaceBefore)
            continue;
        // The counter must be whole words of MeCab's cut.
        std::size_t endTok = last + 1;
        while (endTok < tokens.size() && tokens[endTok].end < numberEnd + c.written.size())
            ++endTok;
        if (endTok >= tokens.size() || tokens[endTok].end != numberEnd + c.written.size())
            continue;
        const Counted counted = count(number, c, afterMonth(s.text, t.begin));
        std::vector<std::size_t> origins(counted.number.size(), from);
        origins.insert(origins.end(), counted.counter.size(), s.at[numberEnd]);
        m_out.kana(counted.number + counted.counter, std::move(origins),
                   hiragana(counted.number) + (counted.loanword ? counted.counter : hiragana(counted.counter)),
                   joins);
        last = endTok;
        return true;
    }
    if (last + 1 < tokens.size() && isCounterToken(tokens[last + 1])) {
        emitCounted(number, {}, from, tokens[last + 1], s.at, joins);
        ++last;
        return true;
    }
    const std::u32string kana = joined(number.elements);
    m_out.kana(kana, from, hiragana(kana), joins);
    return true;
}

bool Parser::isCounterToken(const Token &t)
{
    return !t.spaceBefore && t.known() && t.f.size() > 2 && t.pos1() == "接尾" && t.f[2] == "助数詞" &&
           allKatakana(pronounced(utf8::decode(t.f[8])));
}

void Parser::emitCounted(Number number, const std::u32string &prefix, std::size_t from, const Token &counter,
                         const std::vector<std::size_t> &at, bool joins)
{
    std::u32string pron = pronounced(utf8::decode(counter.f[8]));
    std::u32string spelled = pronounced(spelledReading(utf8::decode(counter.f[7]), pron));
    genericCounter(number, pron, spelled);
    const std::u32string head = prefix + joined(number.elements);
    std::vector<std::size_t> origins(head.size(), from);
    origins.insert(origins.end(), pron.size(), at[counter.begin]);
    m_out.kana(head + pron, std::move(origins),
               hiragana(head) + (allKatakana(counter.surface) ? pron : hiragana(spelled)), joins);
}

void Parser::sentence(const Sentence &s)
{
    std::vector<Token> tokens;
    const bool parsed = parse(utf8::encode(s.text), s.text, tokens, &s.span);
    // MeCab keeps every placeholder a word of its own; should it not, or
    // not parse at all, the text between them is read character by character.
    const bool placeholdersKept = parsed && std::all_of(tokens.begin(), tokens.end(), [&](const Token &t) {
        for (std::size_t k = t.begin; k < t.end; ++k)
            if (s.span[k] >= 0 && t.end - t.begin != 1)
                return false;
        return true;
    });
    if (!placeholdersKept) {
        tokens.clear();
        for (std::size_t k = 0; k < s.text.size();) {
            Token t;
            t.begin = k;
            if (s.span[k] >= 0) {
                ++k;
            } else {
                while (k < s.text.size() && s.span[k] < 0)
                    ++k;
            }
            t.end = k;
            t.surface = s.text.substr(t.begin, t.end - t.begin);
            tokens.push_back(std::move(t));
        }
    }

    const Token *prev = nullptr;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const Token &t = tokens[k];
        if (t.spaceBefore) {
            m_out.wordBreak();
            prev = nullptr;
        }
        if (t.end - t.begin == 1 && s.span[t.begin] >= 0) {
            // A number is a phrase of its own unless a prefix (第) leads it,
            // and the noun after it starts the next one.
            const Span &span = s.spans[static_cast<std::size_t>(s.span[t.begin])];
            const bool joins = prev && prev->pos() == "接頭詞";
            prev = nullptr;
            if (span.bare && k + 1 < tokens.size() && isCounterToken(tokens[k + 1])) {
                emitCounted(span.bare->number, span.bare->prefix, s.at[t.begin], tokens[k + 1], s.at, joins);
                ++k;
                continue;
            }
            m_out.add(span.items, joins);
            continue;
        }
        std::size_t last = k;
        if (emitKanjiNumber(s, tokens, k, prev, last)) {
            prev = &tokens[last];
            k = last;
            continue;
        }
        emitToken(t, prev, s.at);
        prev = &t;
    }
}

}  // namespace

JapaneseReader::JapaneseReader() { load(kIpadicDir); }

JapaneseReader::JapaneseReader(const std::string &dicDir) { load(dicDir); }

JapaneseReader::~JapaneseReader() = default;

void JapaneseReader::load(const std::string &dicDir)
{
    // No mecabrc is needed: the dictionary folder says everything, and the
    // system's rc file may point at another dictionary.
    for (const bool withRc : {false, true}) {
        std::vector<std::string> args = {"mecab", "-d", dicDir};
        if (!withRc)
            args.insert(args.end(), {"-r", "/dev/null"});
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        m_model.reset(MeCab::Model::create(static_cast<int>(argv.size()), argv.data()));
        if (m_model)
            break;
    }
    if (!m_model) {
        const char *why = MeCab::getLastError();
        m_error = "MeCab could not load the dictionary in " + dicDir + (why && *why ? std::string(": ") + why : "");
        return;
    }
    // The readings are taken from the IPA dictionary's reading and
    // pronunciation fields; another dictionary's layout would be misread.
    std::unique_ptr<MeCab::Tagger> tagger(m_model->createTagger());
    std::unique_ptr<MeCab::Lattice> lattice(m_model->createLattice());
    bool ipa = false;
    if (tagger && lattice) {
        lattice->set_sentence("は");
        if (tagger->parse(lattice.get()))
            for (const MeCab::Node *node = lattice->bos_node(); node; node = node->next)
                if (node->stat == MECAB_NOR_NODE) {
                    const auto f = splitFeatures(node->feature);
                    ipa = f.size() >= 9 && f[8] == "ワ";
                }
    }
    if (!ipa) {
        m_model.reset();
        m_error = "the dictionary in " + dicDir + " is not the IPA dictionary MeCab needs here";
    }
}

Prepared JapaneseReader::read(const MappedText &text, const std::map<std::string, std::string> *userEntries) const
{
    if (!m_model)
        return {};
    try {
        Output out;
        Parser parser(*m_model, userEntries, out);
        if (!parser.ok())
            return {};
        const Working w = normalise(text.text);
        parser.run(w);
        return out.finish(text);
    } catch (const std::exception &) {
        return {};
    }
}

}  // namespace tavrel::reading
