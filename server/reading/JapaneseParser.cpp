#include "JapaneseParser.h"

#include "JapaneseCounters.h"
#include "JapaneseKana.h"
#include "JapaneseNormalizer.h"
#include "Utf8.h"

#include <mecab.h>

#include <algorithm>
#include <string_view>
#include <utility>

namespace tavrel::reading::japanese_detail {

namespace {

// MeCab's lattice grows with the sentence; long stretches without
// punctuation are parsed in pieces of about this many code points.
constexpr std::size_t kMaxSentence = 256;

// The reading as a Japanese writer spells it, from the dictionary's reading
// (トウキョウ) and pronunciation (トーキョー, particles as ワ エ): the
// pronunciation, with its long-vowel marks spelled out as in the reading.
std::u32string spelledReading(const std::u32string &yomi, const std::u32string &pron)
{
    std::u32string out = pron;
    if (yomi.size() == pron.size()) {
        for (std::size_t i = 0; i < out.size(); ++i)
            if (out[i] == U'ー' && yomi[i] != U'ー')
                out[i] = yomi[i];
        return out;
    }
    for (std::size_t i = 1; i < out.size(); ++i) {
        if (out[i] != U'ー')
            continue;
        switch (vowelOf(out[i - 1])) {
        case U'ア': out[i] = U'ア'; break;
        case U'イ': case U'エ': out[i] = U'イ'; break;
        case U'ウ': case U'オ': out[i] = U'ウ'; break;
        default: break;
        }
    }
    return out;
}

std::u32string pronounced(std::u32string s)
{
    std::replace(s.begin(), s.end(), U'ヲ', U'オ');  // only ever the particle, said お
    return s;
}

// Whether the token belongs to the accent phrase of the word before it.
bool joinsPrevious(const Token &t, const Token *prev)
{
    const std::string &pos = t.f.empty() ? std::string() : t.pos();
    const std::string pos1 = t.f.empty() ? std::string() : t.pos1();
    if (pos == "助詞" || pos == "助動詞" || pos1 == "接尾" || pos1 == "非自立")
        return true;
    if (!prev || prev->f.empty())
        return false;
    if (prev->pos() == "接頭詞")
        return true;
    if ((pos == "名詞" || t.f.size() < 9) && prev->pos() == "名詞")
        return true;
    if (pos == "動詞" && prev->pos() == "名詞" && prev->pos1() == "サ変接続")
        return true;
    return false;
}

}  // namespace

std::vector<std::string> splitFeatures(const char *feature)
{
    std::vector<std::string> out;
    if (!feature)
        return out;
    std::string cur;
    for (const char *p = feature; *p; ++p) {
        if (*p == ',') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(*p);
        }
    }
    out.push_back(cur);
    return out;
}

Parser::Parser(const MeCab::Model &model, const std::map<std::string, std::string> *user, Output &out)
    : m_tagger(model.createTagger()), m_lattice(model.createLattice()), m_out(out)
{
    if (user) {
        for (const auto &[word, kana] : *user) {
            const std::u32string w = normalise(utf8::decode(word)).text;
            if (w.empty() || kana.empty())
                continue;
            m_userWords.emplace(w, utf8::decode(kana));
            m_userFirst.push_back(w[0]);
            m_userLongest = std::max(m_userLongest, w.size());
        }
        std::sort(m_userFirst.begin(), m_userFirst.end());
        m_userFirst.erase(std::unique(m_userFirst.begin(), m_userFirst.end()), m_userFirst.end());
    }
}

Parser::~Parser() = default;

std::size_t Parser::userEntryAt(const Working &w, std::size_t i, std::u32string &kana) const
{
    if (m_userWords.empty() || !std::binary_search(m_userFirst.begin(), m_userFirst.end(), w.text[i]))
        return 0;
    const std::size_t longest = std::min(m_userLongest, w.text.size() - i);
    for (std::size_t len = longest; len > 0; --len) {
        auto it = m_userWords.find(w.text.substr(i, len));
        if (it != m_userWords.end()) {
            kana = it->second;
            return len;
        }
    }
    return 0;
}

// Latin words, with the spaces and marks between them, for the English voice.
std::size_t Parser::latinAt(const Working &w, std::size_t start)
{
    const std::u32string &s = w.text;
    const std::size_t n = s.size();
    std::size_t i = start;
    std::size_t end = start;
    while (i < n) {
        if (isLatinLetter(s[i]) || (isDigit(s[i]) && i > start && (isLatinLetter(s[i - 1]) || isDigit(s[i - 1])))) {
            ++i;
            end = i;
            continue;
        }
        // Inside a name or phrase: "Tom's", "e-mail", "Mr. Smith", "Hello, world", "AT&T".
        std::size_t j = i;
        while (j < n && (s[j] == U'\'' || s[j] == U'’' || s[j] == U'-' || s[j] == U'.' || s[j] == U',' ||
                         s[j] == U'&' || s[j] == U'@' || s[j] == U'!' || s[j] == U'?'))
            ++j;
        while (j < n && s[j] == U' ')
            ++j;
        if (j > i && j < n && isLatinLetter(s[j])) {
            i = j;
            continue;
        }
        break;
    }
    std::u32string text = s.substr(start, end - start);
    std::vector<std::size_t> at(w.at.begin() + start, w.at.begin() + end);
    m_sink->latin(std::move(text), std::move(at));
    return end - start;
}

