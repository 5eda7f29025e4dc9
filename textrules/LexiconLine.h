// The lines of lexicon.txt, the user's own readings in the working folder:
// one "word<TAB>reading" a line, numbered or marked pinyin for Chinese
// words, kana for Japanese ones; "#" lines are comments; UTF-8 with or
// without a BOM, LF or CRLF. The service reads it, the program sets entries
// in it, and the user edits it by hand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace textrules::lexicon {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Blanks around a word or reading: ASCII blanks and the ideographic space.
std::string_view trim(std::string_view text);

// What a kana reading must be: kana only. Empty when it is, else why, in Chinese.
std::string kanaFault(std::u32string_view reading);

// One line, without its line end.
struct Line {
    enum class Kind { Blank, Comment, Entry, Bad };
    Kind kind = Kind::Blank;
    std::string word;                   // for entries, and bad lines that have one
    bool kana = false;                  // the reading is written in kana: a Japanese entry
    std::vector<std::string> syllables; // pinyin entries: numbered ("chong2")
    std::string reading;                // entries: the reading as written, trimmed
    std::string reason;                 // bad lines: why, in Chinese
};
Line parseLine(std::string_view line);

// The file's content with `word` read as `reading`: the first line for the
// word of the same kind (pinyin or kana) is replaced in place, with its own
// line end, and later ones are dropped, since they would win; or the line
// is appended with the file's own line ends. Every other byte stays as it
// was, comments and lines that are not UTF-8 included.
std::string withEntry(std::string_view content, std::string_view word, std::string_view reading);

// Why `word` and `reading` cannot be written as a line, in Chinese; empty
// when they can: no tab or line end in them (they would make other lines),
// neither empty, the word no comment, and a line the service reads.
std::string refusal(std::string_view word, std::string_view reading);

}  // namespace textrules::lexicon
