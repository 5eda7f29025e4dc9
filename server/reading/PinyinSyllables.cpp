#include "PinyinSyllables.h"

#include "ServiceContract.h"
#include "Utf8.h"

#include <algorithm>
#include <unordered_set>

namespace tavrel::reading::pinyin {

namespace {

// The syllables a reading may use; the program's reading dialog checks the
// same table.
constexpr const char *kInventory = contract::pinyinSyllables;

const std::vector<std::string> &inventoryList()
{
    static const std::vector<std::string> list = [] {
        std::vector<std::string> out;
        std::string_view all(kInventory);
        std::size_t pos = 0;
        while (pos < all.size()) {
            std::size_t end = all.find(' ', pos);
            if (end == std::string_view::npos)
                end = all.size();
            if (end > pos)
                out.emplace_back(all.substr(pos, end - pos));
            pos = end + 1;
        }
        return out;
    }();
    return list;
}

const std::unordered_set<std::string_view> &inventorySet()
{
    static const std::unordered_set<std::string_view> set(inventoryList().begin(),
                                                          inventoryList().end());
    return set;
}

bool isNasalInterjection(std::string_view base)
{
    return base == "m" || base == "n" || base == "ng";
}

// A toneless syllable, ü as v, with an optional merged erhua r.
bool isBase(std::string_view base)
{
    if (base.empty())
        return false;
    if (inventorySet().count(base))
        return true;
    if (base.size() < 2 || base.back() != 'r')
        return false;
    std::string_view stem = base.substr(0, base.size() - 1);
    return stem != "er" && !isNasalInterjection(stem) && inventorySet().count(stem);
}

// ---- UTF-8 -------------------------------------------------------------




// ---- tone marks --------------------------------------------------------

struct MarkedLetter {
    char32_t cp;
    char base;  // 'v' for ü
    int tone;   // 0: no tone (plain ü)
};

// Precomposed letters, lower and upper case.
constexpr MarkedLetter kMarked[] = {
    {U'ā', 'a', 1}, {U'á', 'a', 2}, {U'ǎ', 'a', 3}, {U'à', 'a', 4},
    {U'Ā', 'a', 1}, {U'Á', 'a', 2}, {U'Ǎ', 'a', 3}, {U'À', 'a', 4},
    {U'ē', 'e', 1}, {U'é', 'e', 2}, {U'ě', 'e', 3}, {U'è', 'e', 4},
    {U'Ē', 'e', 1}, {U'É', 'e', 2}, {U'Ě', 'e', 3}, {U'È', 'e', 4},
    {U'ī', 'i', 1}, {U'í', 'i', 2}, {U'ǐ', 'i', 3}, {U'ì', 'i', 4},
    {U'Ī', 'i', 1}, {U'Í', 'i', 2}, {U'Ǐ', 'i', 3}, {U'Ì', 'i', 4},
    {U'ō', 'o', 1}, {U'ó', 'o', 2}, {U'ǒ', 'o', 3}, {U'ò', 'o', 4},
    {U'Ō', 'o', 1}, {U'Ó', 'o', 2}, {U'Ǒ', 'o', 3}, {U'Ò', 'o', 4},
    {U'ū', 'u', 1}, {U'ú', 'u', 2}, {U'ǔ', 'u', 3}, {U'ù', 'u', 4},
    {U'Ū', 'u', 1}, {U'Ú', 'u', 2}, {U'Ǔ', 'u', 3}, {U'Ù', 'u', 4},
    {U'ǖ', 'v', 1}, {U'ǘ', 'v', 2}, {U'ǚ', 'v', 3}, {U'ǜ', 'v', 4},
    {U'Ǖ', 'v', 1}, {U'Ǘ', 'v', 2}, {U'Ǚ', 'v', 3}, {U'Ǜ', 'v', 4},
    {U'ü', 'v', 0}, {U'Ü', 'v', 0},
    {U'ń', 'n', 2}, {U'ň', 'n', 3}, {U'ǹ', 'n', 4},
    {U'Ń', 'n', 2}, {U'Ň', 'n', 3}, {U'Ǹ', 'n', 4},
    {U'ḿ', 'm', 2}, {U'Ḿ', 'm', 2},
};

// Combining marks, for text that arrives decomposed.
constexpr char32_t kCombiningTone[] = {0, 0x0304, 0x0301, 0x030C, 0x0300};
constexpr char32_t kCombiningDiaeresis = 0x0308;

const MarkedLetter *findMarked(char32_t cp)
{
    for (const MarkedLetter &m : kMarked)
        if (m.cp == cp)
            return &m;
    return nullptr;
}

int combiningTone(char32_t cp)
{
    for (int t = 1; t <= 4; ++t)
        if (kCombiningTone[t] == cp)
            return t;
    return 0;
}

enum class Status { Ok, BadTone, NotSyllable };

bool isSeparator(char32_t c)
{
    return c == U' ' || c == U'\t' || c == U'\n' || c == U'\r' || c == 0x3000 || c == U'\''
        || c == 0x2019 || c == 0x2018 || c == U'-';
}

bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

// One syllable in any accepted spelling → canonical numbered form.
Status parseOne(std::u32string_view cps, std::string &out)
{
    std::string base;
    int tone = 0;
    std::size_t i = 0;
    for (; i < cps.size(); ++i) {
        char32_t c = cps[i];
        if (isDigit(c))
            break;
        if (c >= U'A' && c <= U'Z') {
            base.push_back(static_cast<char>(c - U'A' + U'a'));
        } else if (c >= U'a' && c <= U'z') {
            base.push_back(static_cast<char>(c));
        } else if (c == U':') {
            // "lu:4", the ASCII spelling of ü
            if (base.empty() || base.back() != 'u')
                return Status::NotSyllable;
            base.back() = 'v';
        } else if (c == kCombiningDiaeresis) {
            if (base.empty() || base.back() != 'u')
                return Status::NotSyllable;
            base.back() = 'v';
        } else if (int t = combiningTone(c)) {
            if (base.empty() || tone)
                return Status::NotSyllable;
            tone = t;
        } else if (const MarkedLetter *m = findMarked(c)) {
            if (m->tone) {
                if (tone)
                    return Status::NotSyllable;
                tone = m->tone;
            }
            base.push_back(m->base);
        } else {
            return Status::NotSyllable;
        }
    }

    if (i < cps.size()) {
        // A tone number: only at the end, only one digit, never after a mark.
        std::u32string_view digits = cps.substr(i);
        if (!std::all_of(digits.begin(), digits.end(), isDigit))
            return Status::NotSyllable;
        if (tone || base.empty())
            return Status::NotSyllable;
        if (!isBase(base) && base != "lue" && base != "nue")
            return Status::NotSyllable;
        if (digits.size() != 1 || digits[0] < U'1' || digits[0] > U'5')
            return Status::BadTone;
        tone = static_cast<int>(digits[0] - U'0');
    }

    // "lue", "nue": the common spelling without the dots, never ambiguous.
    if (base == "lue" || base == "nue")
        base[1] = 'v';
    if (!isBase(base))
        return Status::NotSyllable;
    out = base;
    out.push_back(static_cast<char>('0' + (tone ? tone : 5)));
    return Status::Ok;
}

// A glued word without tone numbers ("Chóngqìng", "xianzai"): split into
// syllables, longest first. With `apostropheRule` a syllable that starts
// with a, o or e never follows another one, as written pinyin puts an
// apostrophe there ("fangan" is fan'gan, not fang'an).
bool segment(std::u32string_view cps, bool apostropheRule, std::vector<std::string> &out)
{
    std::vector<char> dead(cps.size() + 1, 0);  // positions known not to work
    std::vector<std::string> path;
    // Iterative depth-first search keeps deep recursion out of user input.
    struct Frame {
        std::size_t pos;
        std::size_t len;  // next length to try, counting down
    };
    constexpr std::size_t kLongest = 7;  // "zhuang" + erhua r
    std::vector<Frame> stack{{0, std::min(kLongest, cps.size())}};
    while (!stack.empty()) {
        Frame &f = stack.back();
        if (f.pos == cps.size()) {
            out = path;
            return true;
        }
        bool advanced = false;
        while (f.len > 0) {
            std::size_t len = f.len--;
            std::u32string_view piece = cps.substr(f.pos, len);
            if (dead[f.pos + len])
                continue;
            if (apostropheRule && f.pos > 0) {
                char32_t first = piece[0];
                const MarkedLetter *m = findMarked(first);
                char b = m ? m->base : (first < 0x80 ? static_cast<char>(first | 0x20) : 0);
                if (b == 'a' || b == 'o' || b == 'e')
                    continue;
            }
            std::string syl;
            if (parseOne(piece, syl) != Status::Ok)
                continue;
            // m, n, ng stand alone as interjections, never inside a word
            if (isNasalInterjection(std::string_view(syl).substr(0, syl.size() - 1)))
                continue;
            path.push_back(syl);
            std::size_t next = f.pos + len;
            stack.push_back({next, std::min(kLongest, cps.size() - next)});
            advanced = true;
            break;
        }
        if (!advanced) {
            dead[stack.back().pos] = 1;
            stack.pop_back();
            if (!path.empty() && !stack.empty())
                path.pop_back();
        }
    }
    return false;
}

}  // namespace

const std::vector<std::string> &inventory() { return inventoryList(); }

bool isSyllable(std::string_view toned)
{
    if (toned.size() < 2)
        return false;
    char tone = toned.back();
    if (tone < '1' || tone > '5')
        return false;
    std::string base;
    std::string_view b = toned.substr(0, toned.size() - 1);
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (b.compare(i, 2, "\xC3\xBC") == 0) {  // ü
            base.push_back('v');
            ++i;
        } else if (b[i] >= 'a' && b[i] <= 'z') {
            base.push_back(b[i]);
        } else {
            return false;
        }
    }
    return isBase(base);
}

