#include "JapaneseNumbers.h"

#include "JapaneseCounters.h"
#include "JapaneseKana.h"
#include "JapaneseNormalizer.h"
#include "JapaneseOutput.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace tavrel::reading::japanese_detail {

namespace {

const std::u32string kDigitKana[10] = {U"ゼロ", U"イチ", U"ニ", U"サン", U"ヨン",
                                       U"ゴ", U"ロク", U"ナナ", U"ハチ", U"キュウ"};

void groupElements(int g, bool beforeUnit, std::vector<Element> &out)
{
    const int th = g / 1000, hu = g / 100 % 10, te = g / 10 % 10, on = g % 10;
    if (th) {
        std::u32string k = th == 1 ? (beforeUnit && g == 1000 ? U"イッセン" : U"セン")
                         : th == 3 ? U"サンゼン"
                         : th == 8 ? U"ハッセン"
                                   : kDigitKana[th] + U"セン";
        out.push_back({Element::Thousand, th, k});
    }
    if (hu) {
        std::u32string k = hu == 1 ? U"ヒャク"
                         : hu == 3 ? U"サンビャク"
                         : hu == 6 ? U"ロッピャク"
                         : hu == 8 ? U"ハッピャク"
                                   : kDigitKana[hu] + U"ヒャク";
        out.push_back({Element::Hundred, hu, k});
    }
    if (te)
        out.push_back({Element::Ten, te, te == 1 ? std::u32string(U"ジュウ") : kDigitKana[te] + U"ジュウ"});
    if (on)
        out.push_back({Element::Digit, on, kDigitKana[on]});
}

int kanjiDigit(char32_t c)
{
    static const std::u32string_view digits = U"〇一二三四五六七八九";
    if (c == U'零')
        return 0;
    const std::size_t i = digits.find(c);
    return i == std::u32string_view::npos ? -1 : int(i);
}

}  // namespace

bool geminate(Element &e, unsigned which)
{
    auto endWith = [&](std::size_t drop, const std::u32string &tail) {
        e.kana.resize(e.kana.size() - std::min(drop, e.kana.size()));
        e.kana += tail;
        return true;
    };
    switch (e.end) {
    case Element::Digit:
        if (e.digit == 1 && (which & GemOne))
            return endWith(1, U"ッ");
        if (e.digit == 6 && (which & GemSix))
            return endWith(1, U"ッ");
        if (e.digit == 8 && (which & GemEight))
            return endWith(1, U"ッ");
        return false;
    case Element::Ten:
        return (which & GemTen) ? endWith(1, U"ッ") : false;
    case Element::Hundred:
        return (which & GemHundred) ? endWith(1, U"ッ") : false;
    default:
        return false;
    }
}

std::vector<Element> integerElements(const std::string &digits)
{
    std::vector<Element> out;
    if (digits.empty() || digits == "0") {
        out.push_back({Element::Zero, 0, kDigitKana[0]});
        return out;
    }
    static const char32_t *kUnits[5] = {U"", U"マン", U"オク", U"チョウ", U"ケイ"};
    const std::size_t groups = (digits.size() + 3) / 4;
    for (std::size_t gi = 0; gi < groups; ++gi) {
        const std::size_t unit = groups - 1 - gi;
        const std::size_t endPos = digits.size() - unit * 4;
        const std::size_t beginPos = endPos >= 4 ? endPos - 4 : 0;
        const int g = std::stoi(digits.substr(beginPos, endPos - beginPos));
        if (g == 0)
            continue;
        groupElements(g, unit > 0, out);
        if (unit > 0) {
            if (unit == 3)
                geminate(out.back(), GemOne | GemEight | GemTen);
            else if (unit == 4)
                geminate(out.back(), kGemK);
            out.push_back({Element::Unit, int(unit * 4), kUnits[unit]});
        }
    }
    return out;
}

std::u32string joined(const std::vector<Element> &els)
{
    std::u32string s;
    for (const Element &e : els)
        s += e.kana;
    return s;
}

std::u32string digitByDigit(const std::string &digits)
{
    std::u32string s;
    for (char d : digits)
        s += kDigitKana[d - '0'];
    return s;
}

