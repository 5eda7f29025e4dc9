// How right the service reads Mandarin. Every sentence of the references
// written by hand (sentence, toned pinyin) is read by the reading front end
// and, in the same run, by espeak-ng's own cmn-latn-pinyin voice from the
// Hanzi; each reading is aligned with the reference syllable by syllable.
//
// Three references: the developers' classic one (polyphone sentences, tuned
// against for a long time), and realistic scripts in six kinds (short-video
// narration, e-commerce ads, novels, news, spoken dialogue, tutorials) split
// into a tuning half and a held-out half. The held-out half is scored but its
// sentences are never listed: it only measures what a new sentence will get.
//
//   bench_reading [--data DIR] [--reference FILE]... [--errors-only] [--limit N]
//                 [--espeak-errors] [--hypothesis FILE]
//
// --reference replaces the three with the files given (sentence<TAB>reading
// or kind<TAB>sentence<TAB>reading). --errors-only lists the differing
// sentences of the classic reference and the tuning half and nothing else
// (no espeak, no table): the quick loop while fixing the front end.
// --espeak-errors lists espeak's differing sentences as well. --hypothesis
// scores a file of sentence<TAB>reading in place of the front end (each
// reference itself must score 100 %).
#include "BenchCommon.h"
#include "FrontEnd.h"
#include "Utf8.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using bench::Clock;
using bench::seconds;

namespace {

// ---------------------------------------------------------------- text

std::u32string decodeUtf8(const std::string &s) { return tavrel::reading::utf8::decode(s); }

std::string encodeUtf8(char32_t c) { return tavrel::reading::utf8::encode(c); }

// Marks that separate syllables in a reading and are never read themselves.
bool isSeparator(char32_t c)
{
    if (c <= U' ' || c == 0x7F)
        return true;
    if (c < 0x80)
        return !std::isalnum(static_cast<int>(c));
    return (c >= 0x2000 && c <= 0x206F)     // general punctuation
           || (c >= 0x3000 && c <= 0x303F && (c < 0x3005 || c > 0x3007))  // CJK punctuation, not 〇 々
           || (c >= 0xFE30 && c <= 0xFE4F)  // CJK compatibility forms
           || (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
           (c >= 0xFF5B && c <= 0xFF65);    // full-width punctuation
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---------------------------------------------------------------- readings

// One syllable of a reading, or one Latin word. espeak's trace sometimes fits
// several syllables that sound alike; any of them counts.
struct Syllable {
    std::vector<std::string> bases;  // pinyin without tone, or the word in lower case
    int tone = 0;                    // 1-5; 0 for a word or an unknown tone
    std::string shown;
};

Syllable word(const std::string &w) { return {{lower(w)}, 0, w}; }

// A reading as the front end writes it: toned syllables ("jin1", erhua
// "dianr3") and Latin words, separated by blanks or punctuation. Syllables
// written together ("jin1tian1") are split; what is left of a piece, an
// unread character or digit string included, is one word.
std::vector<Syllable> parseReading(const std::string &reading)
{
    std::vector<Syllable> out;
    const std::u32string text = decodeUtf8(reading);
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        std::string piece;
        for (std::size_t k = i; k < end; ++k)
            piece += encodeUtf8(text[k]);
        i = end;

        std::size_t at = 0;
        while (at < piece.size()) {
            std::size_t letters = at;
            while (letters < piece.size() && piece[letters] >= 'a' && piece[letters] <= 'z')
                ++letters;
            const bool toned = letters > at && letters < piece.size() && piece[letters] >= '1' &&
                               piece[letters] <= '5' &&
                               (letters + 1 == piece.size() || std::isalpha(static_cast<unsigned char>(piece[letters + 1])));
            if (!toned)
                break;
            out.push_back({{piece.substr(at, letters - at)}, piece[letters] - '0', piece.substr(at, letters + 1 - at)});
            at = letters + 1;
        }
        if (at < piece.size())
            out.push_back(word(piece.substr(at)));
    }
    return out;
}

bool sameBase(const Syllable &ref, const Syllable &hyp)
{
    return std::find(hyp.bases.begin(), hyp.bases.end(), ref.bases.front()) != hyp.bases.end();
}

// The reference writes third tones as written; a third tone said as a second
// before another third (ni3 hao3 → ni2 hao3) is right either way round.
bool sameTone(const Syllable &ref, const Syllable *next, const Syllable &hyp)
{
    if (!sameBase(ref, hyp))
        return false;
    if (ref.tone == hyp.tone)
        return true;
    const bool pair = (ref.tone == 3 && hyp.tone == 2) || (ref.tone == 2 && hyp.tone == 3);
    return pair && next && next->tone == 3;
}

// Edit-distance alignment; errors = substitutions + deletions + insertions.
struct Alignment {
    int errors = 0;
    std::vector<bool> refWrong, hypWrong;
};

Alignment align(const std::vector<Syllable> &ref, const std::vector<Syllable> &hyp, bool tones)
{
    const std::size_t n = ref.size(), m = hyp.size();
    auto same = [&](std::size_t i, std::size_t j) {
        return tones ? sameTone(ref[i], i + 1 < n ? &ref[i + 1] : nullptr, hyp[j]) : sameBase(ref[i], hyp[j]);
    };
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = 0; i <= n; ++i)
        d[i][0] = static_cast<int>(i);
    for (std::size_t j = 0; j <= m; ++j)
        d[0][j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= n; ++i)
        for (std::size_t j = 1; j <= m; ++j)
            d[i][j] = std::min({d[i - 1][j - 1] + (same(i - 1, j - 1) ? 0 : 1), d[i - 1][j] + 1, d[i][j - 1] + 1});

    Alignment a;
    a.errors = d[n][m];
    a.refWrong.assign(n, false);
    a.hypWrong.assign(m, false);
    std::size_t i = n, j = m;
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && d[i][j] == d[i - 1][j - 1] + (same(i - 1, j - 1) ? 0 : 1)) {
            const bool wrong = !same(i - 1, j - 1);
            a.refWrong[i - 1] = wrong;
            a.hypWrong[j - 1] = wrong;
            --i;
            --j;
        } else if (i > 0 && d[i][j] == d[i - 1][j] + 1) {
            a.refWrong[--i] = true;
        } else {
            a.hypWrong[--j] = true;
        }
    }
    return a;
}

