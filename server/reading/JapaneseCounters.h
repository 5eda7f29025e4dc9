// Counters: the words read after a number (3本 さんぼん, 1人 ひとり,
// 4日 よっか) and how number and counter change each other. Their
// readings are data, data/japanese_counters.tsv, compiled in; here are
// only the rules that apply them. Internal to JapaneseReader.
#pragma once

#include "JapaneseNumbers.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel::reading::japanese_detail {

// The ends of a number after which a counter is voiced.
enum VoicedAfter : unsigned { AfterThree = 1, AfterFour = 2, AfterThousand = 4, AfterMan = 8 };

// One row of the table; the columns are described there.
struct Counter {
    struct Word {
        long long value = 0;
        bool date = false;  // only for a day of the month
        std::u32string kana;
    };
    std::u32string written;
    std::u32string kana;
    unsigned gem = 0;              // Gemination bits
    std::u32string afterGem;       // h-row counters after ッ: ポン
    unsigned voicedAfter = 0;      // VoicedAfter bits
    std::u32string voicedKana;     // 本 after サン: ボン
    std::vector<Word> words;       // whole numbers read as words of their own
    std::vector<std::pair<int, std::u32string>> endings;    // whole numbers ending in a digit: 4 → ヨッカ
    std::u32string afterWord;      // the counter after such a word
    std::vector<std::pair<int, std::u32string>> lastDigit;  // the last digit before the counter: 4 → ヨ
    bool loanword = false;         // stays katakana in the reading
    bool sign = false;             // a currency sign written before the number
    bool wordsOnly = false;        // counts only numbers with a word of their own
    bool numberAfter = false;      // only when another number follows

    // The word a whole number is read as with this counter, or null.
    const std::u32string *wordFor(long long value, bool date) const;
};

// The counters written after a number, longest first, so 時間 is found
// before 時.
const std::vector<Counter> &counters();
const Counter &counterNamed(std::u32string_view written);
// The counter a currency sign before a number is read as (¥ → エン), or null.
const Counter *currencySign(char32_t c);
// The rows of the table that could not be read, each with its line; empty
// in a sound build.
const std::vector<std::string> &counterTableProblems();

// The spoken number and counter: `number` for the count (origin: its
// digits), `counter` for the counter word (origin: the counter).
struct Counted {
    std::u32string number;
    std::u32string counter;
    bool loanword = false;
};

bool counterApplies(const Counter &c, const Number &n);
// `dateContext`: the number is a day of the month (5月1日 is ついたち).
Counted count(Number n, const Counter &c, bool dateContext);

// A counter the table does not know (章, 巻, 丁目 …), from MeCab: the
// sound changes its first kana calls for. `pron` and `spelled` are the
// counter's pronunciation and spelling; both change alike.
void genericCounter(Number &n, std::u32string &pron, std::u32string &spelled);

// A day after a month is a date: 5月1日 is ついたち, 1日 alone いちにち.
template <typename Text>
bool afterMonth(const Text &text, std::size_t i)
{
    while (i > 0 && text[i - 1] == U' ')
        --i;
    return i > 0 && text[i - 1] == U'月';
}

}  // namespace tavrel::reading::japanese_detail