bool isErhua(std::string_view numbered)
{
    if (!isSyllable(numbered))
        return false;
    std::string_view base = numbered.substr(0, numbered.size() - 1);
    return base.back() == 'r' && base != "er";
}

std::optional<std::string> normalise(std::string_view syllable)
{
    std::u32string cps;
    if (!utf8::decodeStrict(syllable, cps))
        return std::nullopt;
    std::size_t b = 0, e = cps.size();
    while (b < e && (cps[b] == U' ' || cps[b] == U'\t'))
        ++b;
    while (e > b && (cps[e - 1] == U' ' || cps[e - 1] == U'\t'))
        --e;
    std::string out;
    if (parseOne(std::u32string_view(cps).substr(b, e - b), out) != Status::Ok)
        return std::nullopt;
    return out;
}

std::string toToneMarks(std::string_view numbered)
{
    if (!isSyllable(numbered))
        return std::string(numbered);
    int tone = numbered.back() - '0';
    std::string base;
    for (char32_t c : [&] {
             std::u32string cps;
             utf8::decodeStrict(numbered.substr(0, numbered.size() - 1), cps);
             return cps;
         }())
        base.push_back(c == U'ü' ? 'v' : static_cast<char>(c));

    // Which letter carries the mark: a or e when there is one, o of ou,
    // otherwise the last vowel (so iu marks u and ui marks i).
    std::size_t at = std::string::npos;
    if (isNasalInterjection(base)) {
        at = 0;
    } else if ((at = base.find('a')) == std::string::npos
               && (at = base.find('e')) == std::string::npos
               && (at = base.find("ou")) == std::string::npos) {
        at = base.find_last_of("iouv");
    }

    std::u32string out;
    for (std::size_t i = 0; i < base.size(); ++i) {
        char c = base[i];
        if (i != at || tone == 5) {
            out.push_back(c == 'v' ? U'ü' : static_cast<char32_t>(c));
            continue;
        }
        // Lower-case letters come first in the table.
        const MarkedLetter *found = nullptr;
        for (const MarkedLetter &m : kMarked)
            if (m.base == c && m.tone == tone) {
                found = &m;
                break;
            }
        if (found) {
            out.push_back(found->cp);
        } else {
            // m and n with tones that have no precomposed letter
            out.push_back(c == 'v' ? U'ü' : static_cast<char32_t>(c));
            out.push_back(kCombiningTone[tone]);
        }
    }
    return utf8::encode(out);
}

