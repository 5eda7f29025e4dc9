#include "JapaneseCounters.h"

#include "JapaneseKana.h"
#include "Utf8.h"

#include <algorithm>

namespace tavrel::reading::japanese_detail {

namespace {

// data/japanese_counters.tsv, as the build embeds it.
constexpr const char kTableText[] =
#include "JapaneseCounterTable.inc"
    ;

std::vector<std::u32string> split(const std::u32string &s, char32_t sep)
{
    std::vector<std::u32string> out(1);
    for (char32_t c : s) {
        if (c == sep)
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

// Space-separated items of a column; none for "-".
std::vector<std::u32string> items(const std::u32string &column)
{
    std::vector<std::u32string> out;
    if (column == U"-")
        return out;
    for (std::u32string &item : split(column, U' '))
        if (!item.empty())
            out.push_back(std::move(item));
    return out;
}

bool isNumber(const std::u32string &s)
{
    return !s.empty() && s.size() <= 15 && std::all_of(s.begin(), s.end(), isDigit);
}

long long numberOf(const std::u32string &s)
{
    long long v = 0;
    for (char32_t c : s)
        v = v * 10 + (c - U'0');
    return v;
}

struct Table {
    std::vector<Counter> counters;  // after a number, longest first
    std::vector<Counter> signs;
    std::vector<std::string> problems;
};

// One row into `c`; false, with the reason, when it cannot be read.
bool readRow(const std::vector<std::u32string> &col, Counter &c, std::string &why)
{
    if (col.size() != 10) {
        why = "10 columns expected, " + std::to_string(col.size()) + " found";
        return false;
    }
    auto kana = [&](const std::u32string &s, bool optional, std::u32string &into) {
        if (s == U"-" && optional)
            return true;
        if (!allKatakana(s)) {
            why = "not katakana: " + utf8::encode(s);
            return false;
        }
        into = s;
        return true;
    };
    // digit=kana, the digit 0 to 9
    auto digitKana = [&](const std::u32string &item, std::vector<std::pair<int, std::u32string>> &into) {
        const std::size_t eq = item.find(U'=');
        std::u32string k;
        if (eq != 1 || !isDigit(item[0]) || !kana(item.substr(2), false, k)) {
            if (why.empty())
                why = "digit=kana expected: " + utf8::encode(item);
            return false;
        }
        into.emplace_back(int(item[0] - U'0'), std::move(k));
        return true;
    };

    c.written = col[0];
    if (c.written.empty() || c.written == U"-") {
        why = "no written form";
        return false;
    }
    if (!kana(col[1], false, c.kana) || !kana(col[3], true, c.afterGem) || !kana(col[5], true, c.voicedKana) ||
        !kana(col[7], true, c.afterWord))
        return false;
    for (const std::u32string &end : items(col[2])) {
        const unsigned bit = end == U"1" ? GemOne : end == U"6" ? GemSix : end == U"8" ? GemEight
                           : end == U"十" ? GemTen : end == U"百" ? GemHundred : 0u;
        if (!bit) {
            why = "geminate: 1 6 8 十 百 expected, not " + utf8::encode(end);
            return false;
        }
        c.gem |= bit;
    }
    for (const std::u32string &end : items(col[4])) {
        const unsigned bit = end == U"3" ? AfterThree : end == U"4" ? AfterFour : end == U"千" ? AfterThousand
                           : end == U"万" ? AfterMan : 0u;
        if (!bit) {
            why = "voiced: 3 4 千 万 expected, not " + utf8::encode(end);
            return false;
        }
        c.voicedAfter |= bit;
    }
    if ((c.voicedAfter != 0) != !c.voicedKana.empty()) {
        why = "voiced and as-voiced go together";
        return false;
    }
    for (const std::u32string &item : items(col[6])) {
        if (item[0] == U'*') {
            if (!digitKana(item.substr(1), c.endings))
                return false;
            continue;
        }
        Counter::Word word;
        std::u32string rest = item;
        if (rest.compare(0, 5, U"date:") == 0) {
            word.date = true;
            rest.erase(0, 5);
        }
        const std::size_t eq = rest.find(U'=');
        if (eq == std::u32string::npos || !isNumber(rest.substr(0, eq)) || !kana(rest.substr(eq + 1), false, word.kana)) {
            if (why.empty())
                why = "value=kana expected: " + utf8::encode(item);
            return false;
        }
        word.value = numberOf(rest.substr(0, eq));
        c.words.push_back(std::move(word));
    }
    for (const std::u32string &item : items(col[8]))
        if (!digitKana(item, c.lastDigit))
            return false;
    for (const std::u32string &flag : items(col[9])) {
        if (flag == U"loanword") {
            c.loanword = true;
        } else if (flag == U"sign") {
            c.sign = true;
        } else if (flag == U"words-only") {
            c.wordsOnly = true;
        } else if (flag == U"number-after") {
            c.numberAfter = true;
        } else {
            why = "unknown flag " + utf8::encode(flag);
            return false;
        }
    }
    if (c.sign && c.written.size() != 1) {
        why = "a sign is one character";
        return false;
    }
    return true;
}

Table readTable()
{
    Table t;
    const std::vector<std::u32string> lines = split(utf8::decode(kTableText), U'\n');
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::u32string &line = lines[n];
        if (line.empty() || line[0] == U'#')
            continue;
        Counter c;
        std::string why;
        if (!readRow(split(line, U'\t'), c, why)) {
            t.problems.push_back("line " + std::to_string(n + 1) + ": " + why);
            continue;
        }
        (c.sign ? t.signs : t.counters).push_back(std::move(c));
    }
    std::stable_sort(t.counters.begin(), t.counters.end(),
                     [](const Counter &a, const Counter &b) { return a.written.size() > b.written.size(); });
    return t;
}

const Table &table()
{
    static const Table t = readTable();
    return t;
}

}  // namespace

const std::u32string *Counter::wordFor(long long value, bool date) const
{
    if (date)
        for (const Word &w : words)
            if (w.date && w.value == value)
                return &w.kana;
    for (const Word &w : words)
        if (!w.date && w.value == value)
            return &w.kana;
    return nullptr;
}

const std::vector<Counter> &counters() { return table().counters; }

const Counter &counterNamed(std::u32string_view written)
{
    for (const Counter &c : counters())
        if (c.written == written)
            return c;
    return counters().back();
}

const Counter *currencySign(char32_t c)
{
    for (const Counter &sign : table().signs)
        if (sign.written[0] == c)
            return &sign;
    return nullptr;
}

const std::vector<std::string> &counterTableProblems() { return table().problems; }

bool counterApplies(const Counter &c, const Number &n)
{
    if (c.wordsOnly)
        return n.whole && c.wordFor(n.value, false);
    return true;
}

Counted count(Number n, const Counter &c, bool dateContext)
{
    Counted out;
    out.loanword = c.loanword;
    if (n.whole) {
        if (const std::u32string *word = c.wordFor(n.value, dateContext)) {
            out.number = *word;
            out.counter = c.afterWord;
            return out;
        }
    }
    Element &last = n.elements.back();
    const bool lastIs = last.end == Element::Digit;
    // The last digit as said, ゼロ included; -1 when the number ends in 十, 百 …
    const int lastDigit = lastIs || last.end == Element::Zero ? last.digit : -1;
    auto said = [&](const std::vector<std::pair<int, std::u32string>> &rules) -> const std::u32string * {
        for (const auto &[digit, kana] : rules)
            if (digit == lastDigit)
                return &kana;
        return nullptr;
    };
    if (n.whole) {
        if (const std::u32string *ending = said(c.endings)) {
            last.kana = *ending;
            out.number = joined(n.elements);
            out.counter = c.afterWord;
            return out;
        }
    }
    if (const std::u32string *digit = said(c.lastDigit))
        last.kana = *digit;

    std::u32string counter(c.kana);
    const bool gem = c.gem && geminate(last, c.gem);
    if (gem && !c.afterGem.empty()) {
        counter = c.afterGem;
    } else if (!gem && !c.voicedKana.empty()) {
        const bool voice = (lastIs && last.digit == 3 && (c.voicedAfter & AfterThree)) ||
                           (lastIs && last.digit == 4 && (c.voicedAfter & AfterFour)) ||
                           (last.end == Element::Thousand && (c.voicedAfter & AfterThousand)) ||
                           (last.end == Element::Unit && last.digit == 4 && (c.voicedAfter & AfterMan));
        if (voice)
            counter = c.voicedKana;
    }
    out.number = joined(n.elements);
    out.counter = counter;
    return out;
}

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

}  // namespace tavrel::reading::japanese_detail