Number makeNumber(const std::string &intDigits, const std::string &fraction)
{
    Number n;
    std::string digits = intDigits;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty())
        digits = "0";
    n.elements = integerElements(digits);
    if (digits.size() <= 15)
        n.value = std::stoll(digits);
    if (!fraction.empty()) {
        n.whole = false;
        n.value = -1;
        if (n.elements.size() == 1 && n.elements[0].end == Element::Zero)
            n.elements[0].kana = U"レイ";
        geminate(n.elements.back(), kGemST);
        n.elements.push_back({Element::Unit, 0, U"テン"});
        for (char d : fraction) {
            const int v = d - '0';
            n.elements.push_back({v ? Element::Digit : Element::Zero, v, kDigitKana[v]});
        }
    }
    return n;
}

bool isKanjiNumeral(char32_t c) { return std::u32string_view(U"〇零一二三四五六七八九十百千万億兆").find(c) != std::u32string_view::npos; }

std::string kanjiNumber(const std::u32string &s)
{
    const bool hasMultiplier = s.find_first_of(U"十百千万億兆") != std::u32string::npos;
    if (!hasMultiplier) {
        if (s.size() == 1 || s.find_first_of(U"〇零") != std::u32string::npos) {
            std::string d;
            for (char32_t c : s)
                d.push_back(char('0' + kanjiDigit(c)));
            return d;
        }
        return {};
    }
    constexpr unsigned long long kLimit = 100000000000000000ULL;  // 10^17
    unsigned long long total = 0, section = 0, cur = 0;
    for (char32_t c : s) {
        const int d = kanjiDigit(c);
        if (d >= 0) {
            if (cur > kLimit)
                return {};
            cur = cur * 10 + unsigned(d);
            continue;
        }
        unsigned long long mult = c == U'十' ? 10 : c == U'百' ? 100 : c == U'千' ? 1000 : 0;
        if (mult) {
            section += (cur ? cur : 1) * mult;
            cur = 0;
            continue;
        }
        const unsigned long long unit = c == U'万' ? 10000ULL : c == U'億' ? 100000000ULL : 1000000000000ULL;
        const unsigned long long part = section + cur ? section + cur : 1;
        if (part > kLimit / unit)
            return {};
        total += part * unit;
        section = cur = 0;
    }
    total += section + cur;
    return std::to_string(total);
}

