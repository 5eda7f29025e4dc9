// Japanese text → kana for espeak-ng's `ja` voice, which reads kana only:
// words and their pronunciation from MeCab with the IPA dictionary, numbers
// and counters read as an announcer reads them, Latin words left to the
// English voice.
#pragma once

#include "FrontEnd.h"
#include "MappedText.h"

#include <map>
#include <memory>
#include <string>

namespace MeCab {
class Model;
}

namespace tavrel::reading {

class JapaneseReader {
public:
    // The IPA dictionary Debian installs (mecab-ipadic-utf8).
    JapaneseReader();
    // `dicDir`: a folder holding a compiled IPA dictionary (sys.dic, dicrc …).
    explicit JapaneseReader(const std::string &dicDir);
    ~JapaneseReader();

    JapaneseReader(const JapaneseReader &) = delete;
    JapaneseReader &operator=(const JapaneseReader &) = delete;

    bool isReady() const { return m_model != nullptr; }
    const std::string &error() const { return m_error; }

    // Thread-safe: the model is shared, every call parses in a lattice of
    // its own. `userEntries` (word → kana, may be null) win over MeCab, the
    // longest word first. Never throws; without a dictionary the result is
    // empty.
    Prepared read(const MappedText &text, const std::map<std::string, std::string> *userEntries) const;

private:
    void load(const std::string &dicDir);

    std::unique_ptr<MeCab::Model> m_model;
    std::string m_error;
};

}  // namespace tavrel::reading
