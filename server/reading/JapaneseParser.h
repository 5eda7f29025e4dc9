// The MeCab parser: the normalised text cut into sentences, numbers,
// Latin stretches and the user's entries found first and standing in as
// placeholders, each sentence cut into words by MeCab with the IPA
// dictionary, each word read by its pronunciation. Internal to
// JapaneseReader.
#pragma once

#include "JapaneseNumbers.h"
#include "JapaneseOutput.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace MeCab {
class Model;
class Tagger;
class Lattice;
}  // namespace MeCab

namespace tavrel::reading::japanese_detail {

struct Working;

struct Token {
    std::u32string surface;
    std::size_t begin = 0, end = 0;  // code points in the sentence
    bool spaceBefore = false;
    std::vector<std::string> f;       // the dictionary's features
    bool known() const { return f.size() >= 9 && f[8] != "*"; }
    const std::string &pos() const { return f[0]; }
    std::string pos1() const { return f.size() > 1 ? f[1] : std::string(); }
};

// A node's features, as the dictionary lists them.
std::vector<std::string> splitFeatures(const char *feature);

struct Span {
    std::vector<Item> items;
    std::optional<Bare> bare;
};

// One stretch between pauses as MeCab sees it: the Japanese text, with each
// number, Latin stretch and user entry standing in as one placeholder word
// that MeCab may not cut into, so the words around it keep their context.
struct Sentence {
    std::u32string text;
    std::vector<std::size_t> at;  // input index per code point
    std::vector<int> span;        // per code point: -1, or the span a placeholder stands for
    std::vector<Span> spans;

    void add(char32_t c, std::size_t from)
    {
        text.push_back(c);
        at.push_back(from);
        span.push_back(-1);
    }
    // A bare number stands in as a digit, so that MeCab takes the word
    // after it for a counter; anything else as a Latin letter, a noun.
    void addSpan(std::vector<Item> items, std::optional<Bare> bare, std::size_t from)
    {
        text.push_back(bare ? U'0' : U'X');
        at.push_back(from);
        span.push_back(static_cast<int>(spans.size()));
        spans.push_back({std::move(items), std::move(bare)});
    }
    bool empty() const { return text.empty(); }
};

// Reads the text into `out`. One per request: the model is shared, the
// tagger and lattice are its own.
class Parser {
public:
    Parser(const MeCab::Model &model, const std::map<std::string, std::string> *user, Output &out);
    ~Parser();

    bool ok() const { return m_tagger && m_lattice; }

    void run(const Working &w);

private:
    // Scanning the normalised text; what they find goes to m_sink.
    std::size_t userEntryAt(const Working &w, std::size_t i, std::u32string &kana) const;
    std::size_t latinAt(const Working &w, std::size_t i);

    // Parsing one sentence with MeCab
    void sentence(const Sentence &s);
    bool parse(const std::string &utf8, const std::u32string &text, std::vector<Token> &tokens,
               const std::vector<int> *placeholders = nullptr);
    void emitToken(const Token &t, const Token *prev, const std::vector<std::size_t> &at);
    void emitUnknown(const Token &t, bool joins, const std::vector<std::size_t> &at);
    bool emitKanjiNumber(const Sentence &s, const std::vector<Token> &tokens, std::size_t k,
                         const Token *prev, std::size_t &last);
    std::u32string characterReading(char32_t c, std::u32string &spelled);
    static bool isCounterToken(const Token &t);
    void emitCounted(Number number, const std::u32string &prefix, std::size_t from, const Token &counter,
                     const std::vector<std::size_t> &at, bool joins);

    std::unique_ptr<MeCab::Tagger> m_tagger;
    std::unique_ptr<MeCab::Lattice> m_lattice;
    std::map<std::u32string, std::u32string> m_userWords;
    std::vector<char32_t> m_userFirst;
    std::size_t m_userLongest = 0;
    Output &m_out;
    Output m_spanOut;
    Output *m_sink = &m_spanOut;
    std::optional<Bare> m_bare;  // set by readNumber for a number without counter
};

}  // namespace tavrel::reading::japanese_detail