struct Tally {
    long syllables = 0, baseErrors = 0, toneErrors = 0;
    long sentences = 0, sentencesWrong = 0;  // wrong: at least one syllable read otherwise

    void add(const std::vector<Syllable> &ref, const std::vector<Syllable> &hyp)
    {
        syllables += static_cast<long>(ref.size());
        const int base = align(ref, hyp, false).errors;
        baseErrors += base;
        toneErrors += align(ref, hyp, true).errors;
        ++sentences;
        sentencesWrong += base > 0 ? 1 : 0;
    }
    double wrongShare() const { return sentences > 0 ? 100.0 * double(sentencesWrong) / double(sentences) : 0.0; }
    static double accuracy(long errors, long of)
    {
        return of > 0 ? 100.0 * std::max(0.0, 1.0 - double(errors) / double(of)) : 0.0;
    }
    double base() const { return accuracy(baseErrors, syllables); }
    double tone() const { return accuracy(toneErrors, syllables); }
};

// ---------------------------------------------------------------- reference

struct Sentence {
    std::string kind;  // empty in the classic reference
    std::string text;
    std::vector<Syllable> reference;
    bool digits = false;
};

std::vector<Sentence> loadReference(const fs::path &file, std::string &error)
{
    std::ifstream in(file);
    if (!in) {
        error = "cannot read " + file.string();
        return {};
    }
    std::vector<Sentence> out;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos)
                break;
            from = tab + 1;
        }
        if (fields.size() < 2 || fields.size() > 3) {
            error = file.string() + ":" + std::to_string(number) + ": not [kind<TAB>]sentence<TAB>reading";
            return {};
        }
        Sentence s;
        if (fields.size() == 3)
            s.kind = fields[0];
        s.text = fields[fields.size() - 2];
        s.reference = parseReading(fields.back());
        s.digits = std::any_of(s.text.begin(), s.text.end(), [](char c) { return c >= '0' && c <= '9'; });
        out.push_back(std::move(s));
    }
    if (out.empty())
        error = file.string() + " holds no sentences";
    return out;
}

// ---------------------------------------------------------------- espeak