void Parser::run(const Working &w)
{
    const std::u32string &t = w.text;
    Sentence s;
    auto finish = [&] {
        if (!s.empty())
            sentence(s);
        s = Sentence();
    };
    // What a scanner found becomes one placeholder of the sentence.
    auto spanned = [&](std::size_t from, std::size_t len) {
        if (len)
            s.addSpan(m_spanOut.take(), std::exchange(m_bare, std::nullopt), w.at[from]);
        m_bare.reset();
        return len;
    };
    std::size_t i = 0;
    while (i < t.size()) {
        const char32_t c = t[i];
        std::u32string kana;
        if (const std::size_t len = userEntryAt(w, i, kana)) {
            m_sink->userKana(katakana(kana), w.at[i], kana);
            i += spanned(i, len);
            continue;
        }
        const bool startsNumber = isDigit(c) ||
            (i + 1 < t.size() && isDigit(t[i + 1]) && (c == U'-' || currencySign(c)));
        const bool hyphenInWord = c == U'-' && i > 0 && (isLatinLetter(t[i - 1]) || isDigit(t[i - 1]));
        if (startsNumber && !hyphenInWord) {
            if (const std::size_t len = spanned(i, readNumber(w, i, *m_sink, m_bare))) {
                i += len;
                continue;
            }
        }
        if (isLatinLetter(c)) {
            i += spanned(i, latinAt(w, i));
            continue;
        }
        if (const char32_t p = pauseFor(c)) {
            if (p == U' ') {
                s.add(U' ', w.at[i]);
            } else {
                finish();
                m_out.pause(p, w.at[i]);
            }
            ++i;
            continue;
        }
        s.add(c, w.at[i]);
        ++i;
        // MeCab's lattice grows with the sentence: long stretches without a
        // pause are parsed in pieces, cut at a space where there is one.
        if (s.text.size() >= kMaxSentence && (c == U' ' || s.text.size() >= kMaxSentence + 64))
            finish();
    }
    finish();
}

bool Parser::parse(const std::string &bytes, const std::u32string &text, std::vector<Token> &tokens,
                   const std::vector<int> *placeholders)
{
    tokens.clear();
    // Byte offset → code point index.
    std::vector<std::size_t> cpAt(bytes.size() + 1, text.size());
    {
        std::size_t b = 0;
        for (std::size_t k = 0; k < text.size(); ++k) {
            cpAt[b] = k;
            b += utf8::encode(text[k]).size();
        }
    }
    m_lattice->clear();
    m_lattice->set_request_type(MECAB_ONE_BEST);
    m_lattice->set_sentence(bytes.c_str(), bytes.size());
    if (placeholders) {
        std::size_t b = 0;
        for (std::size_t k = 0; k < text.size(); ++k) {
            const std::size_t len = utf8::encode(text[k]).size();
            if ((*placeholders)[k] >= 0) {
                m_lattice->set_boundary_constraint(b, MECAB_TOKEN_BOUNDARY);
                m_lattice->set_boundary_constraint(b + len, MECAB_TOKEN_BOUNDARY);
            }
            b += len;
        }
    }
    if (!m_tagger->parse(m_lattice.get()))
        return false;
    for (const MeCab::Node *node = m_lattice->bos_node(); node; node = node->next) {
        if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE || node->length == 0)
            continue;
        const std::size_t off = static_cast<std::size_t>(node->surface - bytes.c_str());
        if (off > bytes.size() || off + node->length > bytes.size())
            continue;
        Token t;
        t.begin = cpAt[off];
        t.end = cpAt[off + node->length];
        if (t.begin >= t.end)
            continue;
        t.surface = text.substr(t.begin, t.end - t.begin);
        t.spaceBefore = node->rlength > node->length;
        t.f = splitFeatures(node->feature);
        tokens.push_back(std::move(t));
    }
    return true;
}

// The pronunciation MeCab gives a single character, or empty.
std::u32string Parser::characterReading(char32_t c, std::u32string &spelled)
{
    const std::u32string one(1, c);
    std::vector<Token> tokens;
    if (!parse(utf8::encode(one), one, tokens) || tokens.size() != 1 || !tokens[0].known())
        return {};
    const std::u32string pron = utf8::decode(tokens[0].f[8]);
    if (!allKatakana(pron))
        return {};
    spelled = spelledReading(utf8::decode(tokens[0].f[7]), pron);
    return pron;
}

