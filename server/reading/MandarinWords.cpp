#include "MandarinWords.h"

#include "Pinyin.h"
#include "UserLexicon.h"
#include "Utf8.h"

#include <cmath>
#include <limits>

namespace tavrel::reading {

namespace {

std::vector<std::string> splitSyllables(std::string_view reading)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < reading.size()) {
        std::size_t end = reading.find(' ', start);
        if (end == std::string_view::npos)
            end = reading.size();
        if (end > start)
            out.emplace_back(reading.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// A user's word always wins the cut it takes part in.
constexpr double kUserWordLogProbability = 0.0;

const LexiconEntry *userWord(const ParsedLexicon *user, std::u32string_view word)
{
    if (!user || user->mandarin.empty() || word.size() > user->longestWord)
        return nullptr;
    auto it = user->mandarin.find(utf8::encode(std::u32string(word)));
    return it == user->mandarin.end() ? nullptr : &it->second;
}

}  // namespace

int toneOf(const std::string &syllable)
{
    if (syllable.empty())
        return 0;
    const char t = syllable.back();
    return (t >= '1' && t <= '5') ? t - '0' : 0;
}

std::string withTone(const std::string &syllable, int tone)
{
    if (toneOf(syllable) == 0)
        return syllable;
    std::string s = syllable;
    s.back() = static_cast<char>('0' + tone);
    return s;
}

std::string characterReading(char32_t c, const Lexicon &lexicon)
{
    WordInfo info;
    const char32_t key[1] = {c};
    if (!lexicon.find(std::u32string_view(key, 1), info) || info.reading.empty())
        return {};
    auto syl = splitSyllables(info.reading);
    return syl.empty() ? std::string() : syl.front();
}

namespace {

// The best cut of `run` into words; with `readable`, only words that carry
// a reading of their own (and single characters) take part.
std::vector<std::size_t> bestCut(const std::u32string &run, const Lexicon &lexicon, const ParsedLexicon *user,
                                 bool readable)
{
    const std::size_t n = run.size();
    const std::size_t maxLen = std::max(lexicon.maxWordLength(), user ? user->longestWord : std::size_t(1));
    // Unknown single characters cost more than any known word.
    const double unknown = -lexicon.logTotal() - 1.0;

    // best[i]: log probability of the best cut of run[i..n); next[i]: end of
    // its first word. Computed from the right, as jieba does.
    std::vector<double> best(n + 1, 0.0);
    std::vector<std::size_t> next(n + 1, n);
    for (std::size_t i = n; i-- > 0;) {
        best[i] = -std::numeric_limits<double>::infinity();
        for (std::size_t len = 1; len <= maxLen && i + len <= n; ++len) {
            const std::u32string_view w(run.data() + i, len);
            double lp;
            WordInfo info;
            if (userWord(user, w))
                lp = kUserWordLogProbability;
            else if (lexicon.find(w, info) && (!readable || len == 1 || !info.reading.empty()))
                lp = info.logProbability;
            else if (len == 1)
                lp = unknown;
            else
                continue;
            const double score = lp + best[i + len];
            if (score > best[i]) {
                best[i] = score;
                next[i] = i + len;
            }
        }
    }

    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < n; i = next[i])
        ends.push_back(next[i]);
    return ends;
}

}  // namespace

std::vector<HanWord> readWords(const std::u32string &run, const Lexicon &lexicon, const ParsedLexicon *user)
{
    // Words of the frequency list without a reading of their own (重新考虑)
    // are cut again into words that have one, so that 重新 still decides 重.
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::size_t start = 0;
    for (std::size_t end : bestCut(run, lexicon, user, false)) {
        WordInfo info;
        const std::u32string_view w(run.data() + start, end - start);
        if (end - start > 1 && !userWord(user, w) && lexicon.find(w, info) && info.reading.empty()) {
            const std::u32string part(w);
            std::size_t s = start;
            for (std::size_t e : bestCut(part, lexicon, user, true)) {
                spans.emplace_back(s, start + e);
                s = start + e;
            }
        } else {
            spans.emplace_back(start, end);
        }
        start = end;
    }

    std::vector<HanWord> words;
    for (const auto &[from, to] : spans) {
        HanWord w;
        w.begin = from;
        w.text = run.substr(from, to - from);
        WordInfo info;
        if (const LexiconEntry *u = userWord(user, w.text)) {
            w.source = ReadingSource::User;
            w.syllables = u->syllables;
            w.inLexicon = true;
        } else if (lexicon.find(w.text, info)) {
            w.inLexicon = true;
            w.pos = std::string(info.pos[0] ? info.pos : "");
            if (!info.reading.empty()) {
                w.syllables = splitSyllables(info.reading);
                w.source = info.own ? ReadingSource::Own : ReadingSource::Data;
            }
        }
        // A user's erhua ("dianr3" for 点儿) covers two characters.
        if (w.source == ReadingSource::User && w.syllables.size() < w.text.size()) {
            textrules::pinyin::Layout layout = textrules::pinyin::layOverHan(w.text, w.syllables);
            if (layout.fits())
                w.syllables = std::move(layout.perHan);
        }
        if (w.syllables.size() != w.text.size()) {
            w.syllables.clear();
            for (char32_t c : w.text)
                w.syllables.push_back(characterReading(c, lexicon));
            if (w.source != ReadingSource::User)
                w.source = ReadingSource::Character;
        }
        words.push_back(std::move(w));
    }
    return words;
}

}  // namespace tavrel::reading
