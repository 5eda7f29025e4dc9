// First stage of the Mandarin reading: text as a Putonghua announcer reads it
// aloud. Numbers, dates, clock times, money, percentages, units and the few
// symbols that are spoken become Chinese characters; everything else (Chinese
// text, Latin words, punctuation) passes through unchanged.
#pragma once

#include "MappedText.h"

namespace tavrel::reading {

// Rewrites what is written with digits and symbols into the Chinese words an
// announcer says; everything else passes through unchanged. origin is kept:
// each output code point carries the origin of the input code point(s) it
// reads — a digit's own origin for the characters that read that digit, a
// symbol's origin for the words that read the symbol ("%" → 百分之).
//
// 1 is always written 一 (the tone rules decide how it sounds), except in
// telephone numbers, where announcers say 幺. Linear in the length of the
// text; never throws on any input.
MappedText normalizeMandarin(const MappedText &in);

}  // namespace tavrel::reading