std::size_t readNumber(const Working &w, std::size_t start, Output &out, std::optional<Bare> &bare)
{
    const std::u32string &s = w.text;
    const std::size_t n = s.size();
    std::size_t i = start;
    bool minus = false;
    const Counter *currency = nullptr;  // ¥ $ €, read after the number
    if (s[i] == U'-' && i + 1 < n && isDigit(s[i + 1])) {
        minus = true;
        ++i;
    }
    if (const Counter *sign = currencySign(s[i]); sign && i + 1 < n && isDigit(s[i + 1])) {
        currency = sign;
        ++i;
    }
    if (i >= n || !isDigit(s[i]))
        return 0;
    const std::size_t numberStart = i;
    auto digitsFrom = [&](std::size_t &p) {
        std::string d;
        while (p < n && isDigit(s[p]))
            d.push_back(char(s[p++]));
        return d;
    };

    std::string intDigits = digitsFrom(i);
    // 1,000,000: commas between groups of three.
    if (intDigits.size() <= 3) {
        while (i + 3 < n && s[i] == U',' && isDigit(s[i + 1]) && isDigit(s[i + 2]) && isDigit(s[i + 3]) &&
               (i + 4 >= n || !isDigit(s[i + 4]))) {
            intDigits += std::string{char(s[i + 1]), char(s[i + 2]), char(s[i + 3])};
            i += 4;
        }
    }

    const std::size_t at = w.at[numberStart];
    auto emitPlain = [&](const std::u32string &k, std::size_t origin) { out.kana(k, origin, hiragana(k), false); };

    // 2026/3/5, 2026-03-05, 2026.3.5: a date.
    if (intDigits.size() == 4 && !minus && !currency && i + 1 < n &&
        (s[i] == U'/' || s[i] == U'-' || s[i] == U'.') && isDigit(s[i + 1])) {
        const char32_t sep = s[i];
        std::size_t p = i + 1;
        const std::size_t monthAt = p;
        const std::string month = digitsFrom(p);
        if (p + 1 < n && s[p] == sep && isDigit(s[p + 1]) && month.size() <= 2) {
            const std::size_t dayAt = ++p;
            const std::string day = digitsFrom(p);
            const int m = std::stoi(month), d = day.size() <= 2 ? std::stoi(day) : 0;
            if (m >= 1 && m <= 12 && d >= 1 && d <= 31) {
                auto emitCounted = [&](const std::string &digits, const char32_t *counter, std::size_t from,
                                       std::size_t counterFrom, bool date) {
                    const Counted c = count(makeNumber(digits, {}), counterNamed(counter), date);
                    std::vector<std::size_t> origins(c.number.size(), w.at[from]);
                    origins.insert(origins.end(), c.counter.size(), w.at[counterFrom]);
                    out.kana(c.number + c.counter, std::move(origins), hiragana(c.number + c.counter), false);
                };
                emitCounted(intDigits, U"年", numberStart, i, false);
                emitCounted(month, U"月", monthAt, dayAt - 1, false);
                emitCounted(day, U"日", dayAt, p - 1, true);
                return p - start;
            }
        }
    }

    // 03-1234-5678: a telephone number, digit by digit, の between the groups.
    if (!minus && !currency && i + 1 < n && s[i] == U'-' && isDigit(s[i + 1])) {
        std::vector<std::pair<std::string, std::size_t>> groups = {{intDigits, numberStart}};
        std::size_t p = i;
        while (p + 1 < n && s[p] == U'-' && isDigit(s[p + 1])) {
            const std::size_t groupAt = ++p;
            groups.emplace_back(digitsFrom(p), groupAt);
        }
        if (groups.size() >= 3 || intDigits[0] == '0') {
            std::u32string engine;
            std::vector<std::size_t> origins;
            for (const auto &[digits, from] : groups) {
                if (!engine.empty()) {
                    engine += U"ノ";
                    origins.push_back(w.at[from - 1]);
                }
                const std::u32string k = digitByDigit(digits);
                engine += k;
                origins.insert(origins.end(), k.size(), w.at[from]);
            }
            std::u32string reading = hiragana(engine);
            out.kana(std::move(engine), std::move(origins), std::move(reading), false);
            return p - start;
        }
    }

    // 10:30 and 10:30:15
    if (intDigits.size() <= 2 && i + 2 < n && s[i] == U':' && isDigit(s[i + 1]) && isDigit(s[i + 2]) &&
        (i + 3 >= n || !isDigit(s[i + 3])) && std::stoi(intDigits) <= 24 && !minus && !currency) {
        const int minutes = (s[i + 1] - U'0') * 10 + (s[i + 2] - U'0');
        if (minutes < 60) {
            Counted h = count(makeNumber(intDigits, {}), counterNamed(U"時"), false);
            out.kana(h.number + h.counter, at, hiragana(h.number + h.counter), false);
            const std::size_t minuteAt = w.at[i + 1];
            i += 3;
            if (minutes) {
                Counted m = count(makeNumber(std::to_string(minutes), {}), counterNamed(U"分"), false);
                out.kana(m.number + m.counter, minuteAt, hiragana(m.number + m.counter), true);
            }
            if (i + 2 < n && s[i] == U':' && isDigit(s[i + 1]) && isDigit(s[i + 2]) &&
                (i + 3 >= n || !isDigit(s[i + 3]))) {
                const int seconds = (s[i + 1] - U'0') * 10 + (s[i + 2] - U'0');
                const std::size_t secondAt = w.at[i + 1];
                i += 3;
                if (seconds) {
                    Counted sec = count(makeNumber(std::to_string(seconds), {}), counterNamed(U"秒"), false);
                    out.kana(sec.number + sec.counter, secondAt, hiragana(sec.number + sec.counter), true);
                }
            }
            return i - start;
        }
    }

    // 10〜20, 2人〜3人: "から" before the second number.
    auto range = [&](std::size_t p) -> std::size_t {
        if (p + 1 < n && (s[p] == U'〜' || s[p] == U'~') && isDigit(s[p + 1])) {
            out.kana(U"カラ", w.at[p], U"から", true);
            return 1;
        }
        return 0;
    };

    std::string fraction;
    if (i + 1 < n && s[i] == U'.' && isDigit(s[i + 1])) {
        ++i;
        fraction = digitsFrom(i);
    }

    // 3万, 1億2000万: a number with its own units after the digits.
    if (fraction.empty() && i < n && (s[i] == U'万' || s[i] == U'億' || s[i] == U'兆') && intDigits.size() <= 4) {
        unsigned long long total = 0;
        std::size_t p = i;
        std::string group = intDigits;
        unsigned long long lastUnit = ~0ULL;
        while (true) {
            const unsigned long long unit = s[p] == U'万' ? 10000ULL : s[p] == U'億' ? 100000000ULL : 1000000000000ULL;
            if (unit >= lastUnit)
                break;
            total += std::stoull(group) * unit;
            lastUnit = unit;
            ++p;
            i = p;
            std::size_t q = p;
            std::string next = digitsFrom(q);
            if (next.empty() || next.size() > 4)
                break;
            if (q < n && (s[q] == U'万' || s[q] == U'億' || s[q] == U'兆')) {
                group = next;
                p = q;
                continue;
            }
            if (lastUnit == 10000ULL) {  // the ones after 万: 3万5000
                total += std::stoull(next);
                i = q;
            }
            break;
        }
        intDigits = std::to_string(total);
    }

    // Leading zeros with nothing counted: a code or a phone number, digit by digit.
    const Counter *counter = nullptr;
    std::size_t counterLen = 0;
    if (!currency) {
        for (const Counter &c : counters()) {
            const std::size_t len = c.written.size();
            if (i + len > n || std::u32string_view(s).substr(i, len) != c.written)
                continue;
            if (isAsciiLetter(c.written[0]) && i + len < n && isLatinLetter(s[i + len]))
                continue;  // "5min" is not 5 m
            if (c.numberAfter && !(i + len < n && (isDigit(s[i + len]) || isKanjiNumeral(s[i + len]))))
                continue;
            counter = &c;
            counterLen = len;
            break;
        }
    }

    if (intDigits.size() > 20 || (intDigits.size() > 1 && intDigits[0] == '0' && !counter && fraction.empty() &&
                                  !currency)) {
        std::u32string k = digitByDigit(intDigits);
        if (minus)
            k = U"マイナス" + k;
        emitPlain(k, at);
        if (!fraction.empty())
            out.kana(U"テン" + digitByDigit(fraction), at, hiragana(U"テン" + digitByDigit(fraction)), true);
        return i - start;
    }

    Number number = makeNumber(intDigits, fraction);
    std::u32string prefix = minus ? U"マイナス" : U"";
    if (currency) {
        const Counted c = count(number, *currency, false);
        std::u32string engine = prefix + c.number + c.counter;
        std::u32string reading = hiragana(prefix + c.number) + (c.loanword ? c.counter : hiragana(c.counter));
        out.kana(std::move(engine), w.at[start], std::move(reading), false);
        return i - start;
    }
    if (counter && counterApplies(*counter, number)) {
        Counted c = count(number, *counter, afterMonth(s, numberStart));
        const std::size_t counterAt = w.at[i];
        std::u32string engine = prefix + c.number + c.counter;
        std::vector<std::size_t> origins(prefix.size() + c.number.size(), at);
        origins.insert(origins.end(), c.counter.size(), counterAt);
        std::u32string reading = hiragana(prefix + c.number) + (c.loanword ? c.counter : hiragana(c.counter));
        out.kana(std::move(engine), std::move(origins), std::move(reading), false);
        i += counterLen;
        return i - start + range(i);
    }
    emitPlain(prefix + joined(number.elements), at);
    if (const std::size_t len = range(i))
        return i - start + len;
    // MeCab may still find a counter after it that the table does not know.
    bare = Bare{std::move(number), std::move(prefix)};
    return i - start;
}

}  // namespace tavrel::reading::japanese_detail