void Parser::emitUnknown(const Token &t, bool joins, const std::vector<std::size_t> &at)
{
    std::u32string engine, reading;
    std::vector<std::size_t> origins;
    std::u32string previousPron, previousSpelled;
    for (std::size_t k = 0; k < t.surface.size(); ++k) {
        const char32_t c = t.surface[k];
        const std::size_t from = at[t.begin + k];
        if (isKana(c) || c == U'ー') {
            engine.push_back(toKatakana(c));
            origins.push_back(from);
            reading.push_back(c);
            previousPron.clear();
            continue;
        }
        if (!isKanji(c))
            continue;  // another script: nothing the Japanese voice could say
        std::u32string spelled;
        std::u32string pron = c == U'々' ? previousPron : characterReading(c, spelled);
        if (c == U'々')
            spelled = previousSpelled;
        if (pron.empty())
            continue;
        engine += pronounced(pron);
        origins.insert(origins.end(), pron.size(), from);
        reading += hiragana(pronounced(spelled));
        previousPron = pron;
        previousSpelled = spelled;
    }
    m_out.kana(std::move(engine), std::move(origins), std::move(reading), joins);
}

void Parser::emitToken(const Token &t, const Token *prev, const std::vector<std::size_t> &at)
{
    const bool joins = joinsPrevious(t, prev);
    if (!t.f.empty() && t.pos() == "記号" && !allKana(t.surface))
        return;  // symbols are not read aloud
    if (!t.known()) {
        emitUnknown(t, joins, at);
        return;
    }
    const std::u32string yomi = utf8::decode(t.f[7]);
    const std::u32string pron = pronounced(utf8::decode(t.f[8]));
    if (!std::all_of(pron.begin(), pron.end(), [](char32_t c) { return isKatakana(c); })) {
        emitUnknown(t, joins, at);
        return;
    }
    std::u32string reading = allKatakana(t.surface) ? pron : hiragana(pronounced(spelledReading(yomi, pron)));

    // Each kana to the character it was written with where that is plain:
    // kana written as kana (okurigana, particles), the rest to the first
    // character of the word.
    std::vector<std::size_t> origins(pron.size(), at[t.begin]);
    const std::u32string surfaceKana = katakana(t.surface);
    if (surfaceKana.size() == pron.size() && allKana(t.surface)) {
        for (std::size_t k = 0; k < pron.size(); ++k)
            origins[k] = at[t.begin + k];
    } else if (yomi.size() == pron.size()) {
        std::size_t k = 0;
        while (k < surfaceKana.size() && k < yomi.size() && isKana(t.surface[k]) && surfaceKana[k] == yomi[k]) {
            origins[k] = at[t.begin + k];
            ++k;
        }
        std::size_t tail = 0;
        while (tail < surfaceKana.size() - k && tail < yomi.size() - k &&
               isKana(t.surface[t.surface.size() - 1 - tail]) &&
               surfaceKana[surfaceKana.size() - 1 - tail] == yomi[yomi.size() - 1 - tail]) {
            origins[pron.size() - 1 - tail] = at[t.begin + t.surface.size() - 1 - tail];
            ++tail;
        }
        const std::size_t firstKanji = t.begin + k;
        for (std::size_t m = k; m + tail < pron.size(); ++m)
            origins[m] = at[std::min(firstKanji, t.end - 1)];
    }
    m_out.kana(pron, std::move(origins), std::move(reading), joins);
}

