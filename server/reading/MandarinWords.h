// Mandarin words: a run of Han characters cut into words (the most probable
// path through the words of the lexicon, as jieba does), and each word's
// reading from the user's list, our own corrections or the converted data,
// or, for a word without one, character by character.
#pragma once

#include "Lexicon.h"

#include <string>
#include <vector>

namespace tavrel::reading {

struct ParsedLexicon;

enum class ReadingSource { Data, Own, User, Character, Rule };

struct HanWord {
    std::size_t begin = 0;  // index into the run
    std::u32string text;
    std::vector<std::string> syllables;  // one per character; "" for a 儿 merged into the syllable before
    std::string pos;                     // part of speech from the word list ("v", "n", "uj" …)
    ReadingSource source = ReadingSource::Character;
    bool inLexicon = false;
};

// Cuts `run` (Han characters only) into words and reads each. Characters the
// lexicon does not know get an empty syllable: they are not spoken.
std::vector<HanWord> readWords(const std::u32string &run, const Lexicon &lexicon, const ParsedLexicon *user);

// The character's reading when no word decides it.
std::string characterReading(char32_t c, const Lexicon &lexicon);

// "zhong4" → 4, "de5" → 5, anything else → 0.
int toneOf(const std::string &syllable);
std::string withTone(const std::string &syllable, int tone);

}  // namespace tavrel::reading