// Every syllable of Standard Mandarin, ü written v.
const char *const kSyllables =
    "a ai an ang ao ba bai ban bang bao bei ben beng bi bian biao bie bin bing bo bu ca cai can cang cao ce cen "
    "ceng cha chai chan chang chao che chen cheng chi chong chou chu chua chuai chuan chuang chui chun chuo ci cong "
    "cou cu cuan cui cun cuo da dai dan dang dao de dei den deng di dia dian diao die ding diu dong dou du duan dui "
    "dun duo e ei en eng er fa fan fang fei fen feng fo fou fu ga gai gan gang gao ge gei gen geng gong gou gu gua "
    "guai guan guang gui gun guo ha hai han hang hao he hei hen heng hong hou hu hua huai huan huang hui hun huo ji "
    "jia jian jiang jiao jie jin jing jiong jiu ju juan jue jun ka kai kan kang kao ke kei ken keng kong kou ku kua "
    "kuai kuan kuang kui kun kuo la lai lan lang lao le lei leng li lia lian liang liao lie lin ling liu lo long lou "
    "lu luan lun luo lv lve ma mai man mang mao me mei men meng mi mian miao mie min ming miu mo mou mu na nai nan "
    "nang nao ne nei nen neng ni nian niang niao nie nin ning niu nong nou nu nuan nun nuo nv nve o ou pa pai pan "
    "pang pao pei pen peng pi pian piao pie pin ping po pou pu qi qia qian qiang qiao qie qin qing qiong qiu qu "
    "quan que qun ran rang rao re ren reng ri rong rou ru rua ruan rui run ruo sa sai san sang sao se sen seng sha "
    "shai shan shang shao she shei shen sheng shi shou shu shua shuai shuan shuang shui shun shuo si song sou su "
    "suan sui sun suo ta tai tan tang tao te teng ti tian tiao tie ting tong tou tu tuan tui tun tuo wa wai wan "
    "wang wei wen weng wo wu xi xia xian xiang xiao xie xin xing xiong xiu xu xuan xue xun ya yan yang yao ye yi yin "
    "ying yo yong you yu yuan yue yun za zai zan zang zao ze zei zen zeng zha zhai zhan zhang zhao zhe zhei zhen "
    "zheng zhi zhong zhou zhu zhua zhuai zhuan zhuang zhui zhun zhuo zi zong zou zu zuan zui zun zuo";

std::vector<std::string> syllableInventory()
{
    std::vector<std::string> out;
    std::string cur;
    for (const char *p = kSyllables;; ++p) {
        if (*p == ' ' || *p == '\0') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
            if (*p == '\0')
                break;
        } else {
            cur += *p;
        }
    }
    return out;
}

int discardAudio(short *, int, espeak_EVENT *) { return 0; }

// espeak-ng's own reading of the Hanzi, in syllables. Its trace of a
// sentence is mapped back through a table built in the same run: every
// syllable × tone spoken by the same voice, and the tone contours it uses
// next to other tones.
class EspeakReading {
public:
    bool open(std::string &error)
    {
        if (espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0) <= 0) {
            error = "espeak-ng could not be initialised";
            return false;
        }
        espeak_SetSynthCallback(discardAudio);
        if (espeak_SetVoiceByName("cmn-latn-pinyin") != EE_OK) {
            error = "espeak-ng has no cmn-latn-pinyin voice";
            return false;
        }
        for (const std::string &base : syllableInventory()) {
            for (int tone = 1; tone <= 5; ++tone) {
                const std::vector<Piece> pieces = split(clean(spoken(base + char('0' + tone))));
                if (pieces.size() != 1 || pieces[0].digits.size() != 1) {
                    ++m_untraceable;
                    continue;
                }
                const Piece &p = pieces[0];
                std::vector<std::string> &bases = m_skeletons[p.segments[0] + '#' + p.segments[1]];
                if (std::find(bases.begin(), bases.end(), base) == bases.end())
                    bases.push_back(base);
                m_contours.emplace(p.digits[0], tone);  // the citation contour wins
            }
        }
        // The contours of a tone next to each other tone, as the voice says
        // them in running speech (a neutral tone's pitch follows the one
        // before it, a third tone shortens).
        for (int a = 1; a <= 5; ++a)
            for (int b = 1; b <= 5; ++b) {
                const std::string said = clean(spoken("ma" + std::to_string(a) + " ma" + std::to_string(b)));
                std::vector<std::string> runs;
                for (const Piece &p : split(said))
                    runs.insert(runs.end(), p.digits.begin(), p.digits.end());
                if (runs.size() == 2) {
                    m_contours.emplace(runs[0], a);
                    m_contours.emplace(runs[1], b);
                }
            }
        for (char c = 'A'; c <= 'Z'; ++c)
            m_letters[c] = squeeze(clean(spoken(std::string(1, c))));
        return !m_skeletons.empty();
    }

    std::size_t syllables() const
    {
        std::set<std::string> all;
        for (const auto &[skeleton, bases] : m_skeletons)
            all.insert(bases.begin(), bases.end());
        return all.size();
    }
    std::size_t sharedSkeletons() const
    {
        return static_cast<std::size_t>(std::count_if(m_skeletons.begin(), m_skeletons.end(),
                                                      [](const auto &e) { return e.second.size() > 1; }));
    }
    int untraceable() const { return m_untraceable; }

    // The sentence in Latin words and the rest; a Latin word counts as read
    // as written when espeak switches to English for it or spells it out
    // letter by letter, otherwise its trace is read back as syllables.
    std::vector<Syllable> read(const std::string &sentence) const
    {
        std::vector<Syllable> out;
        std::size_t i = 0;
        while (i < sentence.size()) {
            const bool latin = std::isalpha(static_cast<unsigned char>(sentence[i])) != 0;
            std::size_t end = i;
            while (end < sentence.size() &&
                   (std::isalpha(static_cast<unsigned char>(sentence[end])) != 0) == latin)
                ++end;
            const std::string run = sentence.substr(i, end - i);
            i = end;
            const std::string said = clean(spoken(run));
            if (latin && (said.find("(en)") != std::string::npos || squeeze(said) == spelled(run))) {
                out.push_back(word(run));
                continue;
            }
            const std::vector<Syllable> syllables = back(said);
            out.insert(out.end(), syllables.begin(), syllables.end());
        }
        return out;
    }

    // Its text-to-phoneme step alone, for the cost comparison.
    std::string translate(const std::string &text) const
    {
        std::string out;
        const void *p = text.c_str();
        while (p) {
            const char *ph = espeak_TextToPhonemes(&p, espeakCHARS_UTF8, 0);
            if (ph) {
                out += ph;
                out += ' ';
            }
        }
        return out;
    }