// A number in kanji: 三百, 二千二十六, 二〇二六, read as one number with
// the counter after it. False when the tokens at k are no number after all;
// `last` is the last token used.
bool Parser::emitKanjiNumber(const Sentence &s, const std::vector<Token> &tokens, std::size_t k,
                             const Token *prev, std::size_t &last)
{
    auto isNumeral = [&](const Token &t) {
        return !t.f.empty() && (t.pos1() == "数" || t.surface == U"〇") &&
               std::all_of(t.surface.begin(), t.surface.end(), isKanjiNumeral);
    };
    const Token &t = tokens[k];
    if (!isNumeral(t))
        return false;
    last = k;
    std::u32string digits = t.surface;
    while (last + 1 < tokens.size() && !tokens[last + 1].spaceBefore && isNumeral(tokens[last + 1]))
        digits += tokens[++last].surface;
    const bool joins = prev && joinsPrevious(t, prev);
    const std::size_t from = s.at[t.begin];

    if (digits.find_first_not_of(U'〇') == std::u32string::npos) {
        // 〇〇さん: a placeholder, said まる.
        std::u32string maru;
        for (std::size_t m = 0; m < digits.size(); ++m)
            maru += U"マル";
        m_out.kana(maru, from, hiragana(maru), joins);
        return true;
    }
    const std::string value = kanjiNumber(digits);
    if (value.empty() || value.size() > 20)
        return false;
    const Number number = makeNumber(value, {});
    const std::size_t numberEnd = tokens[last].end;
    for (const Counter &c : counters()) {
        if (std::u32string_view(s.text).substr(numberEnd, c.written.size()) != c.written ||
            !counterApplies(c, number) || last + 1 >= tokens.size() || tokens[last + 1].spaceBefore)
            continue;
        // The counter must be whole words of MeCab's cut.
        std::size_t endTok = last + 1;
        while (endTok < tokens.size() && tokens[endTok].end < numberEnd + c.written.size())
            ++endTok;
        if (endTok >= tokens.size() || tokens[endTok].end != numberEnd + c.written.size())
            continue;
        const Counted counted = count(number, c, afterMonth(s.text, t.begin));
        std::vector<std::size_t> origins(counted.number.size(), from);
        origins.insert(origins.end(), counted.counter.size(), s.at[numberEnd]);
        m_out.kana(counted.number + counted.counter, std::move(origins),
                   hiragana(counted.number) + (counted.loanword ? counted.counter : hiragana(counted.counter)),
                   joins);
        last = endTok;
        return true;
    }
    if (last + 1 < tokens.size() && isCounterToken(tokens[last + 1])) {
        emitCounted(number, {}, from, tokens[last + 1], s.at, joins);
        ++last;
        return true;
    }
    const std::u32string kana = joined(number.elements);
    m_out.kana(kana, from, hiragana(kana), joins);
    return true;
}

bool Parser::isCounterToken(const Token &t)
{
    return !t.spaceBefore && t.known() && t.f.size() > 2 && t.pos1() == "接尾" && t.f[2] == "助数詞" &&
           allKatakana(pronounced(utf8::decode(t.f[8])));
}

void Parser::emitCounted(Number number, const std::u32string &prefix, std::size_t from, const Token &counter,
                         const std::vector<std::size_t> &at, bool joins)
{
    std::u32string pron = pronounced(utf8::decode(counter.f[8]));
    std::u32string spelled = pronounced(spelledReading(utf8::decode(counter.f[7]), pron));
    genericCounter(number, pron, spelled);
    const std::u32string head = prefix + joined(number.elements);
    std::vector<std::size_t> origins(head.size(), from);
    origins.insert(origins.end(), pron.size(), at[counter.begin]);
    m_out.kana(head + pron, std::move(origins),
               hiragana(head) + (allKatakana(counter.surface) ? pron : hiragana(spelled)), joins);
}

void Parser::sentence(const Sentence &s)
{
    std::vector<Token> tokens;
    const bool parsed = parse(utf8::encode(s.text), s.text, tokens, &s.span);
    // MeCab keeps every placeholder a word of its own; should it not, or
    // not parse at all, the text between them is read character by character.
    const bool placeholdersKept = parsed && std::all_of(tokens.begin(), tokens.end(), [&](const Token &t) {
        for (std::size_t k = t.begin; k < t.end; ++k)
            if (s.span[k] >= 0 && t.end - t.begin != 1)
                return false;
        return true;
    });
    if (!placeholdersKept) {
        tokens.clear();
        for (std::size_t k = 0; k < s.text.size();) {
            Token t;
            t.begin = k;
            if (s.span[k] >= 0) {
                ++k;
            } else {
                while (k < s.text.size() && s.span[k] < 0)
                    ++k;
            }
            t.end = k;
            t.surface = s.text.substr(t.begin, t.end - t.begin);
            tokens.push_back(std::move(t));
        }
    }

    const Token *prev = nullptr;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const Token &t = tokens[k];
        if (t.spaceBefore) {
            m_out.wordBreak();
            prev = nullptr;
        }
        if (t.end - t.begin == 1 && s.span[t.begin] >= 0) {
            // A number is a phrase of its own unless a prefix (第) leads it,
            // and the noun after it starts the next one.
            const Span &span = s.spans[static_cast<std::size_t>(s.span[t.begin])];
            const bool joins = prev && prev->pos() == "接頭詞";
            prev = nullptr;
            if (span.bare && k + 1 < tokens.size() && isCounterToken(tokens[k + 1])) {
                emitCounted(span.bare->number, span.bare->prefix, s.at[t.begin], tokens[k + 1], s.at, joins);
                ++k;
                continue;
            }
            m_out.add(span.items, joins);
            continue;
        }
        std::size_t last = k;
        if (emitKanjiNumber(s, tokens, k, prev, last)) {
            prev = &tokens[last];
            k = last;
            continue;
        }
        emitToken(t, prev, s.at);
        prev = &t;
    }
}

}  // namespace tavrel::reading::japanese_detail
