// Numbers as an announcer reads them: the spoken elements of a number and
// the sound changes at their ends, numbers written in kanji, and numbers
// found in digits with what belongs to them (sign, currency, decimals,
// dates, times, telephone numbers, ranges, counters). The counters
// themselves are in JapaneseCounters. Internal to JapaneseReader.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::reading::japanese_detail {

class Output;
struct Working;

// One spoken element of a number, in katakana: "サンビャク", "ジュウ", "ゴ".
struct Element {
    enum End { Zero, Digit, Ten, Hundred, Thousand, Unit } end = Zero;
    int digit = 0;  // Digit: the digit; Hundred/Thousand: its multiplier; Unit: the power of ten
    std::u32string kana;
};

// Sound changes before a following consonant: イチ → イッ, ロク → ロッ,
// ハチ → ハッ, ジュウ → ジュッ, ヒャク → ヒャッ.
enum Gemination : unsigned { GemOne = 1, GemSix = 2, GemEight = 4, GemTen = 8, GemHundred = 16 };
constexpr unsigned kGemK = GemOne | GemSix | GemEight | GemTen | GemHundred;  // か こ け き, は ひ ふ ほ
constexpr unsigned kGemST = GemOne | GemEight | GemTen;                       // さ し せ そ, た つ て と ち

// Ends `e` in ッ when it is one of `which`; false when it is not.
bool geminate(Element &e, unsigned which);

// A whole number written in digits, without leading zeros, up to 20 digits.
std::vector<Element> integerElements(const std::string &digits);
std::u32string joined(const std::vector<Element> &els);
std::u32string digitByDigit(const std::string &digits);

// A number as read: its elements, and its value when it is a whole number
// small enough for the tables of days and people.
struct Number {
    std::vector<Element> elements;
    bool whole = true;
    long long value = -1;  // whole numbers below 10^15, else -1
};

Number makeNumber(const std::string &intDigits, const std::string &fraction);

bool isKanjiNumeral(char32_t c);
// 二千二十六 → "2026", 二〇二六 → "2026". Empty when the numerals are a
// list of digits rather than one number (一二三).
std::string kanjiNumber(const std::u32string &s);

// A number read without a counter: MeCab may find one after it.
struct Bare {
    Number number;
    std::u32string prefix;  // マイナス
};

// A number in digits at `start` of the normalised text with what belongs
// to it, read into `out`. Returns the code points used, 0 when there is no
// number; `bare` is set for a number read without a counter.
std::size_t readNumber(const Working &w, std::size_t start, Output &out, std::optional<Bare> &bare);

}  // namespace tavrel::reading::japanese_detail
