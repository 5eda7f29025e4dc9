// Normalised Mandarin text → toned pinyin for espeak-ng's cmn-latn-pinyin
// voice, with Latin runs (names, brands, English words) handed to the
// English voice and punctuation kept as pauses, never read.
#pragma once

#include "FrontEnd.h"
#include "Lexicon.h"

#include <optional>
#include <string>
#include <vector>

namespace tavrel::reading {

struct ParsedLexicon;

// `text` holds Simplified characters and no digits left to read (see
// normalizeMandarin); digits that remain are read one by one. With `forced`
// (one entry per Han character of `text`, as spreadOverHan makes it) those
// syllables are read instead of the words' own.
Prepared readMandarin(const MappedText &text, const Lexicon &lexicon, const ParsedLexicon *user,
                      const std::vector<std::string> *forced = nullptr);

// Numbered syllables laid over the Han characters of `text`, one each; a
// merged erhua syllable ("dianr3") also takes the 儿 after its character,
// which gets "". Nothing, with the reason in Chinese, when they do not fit.
std::optional<std::vector<std::string>> spreadOverHan(const std::u32string &text,
                                                     const std::vector<std::string> &syllables, std::string &error);

// An all-capital word of two to five letters is spelled: "GPU" → "G.P.U.".
std::string spellAcronyms(const std::string &latinRun);

}  // namespace tavrel::reading