std::optional<std::vector<std::string>> parseReading(std::string_view reading, std::string *error)
{
    auto fail = [&](std::string reason) -> std::optional<std::vector<std::string>> {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    };
    std::u32string cps;
    if (!utf8::decodeStrict(reading, cps))
        return fail("读音不是有效的 UTF-8 文本");

    std::vector<std::string> syllables;
    std::size_t i = 0;
    while (i < cps.size()) {
        if (isSeparator(cps[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < cps.size() && !isSeparator(cps[end]))
            ++end;
        std::u32string_view token = std::u32string_view(cps).substr(i, end - i);
        i = end;

        // Tone numbers end syllables: "chong2qing4" is two of them.
        std::size_t p = 0;
        while (p < token.size()) {
            std::size_t q = p;
            while (q < token.size() && !isDigit(token[q]))
                ++q;
            bool numbered = q < token.size();
            while (q < token.size() && isDigit(token[q]))
                ++q;
            std::u32string_view chunk = token.substr(p, q - p);
            p = q;

            std::string syl;
            Status st = parseOne(chunk, syl);
            if (st == Status::Ok) {
                syllables.push_back(syl);
                continue;
            }
            if (st == Status::BadTone)
                return fail("声调必须是 1 到 5：" + utf8::encode(chunk));
            std::vector<std::string> pieces;
            if (!numbered && (segment(chunk, true, pieces) || segment(chunk, false, pieces))) {
                syllables.insert(syllables.end(), pieces.begin(), pieces.end());
                continue;
            }
            return fail("无法识别的拼音：" + utf8::encode(chunk));
        }
    }
    if (syllables.empty())
        return fail("读音为空");
    if (error)
        error->clear();
    return syllables;
}

}  // namespace tavrel::reading::pinyin
