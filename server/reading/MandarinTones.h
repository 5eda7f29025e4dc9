// What the word list alone cannot decide: single-character polyphones read
// by their neighbours (跑得快 de5, 我得走了 dei3, 一行字 hang2), the tone
// changes of 一 and 不, neutral tones of particles, and erhua. Each rule works
// on the words of one run of Han characters, in place.
#pragma once

#include "MandarinWords.h"

#include <vector>

namespace tavrel::reading {

// Readings of single-character words chosen by the words around them.
void applyPolyphoneRules(std::vector<HanWord> &words);

// Particles and suffixes that are read in the neutral tone.
void applyNeutralTones(std::vector<HanWord> &words);
// Part of the neutral tones: 来/去 of a directional complement.
void applyDirectionalComplements(std::vector<HanWord> &words);

// 一 and 不 by what follows: 一个 yi2, 一天 yi4, 第一 yi1, 十一 yi1, 看一看
// yi5; 不是 bu2, 不好 bu4, 是不是 bu5.
void applyYiBuSandhi(std::vector<HanWord> &words);

// A 儿 spoken as erhua joins the syllable before it: 点儿 → dianr3.
void applyErhua(std::vector<HanWord> &words);

}  // namespace tavrel::reading
