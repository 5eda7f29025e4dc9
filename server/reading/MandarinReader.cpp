#include "MandarinReader.h"

#include "CharClass.h"
#include "MandarinTones.h"
#include "MandarinWords.h"
#include "Pinyin.h"
#include "Utf8.h"

#include <algorithm>
#include <cctype>

namespace tavrel::reading {

namespace {

bool isLatinLetter(char32_t c)
{
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

// Punctuation that marks a pause, and what the engine is given for it.
const char *pauseFor(char32_t c)
{
    if (const char end = textrules::sentenceFinal(c))
        return end == '!' ? "!" : end == '?' ? "?" : ".";
    switch (c) {
    case U'\n':
        return ".";
    case U'，': case U',': case U'、': case U'；': case U';': case U'：': case U':': case U'—': case U'–':
    case U'～': case U'·':
        return ",";
    default:
        return nullptr;
    }
}

const char *digitSyllable(char32_t c)
{
    static const char *names[] = {"ling2", "yi1", "er4", "san1", "si4", "wu3", "liu4", "qi1", "ba1", "jiu3"};
    return names[c - U'0'];
}

const char *const kFullStop = "\xE3\x80\x82";  // 。

bool endsWith(const std::string &s, const char *tail)
{
    const std::size_t n = std::char_traits<char>::length(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Why syllable k of a word reads as it does: the user's list, a word of the
// word list, the character's own reading, or a rule that changed either.
char sourceOf(const HanWord &w, std::size_t k, const std::string &looked)
{
    if (w.source == ReadingSource::User)
        return kFromUser;
    if (w.source == ReadingSource::Rule || w.syllables[k] != looked)
        return kFromRule;
    if (w.text.size() > 1 && (w.source == ReadingSource::Data || w.source == ReadingSource::Own))
        return kFromWord;
    return kFromCharacter;
}

// Builds the engine runs and the reading as the text is walked.
class Output {
public:
    explicit Output(Prepared &p) : m_p(p) {}

    void syllable(const std::string &s, std::size_t origin, char source = kFromData)
    {
        if (s.empty())
            return;
        EngineRun &run = runFor("");
        separate(run);
        appendText(run, s, origin);
        addToReading(s, source);
    }
    void latin(const std::string &written, const std::string &spoken, std::size_t origin)
    {
        EngineRun &run = runFor("en");
        separate(run);
        appendText(run, spoken, origin);
        addToReading(written, kFromData);
    }
    void pause(const char *mark, std::size_t origin)
    {
        if (m_p.runs.empty())
            return;
        EngineRun &run = m_p.runs.back();
        if (run.text.empty() || run.text.back() == ',' || run.text.back() == '.' || run.text.back() == '?' ||
            run.text.back() == '!' || endsWith(run.text, kFullStop))
            return;
        // The pinyin voice does not end a sentence at '.', only at '。'.
        appendText(run, std::string(mark) == "." && run.language.empty() ? kFullStop : mark, origin);
    }

private:
    EngineRun &runFor(const char *language)
    {
        if (m_p.runs.empty() || m_p.runs.back().language != language) {
            m_p.runs.emplace_back();
            m_p.runs.back().language = language;
        }
        return m_p.runs.back();
    }
    static void separate(EngineRun &run)
    {
        if (!run.text.empty() && run.text.back() != ' ') {
            run.text.push_back(' ');
            run.origin.push_back(run.origin.back());
        }
    }
    static void appendText(EngineRun &run, const std::string &s, std::size_t origin)
    {
        // Engine text here is ASCII (pinyin, Latin letters) or Latin-1
        // letters; one origin per code point.
        const std::u32string cps = utf8::decode(s);
        run.text += s;
        run.origin.insert(run.origin.end(), cps.size(), origin);
    }
    void addToReading(const std::string &s, char source)
    {
        if (!m_p.reading.empty())
            m_p.reading.push_back(' ');
        m_p.reading += s;
        m_p.sources.push_back(source);
    }

    Prepared &m_p;
};

}  // namespace

std::string spellAcronyms(const std::string &latinRun)
{
    std::string out;
    std::size_t i = 0;
    while (i < latinRun.size()) {
        std::size_t j = i;
        while (j < latinRun.size() && std::isalpha(static_cast<unsigned char>(latinRun[j])))
            ++j;
        const std::size_t len = j - i;
        bool caps = len >= 2 && len <= 5;
        for (std::size_t k = i; caps && k < j; ++k)
            caps = std::isupper(static_cast<unsigned char>(latinRun[k]));
        if (caps) {
            // Dotted, the English voice spells it (NASA would be read as a word).
            for (std::size_t k = i; k < j; ++k) {
                out.push_back(latinRun[k]);
                out.push_back('.');
            }
        } else {
            out.append(latinRun, i, len);
        }
        if (j == i) {
            out.push_back(latinRun[i]);
            ++j;
        }
        i = j;
    }
    return out;
}

std::optional<std::vector<std::string>> spreadOverHan(const std::u32string &text,
                                                     const std::vector<std::string> &syllables, std::string &error)
{
    textrules::pinyin::Layout layout = textrules::pinyin::layOverHan(text, syllables);
    if (!layout.fits()) {
        error = textrules::pinyin::describe(layout, "文本", false);
        return std::nullopt;
    }
    return std::move(layout.perHan);
}

Prepared readMandarin(const MappedText &text, const Lexicon &lexicon, const ParsedLexicon *user,
                      const std::vector<std::string> *forced)
{
    Prepared prepared;
    std::size_t hanIndex = 0;
    Output out(prepared);
    const std::u32string &t = text.text;
    std::size_t i = 0;
    while (i < t.size()) {
        const char32_t c = t[i];
        if (textrules::isHan(c)) {
            std::size_t j = i;
            while (j < t.size() && textrules::isHan(t[j]))
                ++j;
            std::vector<HanWord> words = readWords(t.substr(i, j - i), lexicon, user);
            std::vector<std::vector<std::string>> looked;  // as the words read, before any rule
            for (const HanWord &w : words)
                looked.push_back(w.syllables);
            applyPolyphoneRules(words);
            applyNeutralTones(words);
            applyYiBuSandhi(words);
            applyErhua(words);
            for (std::size_t n = 0; n < words.size(); ++n) {
                const HanWord &w = words[n];
                for (std::size_t k = 0; k < w.text.size(); ++k) {
                    // A reading given with the request replaces what the
                    // words and rules said, character by character.
                    const bool given = forced && hanIndex < forced->size();
                    const std::string &s = given ? (*forced)[hanIndex] : w.syllables[k];
                    ++hanIndex;
                    out.syllable(s, text.origin[i + w.begin + k],
                                 given ? kFromData : sourceOf(w, k, looked[n][k]));
                }
            }
            i = j;
        } else if (isLatinLetter(c)) {
            // A Latin word, with inner apostrophes, hyphens and dots (don't,
            // e-mail, Mr.), spoken by the English voice.
            std::size_t j = i;
            while (j < t.size() &&
                   (isLatinLetter(t[j]) || isDigit(t[j]) ||
                    ((t[j] == U'\'' || t[j] == U'-' || t[j] == U'.' || t[j] == U'&') && j + 1 < t.size() &&
                     isLatinLetter(t[j + 1]))))
                ++j;
            const std::string word = utf8::encode(t.substr(i, j - i));
            out.latin(word, spellAcronyms(word), text.origin[i]);
            i = j;
        } else if (isDigit(c)) {
            out.syllable(digitSyllable(c), text.origin[i]);
            ++i;
        } else {
            if (const char *mark = pauseFor(c))
                out.pause(mark, text.origin[i]);
            ++i;
        }
    }
    return prepared;
}

}  // namespace tavrel::reading
