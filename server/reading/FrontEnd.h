// The reading front end of the service: request text → normalised text →
// language runs → reading → engine input. Pure functions of the text and the
// loaded data; the HTTP layer and the engine know none of it.
#pragma once

#include "MappedText.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::reading {

// One stretch of engine input in one language. `language` is empty for the
// voice's own language and "en" for a Latin run inside Chinese or Japanese
// text, spoken by the English voice of the same gender.
struct EngineRun {
    std::string language;
    std::string text;                 // UTF-8, what the engine is given
    std::vector<std::size_t> origin;  // per code point of `text`: request code point
};

// Letters of Prepared::sources, as the reading endpoint sends them
// (contract::reading::fromUser, fromWord, fromCharacter, fromRule, fromData).
inline constexpr char kFromUser = 'u';       // the user's lexicon.txt
inline constexpr char kFromWord = 'w';       // a word of the built-in word list read the syllable
inline constexpr char kFromCharacter = 'c';  // no word decided: the character's own reading
inline constexpr char kFromRule = 'r';       // a context rule (polyphones, tone changes, erhua, numbers)
inline constexpr char kFromData = 'd';       // anything else: Latin words, MeCab

struct Prepared {
    std::vector<EngineRun> runs;  // in text order
    // The text as it will be read: toned pinyin syllables for Chinese
    // (digits 1-5, ü as v, erhua merged as "dianr3"), kana for Japanese,
    // the normalised text otherwise; Latin runs as written.
    std::string reading;
    // Where each piece of `reading` came from, one letter per piece: for
    // Chinese a piece is a blank-separated syllable or Latin word, for
    // Japanese a code point of the kana. Empty for other languages, which
    // have no user entries.
    std::string sources;
};

// The text as one run in the voice's own language, read by the engine as
// written (control characters become blanks).
Prepared asWritten(const std::u32string &text);

struct ParsedLexicon;  // the entries of the user's lexicon.txt
class Lexicon;         // the built-in Mandarin word list (converted at build time)
class UserLexicon;     // the user's lexicon.txt
class JapaneseReader;  // MeCab with the IPA dictionary

class FrontEnd {
public:
    // Loads the data tables from `dataDir`; on failure the front end still
    // works for the locales that need none, and `error` says what is missing.
    explicit FrontEnd(const std::filesystem::path &dataDir);
    ~FrontEnd();

    bool hasMandarin() const;
    bool hasJapanese() const;
    // Whether text of this locale can be read: a locale whose data failed
    // to load is not offered, rather than read with the wrong language.
    bool supports(const std::string &locale) const;
    const std::string &loadError() const { return m_error; }

    // `locale` is the voice's locale code ("zh-CN", "zh-TW", "ja-JP", …).
    // `user` may be null. Never throws on any text.
    Prepared prepare(const std::u32string &text, const std::string &locale,
                     const UserLexicon *user = nullptr) const;

    // The text read with the given numbered pinyin instead of its own
    // reading, one syllable per Han character of the text as read (numbers
    // written out, erhua merged as in lexicon.txt). Only for Mandarin
    // voices; nothing, with the reason in Chinese in `error`, when the
    // syllables do not fit the text.
    std::optional<Prepared> prepareWithReading(const std::u32string &text, const std::string &locale,
                                               const std::vector<std::string> &syllables,
                                               std::string &error) const;

private:
    class Simplifier;

    // The user's Mandarin words as the reader meets them: Simplified, since
    // the text is simplified before it is read (a zh-TW user writes 重慶).
    std::shared_ptr<const ParsedLexicon> simplifiedUserList(std::shared_ptr<const ParsedLexicon> list) const;

    std::unique_ptr<Lexicon> m_mandarin;
    std::unique_ptr<Simplifier> m_simplifier;
    std::unique_ptr<JapaneseReader> m_japanese;
    std::string m_error;
    // The last list simplified, for the list it was made from.
    mutable std::mutex m_userMutex;
    mutable std::weak_ptr<const ParsedLexicon> m_userSource;
    mutable std::shared_ptr<const ParsedLexicon> m_userSimplified;
};

}  // namespace tavrel::reading
