#include "Pinyin.h"

#include "CharClass.h"
#include "TextUtf8.h"

#include <algorithm>
#include <unordered_set>

namespace textrules::pinyin {

namespace {

// Standard Mandarin by initial, ü as v; besides the usual ones only the rare
// colloquial forms that dictionaries list with their own characters (dia 嗲,
// den 扽, tei 忒, rua 挼, lo 咯, yo 哟).
constexpr const char *kInventory =
    // no initial
    "a o e ai ei ao ou an en ang eng er "
    "yi ya yo ye yao you yan yin yang ying yong "
    "wu wa wo wai wei wan wen wang weng "
    "yu yue yuan yun "
    "m n ng "
    // labials
    "ba bo bai bei bao ban ben bang beng bi bie biao bian bin bing bu "
    "pa po pai pei pao pou pan pen pang peng pi pie piao pian pin ping pu "
    "ma mo me mai mei mao mou man men mang meng mi mie miao miu mian min ming mu "
    "fa fo fei fou fan fen fang feng fu "
    // alveolars
    "da de dai dei dao dou dan den dang deng dong di dia die diao diu dian ding "
    "du duo dui duan dun "
    "ta te tai tei tao tou tan tang teng tong ti tie tiao tian ting "
    "tu tuo tui tuan tun "
    "na ne nai nei nao nou nan nen nang neng nong ni nie niao niu nian nin niang ning "
    "nu nuo nuan nv nve "
    "la lo le lai lei lao lou lan lang leng long li lia lie liao liu lian lin liang ling "
    "lu luo luan lun lv lve "
    // velars
    "ga ge gai gei gao gou gan gen gang geng gong gu gua guo guai gui guan gun guang "
    "ka ke kai kei kao kou kan ken kang keng kong ku kua kuo kuai kui kuan kun kuang "
    "ha he hai hei hao hou han hen hang heng hong hu hua huo huai hui huan hun huang "
    // palatals: only ü follows, written u
    "ji jia jie jiao jiu jian jin jiang jing jiong ju jue juan jun "
    "qi qia qie qiao qiu qian qin qiang qing qiong qu que quan qun "
    "xi xia xie xiao xiu xian xin xiang xing xiong xu xue xuan xun "
    // retroflexes
    "zha zhe zhi zhai zhei zhao zhou zhan zhen zhang zheng zhong "
    "zhu zhua zhuo zhuai zhui zhuan zhun zhuang "
    "cha che chi chai chao chou chan chen chang cheng chong "
    "chu chua chuo chuai chui chuan chun chuang "
    "sha she shi shai shei shao shou shan shen shang sheng "
    "shu shua shuo shuai shui shuan shun shuang "
    "re ri rao rou ran ren rang reng rong ru rua ruo rui ruan run "
    // dental sibilants
    "za ze zi zai zei zao zou zan zen zang zeng zong zu zuo zui zuan zun "
    "ca ce ci cai cao cou can cen cang ceng cong cu cuo cui cuan cun "
    "sa se si sai sao sou san sen sang seng song su suo sui suan sun";

const std::unordered_set<std::string_view> &inventorySet()
{
    static const std::unordered_set<std::string_view> set(inventory().begin(), inventory().end());
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
    const std::string_view stem = base.substr(0, base.size() - 1);
    return stem != "er" && !isNasalInterjection(stem) && inventorySet().count(stem);
}

// The toneless part of a numbered syllable with ü as v, or "" when it has
// anything but lower-case letters and ü.
std::string baseOf(std::string_view numbered)
{
    std::string base;
    const std::string_view b = numbered.substr(0, numbered.size() - 1);
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (b.compare(i, 2, "\xC3\xBC") == 0) { // ü
            base.push_back('v');
            ++i;
        } else if (b[i] >= 'a' && b[i] <= 'z') {
            base.push_back(b[i]);
        } else {
            return {};
        }
    }
    return base;
}

// ---- tone marks --------------------------------------------------------

struct MarkedLetter {
    char32_t cp;
    char base; // 'v' for ü
    int tone;  // 0: ü without a tone
};

// Precomposed letters; lower case first, so that the first match of a base
// and a tone is the one to write.
constexpr MarkedLetter kMarked[] = {
    {U'ā', 'a', 1}, {U'á', 'a', 2}, {U'ǎ', 'a', 3}, {U'à', 'a', 4},
    {U'ē', 'e', 1}, {U'é', 'e', 2}, {U'ě', 'e', 3}, {U'è', 'e', 4},
    {U'ī', 'i', 1}, {U'í', 'i', 2}, {U'ǐ', 'i', 3}, {U'ì', 'i', 4},
    {U'ō', 'o', 1}, {U'ó', 'o', 2}, {U'ǒ', 'o', 3}, {U'ò', 'o', 4},
    {U'ū', 'u', 1}, {U'ú', 'u', 2}, {U'ǔ', 'u', 3}, {U'ù', 'u', 4},
    {U'ǖ', 'v', 1}, {U'ǘ', 'v', 2}, {U'ǚ', 'v', 3}, {U'ǜ', 'v', 4},
    {U'ń', 'n', 2}, {U'ň', 'n', 3}, {U'ǹ', 'n', 4}, {U'ḿ', 'm', 2},
    {U'ü', 'v', 0},
    {U'Ā', 'a', 1}, {U'Á', 'a', 2}, {U'Ǎ', 'a', 3}, {U'À', 'a', 4},
    {U'Ē', 'e', 1}, {U'É', 'e', 2}, {U'Ě', 'e', 3}, {U'È', 'e', 4},
    {U'Ī', 'i', 1}, {U'Í', 'i', 2}, {U'Ǐ', 'i', 3}, {U'Ì', 'i', 4},
    {U'Ō', 'o', 1}, {U'Ó', 'o', 2}, {U'Ǒ', 'o', 3}, {U'Ò', 'o', 4},
    {U'Ū', 'u', 1}, {U'Ú', 'u', 2}, {U'Ǔ', 'u', 3}, {U'Ù', 'u', 4},
    {U'Ǖ', 'v', 1}, {U'Ǘ', 'v', 2}, {U'Ǚ', 'v', 3}, {U'Ǜ', 'v', 4},
    {U'Ń', 'n', 2}, {U'Ň', 'n', 3}, {U'Ǹ', 'n', 4}, {U'Ḿ', 'm', 2},
    {U'Ü', 'v', 0},
};

// Combining marks of tones 1 to 4, for text typed decomposed and for the
// tones of m and n that have no letter of their own.
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

// ---- parsing -----------------------------------------------------------

enum class Status { Ok, BadTone, NotSyllable };

bool isSeparator(char32_t c)
{
    return c == U' ' || c == U'\t' || c == U'\n' || c == U'\r' || c == 0x3000 || c == U'\'' || c == 0x2018 ||
        c == 0x2019 || c == U'-';
}

bool isDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

// One syllable in any accepted spelling → numbered form.
Status parseOne(std::u32string_view cps, std::string &out)
{
    std::string base;
    int tone = 0;
    std::size_t i = 0;
    for (; i < cps.size(); ++i) {
        const char32_t c = cps[i];
        if (isDigit(c))
            break;
        if (c >= U'A' && c <= U'Z') {
            base.push_back(static_cast<char>(c - U'A' + U'a'));
        } else if (c >= U'a' && c <= U'z') {
            base.push_back(static_cast<char>(c));
        } else if (c == U':' || c == kCombiningDiaeresis) {
            // "lu:4", the ASCII spelling of ü, and a decomposed ü
            if (base.empty() || base.back() != 'u')
                return Status::NotSyllable;
            base.back() = 'v';
        } else if (const int t = combiningTone(c)) {
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

    // "lue", "nue": the common spelling without the dots, never ambiguous.
    const bool undotted = base == "lue" || base == "nue";
    if (i < cps.size()) {
        // A tone number: only at the end, only one digit, never after a mark.
        const std::u32string_view digits = cps.substr(i);
        if (!std::all_of(digits.begin(), digits.end(), isDigit))
            return Status::NotSyllable;
        if (tone || base.empty() || (!isBase(base) && !undotted))
            return Status::NotSyllable;
        if (digits.size() != 1 || digits[0] < U'1' || digits[0] > U'5')
            return Status::BadTone;
        tone = static_cast<int>(digits[0] - U'0');
    }
    if (undotted)
        base[1] = 'v';
    if (!isBase(base))
        return Status::NotSyllable;
    out = base;
    out.push_back(static_cast<char>('0' + (tone ? tone : 5)));
    return Status::Ok;
}

// A glued word without tone numbers ("Chóngqìng", "xianzai") cut into
// syllables, longest first. With `apostropheRule` no syllable after the
// first starts with a, o or e, as written pinyin puts an apostrophe there
// ("fangan" is fan'gan, not fang'an).
bool segment(std::u32string_view cps, bool apostropheRule, std::vector<std::string> &out)
{
    std::vector<char> dead(cps.size() + 1, 0); // positions known not to work
    std::vector<std::string> path;
    // Iterative depth-first search keeps deep recursion out of user input.
    struct Frame {
        std::size_t pos;
        std::size_t len; // next length to try, counting down
    };
    constexpr std::size_t kLongest = 7; // "zhuang" and an erhua r
    std::vector<Frame> stack{{0, std::min(kLongest, cps.size())}};
    while (!stack.empty()) {
        Frame &f = stack.back();
        if (f.pos == cps.size()) {
            out = path;
            return true;
        }
        bool advanced = false;
        while (f.len > 0) {
            const std::size_t len = f.len--;
            const std::u32string_view piece = cps.substr(f.pos, len);
            if (dead[f.pos + len])
                continue;
            if (apostropheRule && f.pos > 0) {
                const char32_t first = piece[0];
                const MarkedLetter *m = findMarked(first);
                const char b = m ? m->base : (first < 0x80 ? static_cast<char>(first | 0x20) : 0);
                if (b == 'a' || b == 'o' || b == 'e')
                    continue;
            }
            std::string syllable;
            if (parseOne(piece, syllable) != Status::Ok)
                continue;
            // m, n and ng stand alone; inside a word they are the ends of others.
            if (isNasalInterjection(std::string_view(syllable).substr(0, syllable.size() - 1)))
                continue;
            path.push_back(syllable);
            const std::size_t next = f.pos + len;
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

const char *const kErhuaSuffix = " 后面应是“儿”字";

}  // namespace

const std::vector<std::string> &inventory()
{
    static const std::vector<std::string> list = [] {
        std::vector<std::string> out;
        const std::string_view all(kInventory);
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

bool isSyllable(std::string_view numbered)
{
    if (numbered.size() < 2 || numbered.back() < '1' || numbered.back() > '5')
        return false;
    return isBase(baseOf(numbered));
}

bool isErhua(std::string_view numbered)
{
    if (!isSyllable(numbered))
        return false;
    const std::string base = baseOf(numbered);
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
    const int tone = numbered.back() - '0';
    const std::string base = baseOf(numbered);

    // The mark goes on a or e when there is one, on the o of ou, and
    // otherwise on the last vowel (so iu marks the u and ui the i); the
    // interjections m, n and ng carry it on their first letter.
    std::size_t at = std::string::npos;
    if (isNasalInterjection(base)) {
        at = 0;
    } else if ((at = base.find('a')) == std::string::npos && (at = base.find('e')) == std::string::npos &&
               (at = base.find("ou")) == std::string::npos) {
        at = base.find_last_of("iouv");
    }

    std::u32string out;
    for (std::size_t i = 0; i < base.size(); ++i) {
        const char c = base[i];
        if (i != at || tone == 5) {
            out.push_back(c == 'v' ? U'ü' : static_cast<char32_t>(c));
            continue;
        }
        const MarkedLetter *found = nullptr;
        for (const MarkedLetter &m : kMarked)
            if (m.base == c && m.tone == tone) {
                found = &m;
                break;
            }
        if (found) {
            out.push_back(found->cp);
        } else {
            // m and n in the tones that have no letter of their own
            out.push_back(static_cast<char32_t>(c));
            out.push_back(kCombiningTone[tone]);
        }
    }
    return utf8::encode(out);
}

std::string withToneMarks(std::string_view reading)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < reading.size()) {
        std::size_t end = reading.find(' ', pos);
        if (end == std::string_view::npos)
            end = reading.size();
        if (end > pos) {
            if (!out.empty())
                out.push_back(' ');
            out += toToneMarks(reading.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return out;
}

std::optional<std::vector<std::string>> parseReading(std::u32string_view cps, std::string *error)
{
    const auto fail = [&](std::string reason) -> std::optional<std::vector<std::string>> {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    };
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
        const std::u32string_view token = cps.substr(i, end - i);
        i = end;

        // Tone numbers end syllables: "chong2qing4" is two of them.
        std::size_t p = 0;
        while (p < token.size()) {
            std::size_t q = p;
            while (q < token.size() && !isDigit(token[q]))
                ++q;
            const bool numbered = q < token.size();
            while (q < token.size() && isDigit(token[q]))
                ++q;
            const std::u32string_view chunk = token.substr(p, q - p);
            p = q;

            std::string syllable;
            const Status status = parseOne(chunk, syllable);
            if (status == Status::Ok) {
                syllables.push_back(syllable);
                continue;
            }
            if (status == Status::BadTone)
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

std::optional<std::vector<std::string>> parseReading(std::string_view reading, std::string *error)
{
    std::u32string cps;
    if (!utf8::decodeStrict(reading, cps)) {
        if (error)
            *error = "读音不是有效的 UTF-8 文本";
        return std::nullopt;
    }
    return parseReading(std::u32string_view(cps), error);
}

Layout layOverHan(std::u32string_view text, const std::vector<std::string> &syllables)
{
    Layout layout;
    layout.syllables = syllables.size();
    std::size_t next = 0;
    bool mergeNext = false; // the syllable before is erhua and takes this 儿
    for (const char32_t c : text) {
        if (!isHan(c))
            continue;
        ++layout.han;
        if (layout.fault != Layout::Fault::None)
            continue;
        if (mergeNext) {
            mergeNext = false;
            if (c != U'儿' && c != U'兒') {
                layout.fault = Layout::Fault::ErhuaWithoutEr;
                layout.erhua = syllables[next - 1];
                continue;
            }
            layout.perHan.emplace_back();
            continue;
        }
        if (next == syllables.size()) {
            layout.fault = Layout::Fault::Count;
            continue;
        }
        mergeNext = isErhua(syllables[next]);
        layout.perHan.push_back(syllables[next++]);
    }
    if (layout.fault == Layout::Fault::None) {
        if (mergeNext) {
            layout.fault = Layout::Fault::ErhuaWithoutEr;
            layout.erhua = syllables[next - 1];
        } else if (next != syllables.size()) {
            layout.fault = Layout::Fault::Count;
        }
    }
    if (layout.fault != Layout::Fault::None)
        layout.perHan.clear();
    return layout;
}

std::string describe(const Layout &layout, std::string_view subject, bool toneMarks)
{
    switch (layout.fault) {
    case Layout::Fault::None:
        break;
    case Layout::Fault::ErhuaWithoutEr:
        return "儿化音节 " + (toneMarks ? toToneMarks(layout.erhua) : layout.erhua) + kErhuaSuffix;
    case Layout::Fault::Count:
        return "读音有 " + std::to_string(layout.syllables) + " 个音节，但" + std::string(subject) + "有 " +
            std::to_string(layout.han) + " 个汉字";
    }
    return {};
}

std::optional<std::vector<std::string>> checkWordReading(std::u32string_view word, std::u32string_view reading,
                                                         std::string_view subject, bool toneMarks,
                                                         std::string *error)
{
    const auto fail = [&](std::string reason) -> std::optional<std::vector<std::string>> {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    };
    if (std::none_of(word.begin(), word.end(), isHan))
        return fail("词中没有汉字，拼音读音只用于中文词语");
    auto syllables = parseReading(reading, error);
    if (!syllables)
        return std::nullopt;
    const Layout layout = layOverHan(word, *syllables);
    if (!layout.fits())
        return fail(describe(layout, subject, toneMarks));
    if (error)
        error->clear();
    return syllables;
}

}  // namespace textrules::pinyin
