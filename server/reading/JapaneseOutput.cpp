#include "JapaneseOutput.h"

#include "JapaneseKana.h"
#include "JapaneseNormalizer.h"
#include "Utf8.h"

#include <algorithm>

namespace tavrel::reading::japanese_detail {

namespace {

// espeak-ng's `ja` voice cuts a word after about 200 bytes; phrases are
// split well before that.
constexpr std::size_t kMaxWordKana = 40;

struct RunBuilder {
    std::string language;
    std::u32string text;
    std::vector<std::size_t> at;
};

char32_t asciiMark(char32_t mark)
{
    switch (mark) {
    case U'。': return U'.';
    case U'！': return U'!';
    case U'？': return U'?';
    default: return U',';
    }
}

// Kana as espeak-ng's `ja` voice reads it: katakana and hiragana read alike,
// but small vowels only after the kana they form a sound with, ー only after
// a kana it can lengthen, no iteration marks, no small ヵ ヶ ヮ, no word
// beyond its length limit. Anything else is left out.
void cleanForEngine(RunBuilder &run)
{
    static const std::u32string kSmallVowels = U"ァィゥェォ";
    static const std::u32string kFullVowels = U"アイウエオ";
    // The kana after which each small vowel is read as one sound with it.
    static const std::u32string kSmallAfter[5] = {
        U"カガクグサザタダツナハバパフマヤラワヴ",
        U"イウキギクグシジチヂツテデニヒビピフミリヰヴ",
        U"ウクグスズツヅトドヌフブプムユルヴ",
        U"イウエクグケゲシジセゼチツテデネフヘベペメレヱヴ",
        U"ウオクグコゴソゾツトドノフホボポモヨロヲヴ",
    };
    std::u32string out;
    std::vector<std::size_t> at;
    std::size_t wordLen = 0;

    auto lastKana = [&]() -> char32_t { return !out.empty() && isKatakana(out.back()) ? out.back() : 0; };
    auto push = [&](char32_t k, std::size_t from) {
        const bool continues = kSmallVowels.find(k) != std::u32string::npos || k == U'ャ' || k == U'ュ' ||
                               k == U'ョ' || k == U'ー' || k == U'ン' || k == U'ッ';
        if (wordLen >= kMaxWordKana && (!continues || wordLen >= kMaxWordKana + 8)) {
            out.push_back(U' ');
            at.push_back(from);
            wordLen = 0;
        }
        out.push_back(k);
        at.push_back(from);
        ++wordLen;
    };
    auto pushKana = [&](char32_t k, std::size_t from) {
        const char32_t prev = wordLen ? lastKana() : 0;
        const std::size_t small = kSmallVowels.find(k);
        if (small != std::u32string::npos) {
            if (prev && kSmallAfter[small].find(prev) != std::u32string::npos)
                push(k, from);
            else
                push(kFullVowels[small], from);
            return;
        }
        if (k == U'ャ' || k == U'ュ' || k == U'ョ') {
            push(prev ? k : k + 1, from);  // ャ → ヤ at the start of a word
            return;
        }
        if (k == U'ー') {
            if (!prev || prev == U'ン' || prev == U'ッ' || prev == U'ー')
                return;
            if (prev == U'ア' && wordLen > 1)
                return;  // read as a separate vowel; the length is there already
            const std::size_t s = kSmallVowels.find(prev);
            if (s != std::u32string::npos && out.size() >= 2 && vowelOf(out[out.size() - 2]) == kFullVowels[s])
                return;  // カァ is already long
            push(k, from);
            return;
        }
        push(k, from);
    };

    for (std::size_t i = 0; i < run.text.size(); ++i) {
        const char32_t c = run.text[i];
        const std::size_t from = run.at[i];
        if (c == U' ') {
            if (!out.empty() && out.back() != U' ' && !isPauseMark(out.back())) {
                out.push_back(U' ');
                at.push_back(from);
            }
            wordLen = 0;
            continue;
        }
        if (isPauseMark(c)) {
            while (!out.empty() && out.back() == U' ') {
                out.pop_back();
                at.pop_back();
            }
            if (out.empty() || isPauseMark(out.back()))
                continue;
            out.push_back(c);
            at.push_back(from);
            wordLen = 0;
            continue;
        }
        if (!isKana(c))
            continue;
        const char32_t k = toKatakana(c);
        switch (k) {
        case U'ヽ':
        case U'ヾ': {
            const char32_t prev = wordLen ? lastKana() : 0;
            if (prev && vowelOf(prev))
                pushKana(k == U'ヾ' ? voiced(prev) : prev, from);
            break;
        }
        case U'ヵ':
        case U'ヶ':
            pushKana(U'カ', from);
            break;
        case U'ヮ':
            pushKana(U'ワ', from);
            break;
        case U'ヷ': case U'ヸ': case U'ヹ': case U'ヺ':
            pushKana(U'ヴ', from);
            pushKana(U"ァィェォ"[k - U'ヷ'], from);
            break;
        default:
            pushKana(k, from);
        }
    }
    while (!out.empty() && out.back() == U' ') {
        out.pop_back();
        at.pop_back();
    }
    run.text = std::move(out);
    run.at = std::move(at);
}

}  // namespace

Prepared Output::finish(const MappedText &source) const
{
    std::vector<RunBuilder> runs;
    std::u32string reading;
    std::string sources;  // one letter per code point of `reading`
    bool afterPause = true;
    for (const Item &it : m_items) {
        if (it.kind == Item::Pause) {
            if (runs.empty())
                continue;
            RunBuilder &run = runs.back();
            const char32_t mark = run.language.empty() ? it.engine[0] : asciiMark(it.engine[0]);
            if (!afterPause) {
                run.text.push_back(mark);
                run.at.push_back(it.at[0]);
                reading.push_back(mark);
                sources.push_back(kFromData);
            }
            afterPause = true;
            continue;
        }
        const std::string language = it.kind == Item::Latin ? "en" : "";
        if (runs.empty() || runs.back().language != language) {
            runs.push_back({language, {}, {}});
        } else if (!runs.back().text.empty() && (it.kind == Item::Latin || !it.joins || afterPause)) {
            runs.back().text.push_back(U' ');
            runs.back().at.push_back(it.at[0]);
        }
        RunBuilder &run = runs.back();
        run.text += it.engine;
        run.at.insert(run.at.end(), it.at.begin(), it.at.end());
        reading += it.reading;
        sources.append(it.reading.size(), it.fromUser ? kFromUser : kFromData);
        afterPause = false;
    }

    Prepared p;
    p.reading = utf8::encode(reading);
    p.sources = std::move(sources);
    for (RunBuilder &run : runs) {
        if (run.language.empty())
            cleanForEngine(run);
        const bool hasSound = std::any_of(run.text.begin(), run.text.end(),
                                          [](char32_t c) { return isKana(c) || isLatinLetter(c) || isDigit(c); });
        if (!hasSound)
            continue;
        EngineRun out;
        out.language = run.language;
        out.text = utf8::encode(run.text);
        out.origin.reserve(run.at.size());
        for (std::size_t i : run.at)
            out.origin.push_back(i < source.origin.size() ? source.origin[i] : 0);
        p.runs.push_back(std::move(out));
    }
    return p;
}

}  // namespace tavrel::reading::japanese_detail
