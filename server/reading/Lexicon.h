// The built-in Mandarin word list (see LexiconFile.h), mapped read-only and
// searched in place.
#pragma once

#include "LexiconFile.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tavrel::reading {

struct WordInfo {
    std::string_view reading;  // space-separated numbered pinyin; empty: read by character
    std::string_view alternative;  // a second reading, often Taiwan's; may be empty
    double logProbability = 0;
    char pos[3] = {0, 0, 0};   // "v", "n", "uj" …; empty when unknown
    bool own = false;          // from our own corrections
};

class Lexicon {
public:
    // Maps the file; isLoaded() is false (and error() says why) if it is
    // missing or not a word list of this version.
    explicit Lexicon(const std::filesystem::path &file);
    ~Lexicon();
    Lexicon(const Lexicon &) = delete;
    Lexicon &operator=(const Lexicon &) = delete;

    bool isLoaded() const { return m_entries != nullptr; }
    const std::string &error() const { return m_error; }
    std::size_t size() const { return m_count; }
    std::size_t maxWordLength() const { return m_maxKey; }
    double logTotal() const { return m_logTotal; }

    // The entry for exactly this word, if any.
    bool find(std::u32string_view word, WordInfo &info) const;

private:
    const lexfile::Entry *m_entries = nullptr;
    const char32_t *m_keys = nullptr;
    const char *m_readings = nullptr;
    std::size_t m_count = 0;
    std::size_t m_maxKey = 1;
    double m_logTotal = 0;
    void *m_map = nullptr;
    std::size_t m_mapSize = 0;
    std::string m_error;
};

}  // namespace tavrel::reading
