// Mandarin syllables in the numbered form the front end reads with
// ("chong2", "lv4", "de5", "dianr3"), and the forms users write them in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::reading::pinyin {

// A syllable in canonical numbered form: lower case, tone digit 1-5 (5 is the
// neutral tone), ü written v ("ü" itself is taken too), erhua merged as an r
// before the tone ("huar1"). "er2" is the syllable er itself.
bool isSyllable(std::string_view toned);

// The syllables of the language without tone, ü as v ("a", "ai", …, "zuo"),
// the interjections m, n, ng included. Erhua forms are not listed.
const std::vector<std::string> &inventory();

// One syllable as a user may write it: numbered ("Chong2", "lü4", "lu:4",
// "lv4"), tone-marked ("chóng", "lǜ", "ér", combining marks too) or without
// tone ("de" is the neutral "de5"). Returns the canonical numbered form.
std::optional<std::string> normalise(std::string_view syllable);

// "chong2" → "chóng", "lv4" → "lǜ", "de5" → "de", "dianr3" → "diǎnr".
// Anything that is not a canonical syllable comes back unchanged.
std::string toToneMarks(std::string_view numbered);

// A whole reading as a user writes it: syllables separated by blanks or
// apostrophes ("xi1'an1"), numbered syllables glued ("chong2qing4"), marked
// or unmarked words glued ("Chóngqìng"). Returns canonical numbered
// syllables, or nullopt with the reason in Chinese in `error`.
std::optional<std::vector<std::string>> parseReading(std::string_view reading,
                                                     std::string *error = nullptr);

// True when the canonical syllable carries a merged erhua r ("dianr3"; not "er2").
bool isErhua(std::string_view numbered);

}  // namespace tavrel::reading::pinyin
