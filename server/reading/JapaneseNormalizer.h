// Japanese text before it is read: one width for Latin, digits and kana,
// voicing marks joined to their kana, invisible characters dropped, and
// what each punctuation mark is spoken as. (Numbers are read in
// JapaneseNumbers.) Internal to JapaneseReader.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrel::reading::japanese_detail {

// The input with full-width Latin and digits as ASCII, half-width katakana
// as full-width, combining voicing marks joined to their kana, and the
// characters no reader wants removed. `at` keeps the input index of each.
struct Working {
    std::u32string text;
    std::vector<std::size_t> at;
};

Working normalise(const std::u32string &in);

// The marks the Japanese voice pauses at.
inline bool isPauseMark(char32_t c) { return c == U'。' || c == U'、' || c == U'！' || c == U'？'; }

// What a punctuation mark is spoken as: a pause (one of 。、！？), a word
// boundary (' '), or 0 when the character is not punctuation.
char32_t pauseFor(char32_t c);

}  // namespace tavrel::reading::japanese_detail