private:
    struct Piece {
        std::vector<std::string> segments;  // digits.size() + 1 stretches of phonemes around the contours
        std::vector<std::string> digits;    // one tone contour per syllable
    };

    // What the voice says, as its phoneme trace: the same as
    // "espeak-ng -q -x", tone changes between words included.
    std::string spoken(const std::string &text) const
    {
        char *buffer = nullptr;
        std::size_t size = 0;
        std::FILE *trace = open_memstream(&buffer, &size);
        if (!trace)
            return {};
        espeak_SetPhonemeTrace(espeakPHONEMES_SHOW, trace);
        espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
        espeak_SetPhonemeTrace(0, nullptr);
        std::fclose(trace);
        std::string said(buffer ? buffer : "", size);
        std::free(buffer);
        return said;
    }

    // Stress marks say nothing about the syllable; pauses and word ends
    // ("_|", "_!_") become blanks; an English stretch "(en)…(cmn)" is kept
    // as one mark that no syllable matches.
    static std::string clean(const std::string &trace)
    {
        std::string out;
        for (std::size_t i = 0; i < trace.size(); ++i) {
            const char c = trace[i];
            if (trace.compare(i, 4, "(en)") == 0) {
                const std::size_t back = trace.find("(cmn)", i);
                out += " (en) ";
                if (back == std::string::npos)
                    break;
                i = back + 4;
                continue;
            }
            if (c == '\'' || c == ',')
                continue;
            if (c == '_') {
                out += ' ';
                while (i + 1 < trace.size() && std::strchr("|!:;?._", trace[i + 1]))
                    ++i;
                continue;
            }
            out += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
        }
        return out;
    }

    static std::string squeeze(const std::string &s)
    {
        std::string out;
        for (char c : s)
            if (c != ' ')
                out += c;
        return out;
    }

    std::string spelled(const std::string &run) const
    {
        std::string out;
        for (char c : run) {
            const auto it = m_letters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
            if (it == m_letters.end())
                return {};
            out += it->second;
        }
        return out;
    }

    static std::vector<Piece> split(const std::string &cleaned)
    {
        std::vector<Piece> out;
        std::size_t i = 0;
        while (i < cleaned.size()) {
            if (cleaned[i] == ' ') {
                ++i;
                continue;
            }
            const std::size_t end = std::min(cleaned.find(' ', i), cleaned.size());
            Piece p;
            p.segments.emplace_back();
            for (std::size_t k = i; k < end; ++k) {
                if (std::isdigit(static_cast<unsigned char>(cleaned[k]))) {
                    if (k == i || !std::isdigit(static_cast<unsigned char>(cleaned[k - 1]))) {
                        p.digits.emplace_back();
                        p.segments.emplace_back();
                    }
                    p.digits.back() += cleaned[k];
                } else {
                    p.segments.back() += cleaned[k];
                }
            }
            out.push_back(std::move(p));
            i = end;
        }
        return out;
    }

    int toneOf(const std::string &contour) const
    {
        const auto it = m_contours.find(contour);
        return it == m_contours.end() ? 0 : it->second;
    }

    // A piece with k contours is k syllables; the stretch between two
    // contours is the coda of one and the onset of the next, cut where both
    // halves are syllables of the table (fewest unknown syllables).
    std::vector<Syllable> syllablesOf(const Piece &p) const
    {
        const std::size_t k = p.digits.size();
        std::vector<Syllable> out;
        if (k == 0) {
            out.push_back({{"?"}, 0, p.segments[0]});
            return out;
        }
        // cut[i]: where segment i (between contour i-1 and i) is cut; the
        // first segment is all onset, the last all coda.
        const int inf = std::numeric_limits<int>::max() / 2;
        std::vector<std::vector<int>> cost(k + 1), from(k + 1);
        for (std::size_t i = 0; i <= k; ++i) {
            cost[i].assign(p.segments[i].size() + 1, inf);
            from[i].assign(p.segments[i].size() + 1, 0);
        }
        cost[0][0] = 0;  // nothing of the first segment belongs to a syllable before it
        auto cuts = [&](std::size_t seg) {
            std::vector<std::size_t> c;
            if (seg == 0)
                c.push_back(0);
            else if (seg == k)
                c.push_back(p.segments[seg].size());
            else
                for (std::size_t x = 0; x <= p.segments[seg].size(); ++x)
                    c.push_back(x);
            return c;
        };
        for (std::size_t i = 1; i <= k; ++i)
            for (std::size_t before : cuts(i - 1)) {
                if (cost[i - 1][before] >= inf)
                    continue;
                const std::string onset = p.segments[i - 1].substr(before);
                for (std::size_t after : cuts(i)) {
                    const std::string coda = p.segments[i].substr(0, after);
                    const int c = cost[i - 1][before] + (m_skeletons.count(onset + '#' + coda) ? 0 : 1);
                    if (c < cost[i][after]) {
                        cost[i][after] = c;
                        from[i][after] = static_cast<int>(before);
                    }
                }
            }
        std::vector<std::size_t> cut(k + 1, 0);
        cut[k] = p.segments[k].size();
        for (std::size_t i = k; i >= 1; --i)
            cut[i - 1] = static_cast<std::size_t>(from[i][cut[i]]);
        for (std::size_t i = 1; i <= k; ++i) {
            const std::string onset = p.segments[i - 1].substr(cut[i - 1]);
            const std::string coda = p.segments[i].substr(0, cut[i]);
            const auto it = m_skeletons.find(onset + '#' + coda);
            Syllable s;
            s.bases = it != m_skeletons.end() ? it->second : std::vector<std::string>{"?"};
            s.tone = toneOf(p.digits[i - 1]);
            s.shown = s.bases.front();
            for (std::size_t b = 1; b < s.bases.size(); ++b)
                s.shown += "/" + s.bases[b];
            s.shown += s.tone ? std::to_string(s.tone) : "?";
            out.push_back(std::move(s));
        }
        return out;
    }

    std::vector<Syllable> back(const std::string &cleaned) const
    {
        std::vector<Syllable> out;
        for (const Piece &p : split(cleaned)) {
            if (p.segments.size() == 1 && p.segments[0] == "(en)") {
                out.push_back({{"(en)"}, 0, "(en)"});
                continue;
            }
            const std::vector<Syllable> s = syllablesOf(p);
            out.insert(out.end(), s.begin(), s.end());
        }
        return out;
    }

    std::map<std::string, std::vector<std::string>> m_skeletons;  // "onset#coda" → pinyin bases
    std::map<std::string, int> m_contours;                        // "55" → 1, "214" → 3, …
    std::map<char, std::string> m_letters;                        // each letter as the voice spells it
    int m_untraceable = 0;
};

