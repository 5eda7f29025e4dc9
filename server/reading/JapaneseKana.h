// Characters of Japanese text and the kana rules every stage of the
// Japanese reading shares: which script a character is in, hiragana ↔
// katakana, voicing marks, the vowel a kana ends in.
// Internal to JapaneseReader; not part of the library's interface.
#pragma once

#include "CharClass.h"

#include <string>

namespace tavrel::reading::japanese_detail {

inline bool isHiragana(char32_t c) { return (c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E; }
inline bool isKatakana(char32_t c) { return (c >= 0x30A1 && c <= 0x30FA) || (c >= 0x30FC && c <= 0x30FE); }
inline bool isKana(char32_t c) { return textrules::isKana(c); }
// Han characters (〇 among them), and 々 〆, which stand where a kanji would.
inline bool isKanji(char32_t c) { return textrules::isHan(c) || c == 0x3005 || c == 0x3006; }
inline bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
inline bool isLatinLetter(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
           (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF);
}
inline bool isAsciiLetter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }

inline char32_t toKatakana(char32_t c)
{
    if (c >= 0x3041 && c <= 0x3096)
        return c + 0x60;
    if (c == 0x309D || c == 0x309E)
        return c + 0x60;
    return c;
}
inline char32_t toHiragana(char32_t c)
{
    if (c >= 0x30A1 && c <= 0x30F6)
        return c - 0x60;
    if (c == 0x30FD || c == 0x30FE)
        return c - 0x60;
    return c;
}
std::u32string katakana(std::u32string s);
std::u32string hiragana(std::u32string s);
bool allKatakana(const std::u32string &s);
bool allKana(const std::u32string &s);

// カ → ガ, ハ → バ (or パ with `semi`), ウ → ヴ; anything else unchanged.
char32_t voiced(char32_t c, bool semi = false);

// The vowel a kana ends in, as the full-size katakana vowel; 0 for ン, ッ.
char32_t vowelOf(char32_t c);

}  // namespace tavrel::reading::japanese_detail
