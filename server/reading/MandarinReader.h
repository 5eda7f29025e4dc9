// Normalised Mandarin text → toned pinyin for espeak-ng's cmn-latn-pinyin
// voice, with Latin runs (names, brands, English words) handed to the
// English voice and punctuation kept as pauses, never read.
#pragma once

#include "FrontEnd.h"
#include "Lexicon.h"

namespace tavrel::reading {

struct ParsedLexicon;

// `text` holds Simplified characters and no digits left to read (see
// normalizeMandarin); digits that remain are read one by one.
Prepared readMandarin(const MappedText &text, const Lexicon &lexicon, const ParsedLexicon *user);

// An all-capital word of two to five letters is spelled: "GPU" → "G.P.U.".
std::string spellAcronyms(const std::string &latinRun);

bool isHan(char32_t c);

}  // namespace tavrel::reading