// ---------------------------------------------------------------- output

std::string marked(const std::vector<Syllable> &syllables, const std::vector<bool> &wrong)
{
    std::string out;
    for (std::size_t i = 0; i < syllables.size(); ++i) {
        if (!out.empty())
            out += ' ';
        out += wrong[i] ? "[" + syllables[i].shown + "]" : syllables[i].shown;
    }
    return out.empty() ? "(nothing)" : out;
}

// One reference file and what it must reach. The held-out half's sentences
// are never listed, so that nobody tunes against it.
struct ReferenceSet {
    std::string name;
    fs::path file;
    bool heldOut = false;
    double baseTarget = 99.0, toneTarget = 97.0;  // <= 0: information only
    std::vector<Sentence> sentences;
    std::vector<std::vector<Syllable>> ours, theirs;
};

struct Options {
    fs::path dataDir = BENCH_READING_DATA_DIR;
    std::vector<fs::path> references;  // empty: the three of the repository
    fs::path hypothesis;               // empty: the front end
    bool errorsOnly = false;
    bool espeakErrors = false;
    long limit = -1;  // < 0: every differing sentence
};

bool parseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--data" && hasValue) {
            o.dataDir = argv[++i];
        } else if (a == "--reference" && hasValue) {
            o.references.push_back(argv[++i]);
        } else if (a == "--hypothesis" && hasValue) {
            o.hypothesis = argv[++i];
        } else if (a == "--espeak-errors") {
            o.espeakErrors = true;
        } else if (a == "--errors-only") {
            o.errorsOnly = true;
        } else if (a == "--limit" && hasValue) {
            char *end = nullptr;
            o.limit = std::strtol(argv[++i], &end, 10);
            if (!end || *end || o.limit < 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

std::vector<ReferenceSet> referenceSets(const Options &opt)
{
    std::vector<ReferenceSet> sets;
    if (!opt.references.empty()) {
        for (const fs::path &f : opt.references)
            sets.push_back({f.filename().string(), f, false, 99.0, 97.0, {}, {}, {}});
        return sets;
    }
    const fs::path dir = BENCH_READING_REFERENCE_DIR;
    // The classic reference must not fall below what it scored when the
    // realistic one was written.
    sets.push_back({"classic", dir / "mandarin_reference.tsv", false, 99.67, 99.23, {}, {}, {}});
    sets.push_back({"realistic, tuning half", dir / "realistic_tuning.tsv", false, 0, 0, {}, {}, {}});
    sets.push_back({"realistic, held-out half", dir / "realistic_heldout.tsv", true, 99.7, 99.3, {}, {}, {}});
    return sets;
}

// A reading for each sentence from a file of sentence<TAB>reading; a
// sentence the file does not hold is read as nothing.
bool loadHypothesis(const fs::path &file, const std::vector<Sentence> &sentences,
                    std::vector<std::vector<Syllable>> &readings, std::string &error)
{
    std::ifstream in(file);
    if (!in) {
        error = "cannot read " + file.string();
        return false;
    }
    std::map<std::string, std::string> byText;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos)
            byText[line.substr(0, tab)] = line.substr(tab + 1);
    }
    readings.assign(sentences.size(), {});
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const auto it = byText.find(sentences[i].text);
        if (it != byText.end())
            readings[i] = parseReading(it->second);
    }
    return true;
}

