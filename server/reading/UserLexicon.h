// The user's own pronunciations: lexicon.txt in the service's working folder,
// one "word<TAB>reading" a line, toned pinyin for Chinese words, kana for
// Japanese ones. Edited by hand or by the program's "save reading" (which
// sets a line with the same text rules); the service picks changes up
// without a restart.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::reading {

struct LexiconEntry {
    std::string word;
    std::vector<std::string> syllables;  // pinyin, canonical numbered ("chong2")
    std::string kana;                    // Japanese reading, as written
};

struct LexiconProblem {
    int line;            // 1-based
    std::string reason;  // in Chinese, for the user
};

struct ParsedLexicon {
    std::map<std::string, LexiconEntry> mandarin;
    std::map<std::string, LexiconEntry> japanese;
    std::vector<LexiconProblem> problems;
    std::size_t longestWord = 0;  // in code points, over both lists
};

// UTF-8 (a BOM is allowed), LF or CRLF, each line as the text rules read it
// (textrules/LexiconLine.h): "#" lines are comments, blank lines are
// ignored, a reading with kana in it is Japanese and must be all kana;
// otherwise it is pinyin, one syllable per Han character of the word (a
// merged erhua syllable also takes the 儿 after it). Bad lines are skipped
// and listed in `problems`; a later line for the same word wins.
ParsedLexicon parseLexicon(std::string_view fileText);

// The file, picked up when it changes: current() looks at the file at most
// once per `checkInterval` and re-reads it when its modification time (to the
// nanosecond), size, inode or status change time differ, so a same-second,
// same-size edit and an editor's replace-by-rename are both seen. A missing
// or unreadable file is an empty list. Bad lines go to `log` (stderr when
// empty) as "lexicon.txt:<line>: <reason>", once per load. Thread-safe.
class UserLexicon {
public:
    explicit UserLexicon(std::filesystem::path file,
                         std::function<void(const std::string &)> log = {},
                         std::chrono::milliseconds checkInterval = std::chrono::milliseconds(200));

    UserLexicon(const UserLexicon &) = delete;
    UserLexicon &operator=(const UserLexicon &) = delete;

    std::shared_ptr<const ParsedLexicon> current() const;
    const std::filesystem::path &path() const { return m_path; }

    // What identifies one version of the file on disk.
    struct Stamp {
        bool exists = false;
        unsigned long long device = 0, inode = 0;
        long long size = 0;
        long long mtimeSec = 0, mtimeNsec = 0;
        long long ctimeSec = 0, ctimeNsec = 0;
        bool operator==(const Stamp &o) const;
        bool operator!=(const Stamp &o) const { return !(*this == o); }
    };

private:
    void reload(const Stamp &seen) const;

    std::filesystem::path m_path;
    std::function<void(const std::string &)> m_log;
    std::chrono::steady_clock::duration m_interval;

    mutable std::mutex m_mutex;
    mutable std::shared_ptr<const ParsedLexicon> m_current;
    mutable Stamp m_stamp;
    mutable bool m_checked = false;
    mutable std::chrono::steady_clock::time_point m_lastCheck;
};

}  // namespace tavrel::reading
