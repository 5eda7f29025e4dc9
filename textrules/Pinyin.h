// Mandarin syllables in the numbered form the service reads with ("chong2",
// "lv4", "de5", "dianr3"), the ways users write them, and how many a word
// takes. The program checks a user's correction with the same rules the
// service reads it by, so that nothing it lets through is refused there.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace textrules::pinyin {

// The syllables of the language without tone, ü as v ("a", "ai", …, "zuo"),
// the interjections m, n, ng included; erhua forms are not listed.
const std::vector<std::string> &inventory();

// A syllable in numbered form: lower case, tone digit 1-5 (5 is the neutral
// tone), ü written v (ü itself is taken too), erhua merged as an r before
// the tone ("huar1"). "er2" is the syllable er itself.
bool isSyllable(std::string_view numbered);

// A numbered syllable with a merged erhua r ("dianr3"; not "er2"): it reads
// its character and the 儿 after it.
bool isErhua(std::string_view numbered);

// One syllable as a user may write it: numbered ("Chong2", "lü4", "lu:4",
// "lv4"), tone-marked ("chóng", "lǜ", "ér", combining marks too) or without
// tone ("de" is the neutral "de5"); blanks around it are dropped. The
// numbered form, or nothing.
std::optional<std::string> normalise(std::string_view syllable);

// "chong2" → "chóng", "lv4" → "lǜ", "de5" → "de", "dianr3" → "diǎnr".
// Anything that is not a numbered syllable comes back unchanged.
std::string toToneMarks(std::string_view numbered);

// A whole reading of the service, blank-separated pieces: syllables get
// their tone marks, other pieces (Latin words) stay as they are.
std::string withToneMarks(std::string_view reading);

// A whole reading as a user writes it: syllables apart (blanks, apostrophes,
// hyphens) or glued, numbered ("chong2qing4") or marked ("Chóngqìng").
// Numbered syllables, or nothing with the reason in Chinese in `error`.
std::optional<std::vector<std::string>> parseReading(std::u32string_view reading, std::string *error = nullptr);
// The same of UTF-8 text; text that is not UTF-8 is refused.
std::optional<std::vector<std::string>> parseReading(std::string_view reading, std::string *error = nullptr);

// Numbered syllables laid over the Han characters of a text, one each in
// order; a merged erhua syllable also takes the 儿 (or 兒) right after its
// character, which gets "". Characters that are not Han take none.
struct Layout {
    enum class Fault {
        None,
        ErhuaWithoutEr, // `erhua` is not followed by 儿
        Count,          // `syllables` syllables do not fit `han` characters
    };
    Fault fault = Fault::None;
    std::vector<std::string> perHan; // when it fits: one per Han character
    std::string erhua;
    std::size_t syllables = 0;
    std::size_t han = 0;
    bool fits() const { return fault == Fault::None; }
};
Layout layOverHan(std::u32string_view text, const std::vector<std::string> &syllables);

// Why a layout does not fit, for the user: `subject` names what has the
// characters ("词", "文本", "“重庆”"); with `toneMarks` the erhua syllable is
// shown as the user reads it ("huār"), else numbered ("huar1").
std::string describe(const Layout &layout, std::string_view subject, bool toneMarks);

// A pinyin reading of a word, as lexicon.txt and the program's reading
// dialog take it: the word has Han characters, the reading parses, and its
// syllables fit the word's Han characters. The numbered syllables, or
// nothing with the reason in Chinese in `error` (see describe()).
std::optional<std::vector<std::string>> checkWordReading(std::u32string_view word, std::u32string_view reading,
                                                         std::string_view subject, bool toneMarks,
                                                         std::string *error = nullptr);

}  // namespace textrules::pinyin