// Prints every sentence read otherwise than the reference, the wrong
// syllables in brackets; returns how many there are.
std::size_t listDifferences(const std::string &who, const ReferenceSet &set,
                            const std::vector<std::vector<Syllable>> &readings, long limit)
{
    const std::vector<Sentence> &sentences = set.sentences;
    std::vector<std::size_t> differing;
    for (std::size_t i = 0; i < sentences.size(); ++i)
        if (align(sentences[i].reference, readings[i], true).errors > 0)
            differing.push_back(i);
    std::printf("\n%s: sentences %s reads otherwise: %zu of %zu\n", set.name.c_str(), who.c_str(), differing.size(),
                sentences.size());
    if (set.heldOut) {
        std::printf("  (held out: not listed)\n");
        return differing.size();
    }
    long shown = 0;
    for (std::size_t i : differing) {
        if (limit >= 0 && shown >= limit) {
            std::printf("  ... %ld more (--limit)\n", static_cast<long>(differing.size()) - shown);
            break;
        }
        ++shown;
        const Alignment a = align(sentences[i].reference, readings[i], true);
        std::printf("  %s%s%s%s\n    expected: %s\n    read:     %s\n", sentences[i].kind.empty() ? "" : "[",
                    sentences[i].kind.c_str(), sentences[i].kind.empty() ? "" : "] ", sentences[i].text.c_str(),
                    marked(sentences[i].reference, a.refWrong).c_str(), marked(readings[i], a.hypWrong).c_str());
    }
    return differing.size();
}

// A long text drawn from jieba's word list: words picked by their frequency
// (a fixed sequence), eight to a sentence. What share of its syllables a
// word of the word list decides, rather than a character's own reading or a
// rule, tells how far the word data reaches.
std::vector<std::u32string> drawnText(const fs::path &jieba, int sentences)
{
    std::ifstream in(jieba);
    std::vector<std::u32string> words;
    std::vector<double> cumulative;
    double total = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string w;
        double f = 0;
        if (!(fields >> w >> f) || f <= 0)
            continue;
        words.push_back(decodeUtf8(w));
        total += f;
        cumulative.push_back(total);
    }
    std::vector<std::u32string> out;
    if (words.empty())
        return out;
    std::uint64_t state = 20261211;
    for (int i = 0; i < sentences; ++i) {
        std::u32string sentence;
        for (int k = 0; k < 8; ++k) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const double x = double(state >> 11) / double(1ULL << 53) * total;
            const auto it = std::upper_bound(cumulative.begin(), cumulative.end(), x);
            sentence += words[std::min<std::size_t>(it - cumulative.begin(), words.size() - 1)];
        }
        out.push_back(sentence + U"。");
    }
    return out;
}

