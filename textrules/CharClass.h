// Classes of characters that the program and the service both judge text by.
#pragma once

namespace textrules {

// A Han character, one that Mandarin reads as one syllable: the CJK Unified
// Ideographs and their extensions A to I, the compatibility ideographs, and
// 〇 (U+3007), the ideographic zero. Whole blocks, so that an ideograph a
// later Unicode adds to them is Han here too.
bool isHan(char32_t c);

// Kana a Japanese reading may be written in: hiragana, katakana, the long
// mark ー, the iteration marks ゝゞヽヾ and the small katakana of U+31F0.
bool isKana(char32_t c);

// Two columns wide on a screen: East Asian Width W or F (Unicode 15.0),
// unassigned code points of the ideograph planes included.
bool isWide(char32_t c);

// What ends a sentence, '.', '!' or '?', for 。！？!?… and their
// full-width, small and vertical forms; 0 for anything else. A Latin '.'
// can also be a decimal point or part of a name: callers that see the
// characters around it decide that.
char sentenceFinal(char32_t c);
inline bool isSentenceFinal(char32_t c) { return sentenceFinal(c) != 0; }

}  // namespace textrules