struct SourceShare {
    long syllables = 0, word = 0, character = 0, rule = 0;
    void add(const std::string &sources)
    {
        for (char c : sources) {
            if (c != tavrel::reading::kFromWord && c != tavrel::reading::kFromCharacter &&
                c != tavrel::reading::kFromRule)
                continue;
            ++syllables;
            word += c == tavrel::reading::kFromWord;
            character += c == tavrel::reading::kFromCharacter;
            rule += c == tavrel::reading::kFromRule;
        }
    }
    double share(long n) const { return syllables ? 100.0 * double(n) / double(syllables) : 0.0; }
};

std::string percentTarget(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, ">= %.2f", v);
    return buf;
}

// The table of one reference: overall, sentences with digits, each kind.
bool printSet(const ReferenceSet &set)
{
    Tally ours, theirs, oursDigits, theirsDigits;
    std::map<std::string, std::pair<Tally, Tally>> byKind;
    std::vector<std::string> kinds;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < set.sentences.size(); ++i) {
        const Sentence &s = set.sentences[i];
        characters += decodeUtf8(s.text).size();
        ours.add(s.reference, set.ours[i]);
        theirs.add(s.reference, set.theirs[i]);
        if (s.digits) {
            oursDigits.add(s.reference, set.ours[i]);
            theirsDigits.add(s.reference, set.theirs[i]);
        }
        if (!s.kind.empty()) {
            if (!byKind.count(s.kind))
                kinds.push_back(s.kind);
            byKind[s.kind].first.add(s.reference, set.ours[i]);
            byKind[s.kind].second.add(s.reference, set.theirs[i]);
        }
    }
    const long withDigits = std::count_if(set.sentences.begin(), set.sentences.end(),
                                          [](const Sentence &s) { return s.digits; });
    std::printf("\n== %s: %s, %zu sentences (%ld with digits), %ld syllables, %zu characters\n", set.name.c_str(),
                set.file.filename().string().c_str(), set.sentences.size(), withDigits, ours.syllables, characters);
    const bool targeted = set.baseTarget > 0;
    std::vector<bench::Row> rows = {
        {"syllables, no tone (%)", ours.base(), theirs.base(), targeted ? percentTarget(set.baseTarget) : "(info)",
         !targeted || ours.base() >= set.baseTarget},
        {"tones (%)", ours.tone(), theirs.tone(), targeted ? percentTarget(set.toneTarget) : "(info)",
         !targeted || ours.tone() >= set.toneTarget},
        {"sentences with a wrong syllable (%)", ours.wrongShare(), theirs.wrongShare(), "(info)", true},
        {"syllables, sentences with numbers (%)", oursDigits.base(), theirsDigits.base(), "(info)", true},
        {"  tones, sentences with numbers (%)", oursDigits.tone(), theirsDigits.tone(), "(info)", true},
    };
    for (const std::string &k : kinds) {
        const auto &[o, t] = byKind[k];
        rows.push_back({"  " + k + ": syllables (%)", o.base(), t.base(), "(info)", true});
        rows.push_back({"  " + k + ": tones (%)", o.tone(), t.tone(), "(info)", true});
    }
    bench::printTable(rows);
    bool ok = true;
    for (const auto &r : rows)
        ok = ok && r.met;
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    Options opt;
    if (!parseOptions(argc, argv, opt)) {
        std::fprintf(stderr,
                     "usage: %s [--data DIR] [--reference FILE]... [--errors-only] [--limit N] [--espeak-errors] "
                     "[--hypothesis FILE]\n",
                     argv[0]);
        return 2;
    }
    std::string error;
    std::vector<ReferenceSet> sets = referenceSets(opt);
    std::size_t characters = 0;
    for (ReferenceSet &set : sets) {
        set.sentences = loadReference(set.file, error);
        if (set.sentences.empty()) {
            std::fprintf(stderr, "bench_reading: %s\n", error.c_str());
            return 1;
        }
        for (const Sentence &s : set.sentences)
            characters += decodeUtf8(s.text).size();
    }

    // Ours: the load, then every sentence, best of three passes for the cost.
    double loadSeconds = 0, prepareSeconds = 0;
    const bool frontEndRead = opt.hypothesis.empty();
    if (frontEndRead) {
        const Clock::time_point loadStart = Clock::now();
        const tavrel::reading::FrontEnd frontEnd(opt.dataDir);
        loadSeconds = seconds(loadStart, Clock::now());
        if (!frontEnd.hasMandarin()) {
            std::fprintf(stderr, "bench_reading: no Mandarin data in %s: %s\n", opt.dataDir.string().c_str(),
                         frontEnd.loadError().c_str());
            return 1;
        }
        prepareSeconds = std::numeric_limits<double>::max();
        for (int pass = 0; pass < 3; ++pass) {
            const Clock::time_point start = Clock::now();
            for (ReferenceSet &set : sets) {
                if (pass == 0)
                    set.ours.resize(set.sentences.size());
                for (std::size_t i = 0; i < set.sentences.size(); ++i) {
                    const tavrel::reading::Prepared p = frontEnd.prepare(decodeUtf8(set.sentences[i].text), "zh-CN");
                    if (pass == 0)
                        set.ours[i] = parseReading(p.reading);
                }
            }
            prepareSeconds = std::min(prepareSeconds, seconds(start, Clock::now()));
        }
    } else {
        for (ReferenceSet &set : sets)
            if (!loadHypothesis(opt.hypothesis, set.sentences, set.ours, error)) {
                std::fprintf(stderr, "bench_reading: %s\n", error.c_str());
                return 1;
            }
    }
    const std::string oursName = frontEndRead ? "the front end" : "the hypothesis";

    // Where the syllables come from, on the references and on a long text
    // drawn from jieba's word list.
    SourceShare referenceShare, drawnShare;
    std::size_t drawnCharacters = 0;
    if (frontEndRead && !opt.errorsOnly) {
        const tavrel::reading::FrontEnd frontEnd(opt.dataDir);
        for (const ReferenceSet &set : sets)
            for (const Sentence &s : set.sentences)
                referenceShare.add(frontEnd.prepare(decodeUtf8(s.text), "zh-CN").sources);
        for (const std::u32string &s : drawnText(BENCH_READING_JIEBA_DICT, 20000)) {
            drawnCharacters += s.size();
            drawnShare.add(frontEnd.prepare(s, "zh-CN").sources);
        }
    }

    if (opt.errorsOnly) {
        std::size_t differing = 0;
        for (const ReferenceSet &set : sets)
            if (!set.heldOut)
                differing += listDifferences(oursName, set, set.ours, opt.limit);
        return differing == 0 ? 0 : 1;
    }

    // espeak-ng's own reading, and its own text-to-phoneme cost.
    EspeakReading espeak;
    if (!espeak.open(error)) {
        std::fprintf(stderr, "bench_reading: %s\n", error.c_str());
        return 1;
    }
    for (ReferenceSet &set : sets)
        for (const Sentence &s : set.sentences)
            set.theirs.push_back(espeak.read(s.text));
    double translateSeconds = std::numeric_limits<double>::max();
    for (int pass = 0; pass < 3; ++pass) {
        const Clock::time_point start = Clock::now();
        for (const ReferenceSet &set : sets)
            for (const Sentence &s : set.sentences)
                espeak.translate(s.text);
        translateSeconds = std::min(translateSeconds, seconds(start, Clock::now()));
    }

    std::printf("espeak-ng inverse table: %zu syllables traced, %zu sounds shared by several, %d untraceable\n",
                espeak.syllables(), espeak.sharedSkeletons(), espeak.untraceable());
    std::printf("baseline: espeak-ng's own reading of the Hanzi; its cost: espeak_TextToPhonemes on the same text\n");
    bool ok = true;
    for (const ReferenceSet &set : sets)
        ok = printSet(set) && ok;
    if (frontEndRead) {
        std::printf("\n== cost, every reference together\n");
        bench::printTable({
            {"front end load (ms)", loadSeconds * 1000, 0, "(info)", true},
            {"prepare per character (us)", prepareSeconds / double(characters) * 1e6,
             translateSeconds / double(characters) * 1e6, "(info)", true},
        });
        std::printf("\n== where syllables come from (w word, c character, r rule): references; %zu characters "
                    "drawn from jieba's word list\n",
                    drawnCharacters);
        bench::printTable({
            {"references: by a word entry (%)", referenceShare.share(referenceShare.word), 0, "(info)", true},
            {"references: character's own reading (%)", referenceShare.share(referenceShare.character), 0,
             "(info)", true},
            {"references: by a rule (%)", referenceShare.share(referenceShare.rule), 0, "(info)", true},
            {"drawn text: by a word entry (%)", drawnShare.share(drawnShare.word), 0, "(info)", true},
            {"drawn text: character's own reading (%)", drawnShare.share(drawnShare.character), 0, "(info)", true},
            {"drawn text: by a rule (%)", drawnShare.share(drawnShare.rule), 0, "(info)", true},
        });
    }
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    for (const ReferenceSet &set : sets) {
        if (opt.espeakErrors)
            listDifferences("espeak-ng", set, set.theirs, opt.limit);
        listDifferences(oursName, set, set.ours, opt.limit);
    }
    return ok ? 0 : 1;
}
