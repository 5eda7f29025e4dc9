#include "MandarinNormalizer.h"

#include "CharClass.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// How this normaliser reads what it meets, where Putonghua usage leaves a
// choice:
// - 1 is 一 everywhere except in telephone numbers (幺). Telephone numbers are
//   11-digit runs starting with 1 (mobiles, also written 3-4-4), 0xx(x)-xxxxxxx(x)
//   landlines, 400/800 hotlines, and any run of 3+ digits right after a word
//   such as 拨打 or 电话 (so 拨打110 is 幺幺零; a bare 110 is 一百一十).
//   Separators inside a telephone number become a space: a short pause.
// - Codes that announcers read with 幺 as well: rooms (1203室, 房间1203,
//   住1502), flight and train numbers (CA1832, G1234: one or two capitals
//   glued to the digits), IP addresses (192.168.1.1), video resolutions
//   (1080P, 720p) and the 618 shopping festival (六幺八). A lone 1 glued
//   after a Latin letter (the spreadsheet cell A1) is 一 and stays yi1: it
//   is written as 壹, which reads yi1 and never changes its tone.
// - Other codes are read digit by digit with 一: runs after 邮编, 编号, 单号,
//   验证码 and the like, runs with a leading zero (007, 0571), runs longer
//   than 16 digits, and digits glued to Latin letters when there are three
//   or more of them (RTX4090, abc123@…); two glued digits are a number
//   (iPhone15 → iPhone十五, COVID-19 → COVID十九).
// - A leading 2 before 千, 万 and 亿 is 两 (两千, 两万); before 百 and alone it
//   is 两 only when the number counts something: before a measure word (个,
//   天, 人, 块, 米 …), before a unit such as km or kg, with money, and in clock
//   hours (两点). 22 stays 二十二. Never 两 after 第, in decimals, percentages
//   or fractions, nor in names such as 二月, 二号, 二楼.
// - Before 年, four digits are a year (digit by digit), fewer a duration.
// - Temperatures below zero are 零下 (the weather report's word), other
//   negative numbers 负.
// - kg is 公斤, as announcers say it; GB, MB, 5G, 4K keep their Latin letters
//   for the English voice.
// - Money drops trailing zeros after the point (¥12.50 → 十二点五元); plain
//   decimals keep every digit (12.50 → 十二点五零).
// - a:b is a clock time when it looks like one (hour ≤ 24, two-digit minutes),
//   otherwise a ratio or score (3:2 → 三比二).
// - Dates are year-first (2026-12-10, 2026/12/10, 2026.12.10); a/b/yyyy is
//   month/day/year unless the first part can only be a day.

namespace tavrel::reading {
namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);
// Longer integers are codes rather than amounts; 16 digits still fit 万亿.
constexpr std::size_t kMaxCardinalDigits = 16;

using View = std::u32string_view;
using Digits = std::vector<std::size_t>;  // input positions of digits, most significant first

constexpr char32_t kDigitWord[] = U"零一二三四五六七八九";

// Full-width forms and the other ways users type the ASCII symbols.
char32_t fold(char32_t c)
{
    if (c >= 0xFF10 && c <= 0xFF19)
        return U'0' + (c - 0xFF10);
    if ((c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A))
        return c - 0xFEE0;
    switch (c) {
    case 0xFF05: return U'%';
    case 0xFF0B: return U'+';
    case 0xFF0D:                  // full-width hyphen-minus
    case 0x2212:                  // minus sign
    case 0x2013: return U'-';     // en dash, as in 3–5
    case 0xFF0E: return U'.';
    case 0xFF1A: return U':';
    case 0xFF0F: return U'/';
    case 0xFF5E:
    case 0x301C: return U'~';     // wave dash
    case 0xFFE5: return 0x00A5;   // ￥
    case 0xFF04: return U'$';
    case 0xFFE1: return 0x00A3;   // ￡
    case 0xFF1D: return U'=';
    case 0xFF06: return U'&';
    case 0xFF20: return U'@';
    case 0xFF0A: return U'*';
    default: return c;
    }
}

bool isDigitChar(char32_t c) { return c >= U'0' && c <= U'9'; }
bool isLatin(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }
using textrules::isHan;

struct Unit {
    View written;
    View spoken;
    bool liang;        // counts something: a leading 2 is 两
    bool temperature;  // a minus sign is 零下
};

// Written case-sensitively, as the symbols are defined: "5S店" and "5G" are
// not seconds or grams. The longest match wins.
constexpr Unit kUnits[] = {
    {U"km/h", U"公里每小时", true, false}, {U"km²", U"平方公里", true, false},
    {U"km2", U"平方公里", true, false},    {U"km", U"公里", true, false},
    {U"kg", U"公斤", true, false},         {U"kWh", U"千瓦时", true, false},
    {U"kW", U"千瓦", true, false},         {U"kHz", U"千赫", false, false},
    {U"m/s", U"米每秒", true, false},      {U"m²", U"平方米", true, false},
    {U"m2", U"平方米", true, false},       {U"m³", U"立方米", true, false},
    {U"m3", U"立方米", true, false},       {U"mm", U"毫米", true, false},
    {U"mg", U"毫克", true, false},         {U"ml", U"毫升", true, false},
    {U"mL", U"毫升", true, false},         {U"min", U"分钟", true, false},
    {U"ms", U"毫秒", true, false},         {U"mph", U"英里每小时", true, false},
    {U"m", U"米", true, false},            {U"cm²", U"平方厘米", true, false},
    {U"cm³", U"立方厘米", true, false},    {U"cm", U"厘米", true, false},
    {U"g", U"克", true, false},            {U"h", U"小时", true, false},
    {U"L", U"升", true, false},            {U"s", U"秒", true, false},
    {U"W", U"瓦", false, false},           {U"V", U"伏", false, false},
    {U"Hz", U"赫兹", false, false},        {U"MHz", U"兆赫", false, false},
    {U"GHz", U"吉赫", false, false},       {U"dB", U"分贝", false, false},
    {U"℃", U"摄氏度", false, true},        {U"°C", U"摄氏度", false, true},
    {U"℉", U"华氏度", false, true},        {U"°F", U"华氏度", false, true},
    {U"°", U"度", false, false},           {U"㎡", U"平方米", true, false},
    {U"㎢", U"平方公里", true, false},     {U"㎥", U"立方米", true, false},
    {U"㎞", U"公里", true, false},         {U"㎏", U"公斤", true, false},
    {U"㎝", U"厘米", true, false},         {U"㎜", U"毫米", true, false},
    {U"㎖", U"毫升", true, false},         {U"㎎", U"毫克", true, false},
};

struct Currency {
    char32_t sign;
    View spoken;
};

constexpr Currency kCurrencies[] = {
    {0x00A5, U"元"}, {U'$', U"美元"}, {0x20AC, U"欧元"}, {0x00A3, U"英镑"},
};

const Currency *currencyFor(char32_t c)
{
    for (const Currency &cur : kCurrencies)
        if (cur.sign == c)
            return &cur;
    return nullptr;
}

// Measure words and number characters after which a leading 2 is 两. Not 月,
// 日, 号, 楼, 级, 折, 胎 …, where 2 is a name or a rank (二月, 二楼, 二折).
constexpr View kMeasureWords =
    U"个本只次天位人件条张名支家辆台种场份把块元角分斤米层段套双对杯瓶碗口头匹"
    U"棵颗座间所架艘部篇首句门项倍周小秒克吨升毫厘岁朵封节盒包袋箱轮股片根粒"
    U"滴步声遍趟回下星户圈笔枚顿排群批串幅扇成点公千百万亿夜晚集尊样类方例起"
    U"宗桩卷册副幢顶面列行处道堂届季组局盘亩室厅";

// Words after an amount that make it money (trailing zeros are not read).
constexpr View kMoneyWords[] = {U"元", U"块", U"美元", U"欧元", U"英镑", U"日元",
                                U"港元", U"港币", U"美金", U"人民币"};

constexpr View kTemperatureWords[] = {U"摄氏度", U"华氏度"};

// Words after which a digit run is a number to dial (幺) …
constexpr View kPhoneWords[] = {U"拨打", U"致电", U"电话", U"热线", U"手机", U"号码",
                                U"尾号", U"呼叫", U"拨"};
// … or a code read digit by digit (一).
constexpr View kCodeWords[] = {U"邮编", U"邮政编码", U"编号", U"单号", U"工号", U"学号",
                               U"代码", U"验证码", U"密码", U"账号", U"帐号", U"卡号",
                               U"房间", U"车次", U"批号", U"证号"};
// … of which these read 1 as 幺, as announcers say room and train numbers.
constexpr View kYaoCodeWords[] = {U"房间", U"车次", U"房号", U"航班", U"航班号", U"住", U"住在"};
// Numbers of rooms and the like are read digit by digit when the place
// follows them: 302会议室, 806房间, 1203室.
constexpr View kNumberedPlaces[] = {U"会议室", U"房间", U"房", U"室", U"病房", U"教室", U"宿舍", U"包厢"};

struct Literal {
    Digits whole;             // digits before the point, separators left out
    Digits frac;              // digits after the point
    std::size_t point = npos;
    std::size_t end = 0;
    bool grouped = false;     // written with thousands separators
    bool plainInt() const { return point == npos && !grouped; }
};

struct Amount {
    std::size_t begin = 0, end = 0;
    int sign = 0;  // -1 负, +1 正, 2 正负
    std::size_t signAt = 0;
    const Currency *currency = nullptr;
    std::size_t currencyAt = 0;
    Literal num;
    bool fraction = false;  // num / den
    Literal den;
    std::size_t slashAt = 0;
    View scaleWord;  // 百分之, 千分之
    std::size_t scaleAt = 0;
    const Unit *unit = nullptr;
    std::size_t unitAt = 0;
};

// When a leading 2 is said 两.
enum class Liang {
    Never,       // 第二, 二点五, 百分之二, 二月
    Magnitudes,  // a plain number: 两千, 两万, 两亿, but 二百, 二
    Counting,    // before a measure word: also 两百人, 两个
};

bool saysLiang(Liang liang, std::size_t place, bool magnitude)
{
    if (place == 1 || liang == Liang::Never)
        return false;
    return liang == Liang::Counting || place == 3 || (place == 0 && magnitude);
}

// How the words around an amount make it read.
struct Context {
    Liang liang = Liang::Magnitudes;
    bool year = false;
    bool money = false;
    bool temperature = false;
};

struct Clock {
    std::size_t hour = 0, firstColon = 0, minute = 0, secondColon = npos, second = npos;
    std::size_t hourEnd = 0, end = 0;
};

class Normalizer {
public:
    explicit Normalizer(const MappedText &in) : m_in(in)
    {
        m_f.resize(in.text.size());
        for (std::size_t i = 0; i < in.text.size(); ++i)
            m_f[i] = fold(in.text[i]);
        m_out.text.reserve(in.text.size());
        m_out.origin.reserve(in.text.size());
    }

    MappedText run()
    {
        while (m_i < m_f.size()) {
            const std::size_t i = m_i;
            if (!(tryNumber(i) || trySymbol(i)) || m_i <= i) {
                copy(i);
                m_i = i + 1;
            }
        }
        return std::move(m_out);
    }

private:
    // ---- looking at the input (folded) -------------------------------------
    char32_t at(std::size_t i) const { return i < m_f.size() ? m_f[i] : 0; }
    char32_t before(std::size_t i) const { return i > 0 && i <= m_f.size() ? m_f[i - 1] : 0; }
    bool digitAt(std::size_t i) const { return isDigitChar(at(i)); }
    int value(std::size_t i) const { return static_cast<int>(m_f[i] - U'0'); }
    std::size_t runEnd(std::size_t i) const
    {
        while (digitAt(i))
            ++i;
        return i;
    }
    int number(std::size_t b, std::size_t e) const  // short runs only
    {
        int v = 0;
        for (std::size_t k = b; k < e; ++k)
            v = v * 10 + value(k);
        return v;
    }
    bool startsWith(std::size_t i, View w) const
    {
        return i <= m_f.size() && View(m_f).substr(i, w.size()) == w;
    }
    // Spaces around operators are looked through, a few at most.
    char32_t prevNonSpace(std::size_t i) const
    {
        for (int n = 0; n < 4 && i > 0; ++n, --i)
            if (m_f[i - 1] != U' ')
                return m_f[i - 1];
        return 0;
    }
    char32_t nextNonSpace(std::size_t i) const
    {
        for (int n = 0; n < 4 && i + 1 < m_f.size(); ++n, ++i)
            if (m_f[i + 1] != U' ')
                return m_f[i + 1];
        return 0;
    }
    bool isMeasureWord(char32_t c) const { return c && kMeasureWords.find(c) != View::npos; }
    bool moneyWordAt(std::size_t i) const
    {
        for (View w : kMoneyWords)
            if (startsWith(i, w))
                return true;
        return false;
    }
    template <std::size_t N>
    bool followedByWord(std::size_t e, const View (&words)[N]) const
    {
        for (View w : words)
            if (startsWith(e, w))
                return true;
        return false;
    }
    template <std::size_t N>
    bool precededByWord(std::size_t p, const View (&words)[N]) const
    {
        std::size_t j = p;
        for (int n = 0; n < 3 && j > 0; ++n) {
            const char32_t c = m_f[j - 1];
            if (c != U' ' && c != U':' && c != U'是' && c != U'为')
                break;
            --j;
        }
        for (View w : words)
            if (j >= w.size() && View(m_f).substr(j - w.size(), w.size()) == w)
                return true;
        return false;
    }

    // ---- writing the output --------------------------------------------------
    std::size_t origin(std::size_t i) const
    {
        if (i < m_in.origin.size())
            return m_in.origin[i];
        return m_in.origin.empty() ? i : m_in.origin.back();
    }
    void put(char32_t c, std::size_t from) { m_out.append(c, origin(from)); }
    void put(View s, std::size_t from)
    {
        for (char32_t c : s)
            put(c, from);
    }
    void copy(std::size_t i) { put(m_in.text[i], i); }

    // ---- saying numbers ------------------------------------------------------
    void sayDigits(const Digits &d, bool yao)
    {
        for (std::size_t p : d) {
            const int v = value(p);
            put(yao && v == 1 ? U'幺' : kDigitWord[v], p);
        }
    }

    // Up to four digits, d[b] not zero; zeros inside are one 零, trailing
    // zeros are silent. `first`: these are the number's leading digits;
    // `magnitude`: 万 or 亿 follows the group.
    void sayGroup(const Digits &d, std::size_t b, std::size_t e, bool first, Liang liang,
                  bool magnitude)
    {
        static constexpr char32_t kPlace[] = {0, U'十', U'百', U'千'};
        bool said = false;
        std::size_t zeroAt = npos;
        for (std::size_t k = b; k < e; ++k) {
            const int v = value(d[k]);
            const std::size_t place = e - 1 - k;
            if (v == 0) {
                if (said && zeroAt == npos)
                    zeroAt = d[k];
                continue;
            }
            if (zeroAt != npos) {
                put(U'零', zeroAt);
                zeroAt = npos;
            }
            const bool lead = first && !said;
            if (lead && v == 1 && place == 1) {
                // 十五, 十万: a leading ten is said without 一
            } else if (lead && v == 2 && saysLiang(liang, place, magnitude)) {
                put(U'两', d[k]);
            } else {
                put(kDigitWord[v], d[k]);
            }
            if (place)
                put(kPlace[place], d[k]);
            said = true;
        }
    }

    // d[b..e) without leading zeros, grouped by 万 and 亿 (亿 above 万 gives 万亿).
    void sayGrouped(const Digits &d, std::size_t b, std::size_t e, bool first, Liang liang,
                    bool magnitude = false)
    {
        const std::size_t n = e - b;
        if (n <= 4) {
            sayGroup(d, b, e, first, liang, magnitude);
            return;
        }
        const std::size_t width = n > 8 ? 8 : 4;
        const std::size_t split = e - width;
        sayGrouped(d, b, split, first, liang, true);
        put(n > 8 ? U'亿' : U'万', d[split - 1]);
        std::size_t nz = split;
        while (nz < e && value(d[nz]) == 0)
            ++nz;
        if (nz == e)
            return;
        if (nz > split)
            put(U'零', d[split]);
        sayGrouped(d, nz, e, false, Liang::Never);
    }

    void sayCardinal(const Digits &d, Liang liang)
    {
        if (d.empty())
            return;
        if (d.size() == 1 && value(d[0]) == 0) {
            put(U'零', d[0]);
            return;
        }
        if (d.size() > kMaxCardinalDigits || value(d[0]) == 0) {
            sayDigits(d, false);
            return;
        }
        sayGrouped(d, 0, d.size(), true, liang);
    }

    // Month, day, hour: 05 is 五.
    void sayField(std::size_t b, std::size_t e, Liang liang)
    {
        while (e - b > 1 && value(b) == 0)
            ++b;
        sayCardinal(range(b, e), liang);
    }

    // Minutes and seconds: 05 is 零五, 30 三十.
    void sayMinutes(std::size_t b)
    {
        if (value(b) == 0) {
            put(U'零', b);
            if (value(b + 1) != 0)
                put(kDigitWord[value(b + 1)], b + 1);
            return;
        }
        sayCardinal(range(b, b + 2), Liang::Never);
    }

    void sayNumber(const Literal &lit, Liang liang, bool year, bool money)
    {
        if (year) {
            sayDigits(lit.whole, false);
            return;
        }
        Digits frac = lit.frac;
        if (money)
            while (!frac.empty() && value(frac.back()) == 0)
                frac.pop_back();
        sayCardinal(lit.whole, frac.empty() ? liang : Liang::Never);
        if (!frac.empty()) {
            put(U'点', lit.point);
            sayDigits(frac, false);
        }
    }

    static Digits range(std::size_t b, std::size_t e)
    {
        Digits d;
        d.reserve(e - b);
        for (std::size_t k = b; k < e; ++k)
            d.push_back(k);
        return d;
    }

    // ---- parsing numbers -----------------------------------------------------
    bool parseLiteral(std::size_t p, Literal &lit, bool groups = true) const
    {
        if (!digitAt(p))
            return false;
        lit = Literal{};
        std::size_t e = runEnd(p);
        lit.whole = range(p, e);
        if (groups && e - p <= 3) {
            while (at(e) == U',' && runEnd(e + 1) == e + 4) {
                for (std::size_t k = e + 1; k < e + 4; ++k)
                    lit.whole.push_back(k);
                e += 4;
                lit.grouped = true;
            }
        }
        if (at(e) == U'.' && digitAt(e + 1)) {
            lit.point = e;
            const std::size_t fe = runEnd(e + 1);
            lit.frac = range(e + 1, fe);
            e = fe;
        }
        lit.end = e;
        return true;
    }

    // A sign only starts a number: not inside 3-5, 10 - 5 or COVID-19.
    bool signStart(std::size_t i) const
    {
        const char32_t c = at(i);
        if (c != U'-' && c != U'+' && c != U'±')
            return false;
        std::size_t n = i + 1;
        if (currencyFor(at(n)))
            ++n;
        if (!digitAt(n))
            return false;
        const char32_t prev = before(i);
        if (isDigitChar(prev) || isLatin(prev) || prev == U'.' || prev == U',' || prev == U'-'
            || prev == U'+' || prev == U'/' || prev == U'_')
            return false;
        if (isDigitChar(prevNonSpace(i)))
            return false;
        return !rangeAfterWord(i);
    }

    // 2026年-2027年, 3天~5天: the dash joins two amounts written with their words.
    bool rangeAfterWord(std::size_t i) const
    {
        const char32_t c = at(i);
        return (c == U'-' || c == U'~') && i >= 2 && isHan(m_f[i - 1]) && isDigitChar(m_f[i - 2])
            && digitAt(i + 1);
    }

    const Unit *unitAt(std::size_t i, const Literal &num) const
    {
        const Unit *best = nullptr;
        for (const Unit &u : kUnits) {
            if (!startsWith(i, u.written) || (best && best->written.size() >= u.written.size()))
                continue;
            const char32_t last = u.written.back();
            const char32_t next = at(i + u.written.size());
            if (isLatin(last) && isLatin(next))
                continue;  // the start of a word: 5mins, 3months
            if (isDigitChar(last) && isDigitChar(next))
                continue;
            best = &u;
        }
        // 1990s is a decade, not seconds
        if (best && best->written == U"s" && num.plainInt() && num.whole.size() == 4)
            return nullptr;
        return best;
    }

    bool parseAmount(std::size_t p, Amount &a, bool allowSign) const
    {
        a = Amount{};
        a.begin = p;
        std::size_t q = p;
        if (allowSign && signStart(q)) {
            const char32_t c = at(q);
            a.sign = c == U'-' ? -1 : c == U'+' ? 1 : 2;
            a.signAt = q++;
        }
        if (const Currency *cur = currencyFor(at(q)); cur && digitAt(q + 1)) {
            a.currency = cur;
            a.currencyAt = q++;
        }
        if (!parseLiteral(q, a.num))
            return false;
        q = a.num.end;
        if (!a.currency && a.num.plainInt() && at(q) == U'/' && digitAt(q + 1)) {
            Literal den;
            parseLiteral(q + 1, den, false);
            // a/b/c is a date or a list, never a fraction
            if (den.plainInt() && !(at(den.end) == U'/' && digitAt(den.end + 1))) {
                a.fraction = true;
                a.den = den;
                a.slashAt = q;
                q = den.end;
            }
        }
        if (!a.fraction) {
            const std::size_t s = at(q) == U' ' ? q + 1 : q;
            if (at(s) == U'%' || at(s) == U'‰') {
                a.scaleWord = at(s) == U'%' ? View(U"百分之") : View(U"千分之");
                a.scaleAt = s;
                q = s + 1;
            } else if (!a.currency) {
                if (const Unit *u = unitAt(q, a.num)) {
                    a.unit = u;
                    a.unitAt = q;
                    q += u->written.size();
                } else if (s != q) {
                    // after a space only a unit that cannot be a word: 5 km, not "5 m"
                    const Unit *spaced = unitAt(s, a.num);
                    if (spaced && (spaced->written.size() > 1 || !isLatin(spaced->written[0]))) {
                        a.unit = spaced;
                        a.unitAt = s;
                        q = s + spaced->written.size();
                    }
                }
            }
        }
        a.end = q;
        return true;
    }

    static bool isYear(const Amount &a)
    {
        return a.sign == 0 && !a.currency && !a.fraction && a.scaleWord.empty() && !a.unit
            && a.num.plainInt() && a.num.whole.size() == 4;
    }

    Context contextOf(const Amount &first, const Amount &last) const
    {
        Context c;
        const std::size_t e = last.end;
        if (last.unit) {
            if (last.unit->liang)
                c.liang = Liang::Counting;
            c.temperature = last.unit->temperature;
        } else if (first.currency || last.currency) {
            c.money = true;
            c.liang = Liang::Counting;
        } else if (!last.scaleWord.empty() || last.fraction) {
            // 百分之二, 三分之二: never 两
        } else if (startsWith(e, kTemperatureWords[0]) || startsWith(e, kTemperatureWords[1])) {
            c.temperature = true;
        } else if (moneyWordAt(e)) {
            c.money = true;
            c.liang = Liang::Counting;
        } else if (at(e) == U'年') {
            if (isYear(first) && isYear(last))
                c.year = true;
            else if (at(e + 1) != U'级')  // 两年, but 二年级
                c.liang = Liang::Counting;
        } else if (isMeasureWord(at(e))) {
            c.liang = Liang::Counting;
        }
        if (before(first.begin) == U'第')
            c.liang = Liang::Never;
        return c;
    }

    void sayAmount(const Amount &a, const Context &c, const Amount *scaleFrom, bool currencyWord)
    {
        if (a.sign) {
            if (c.temperature && a.sign != 2)
                put(a.sign < 0 ? View(U"零下") : View(U"零上"), a.signAt);
            else
                put(a.sign < 0 ? View(U"负") : a.sign == 1 ? View(U"正") : View(U"正负"), a.signAt);
        }
        const Amount &scaled = scaleFrom ? *scaleFrom : a;
        if (!scaled.scaleWord.empty())
            put(scaled.scaleWord, scaled.scaleAt);
        if (a.fraction) {
            sayCardinal(a.den.whole, Liang::Never);
            put(U"分之", a.slashAt);
            sayCardinal(a.num.whole, Liang::Never);
        } else {
            sayNumber(a.num, scaled.scaleWord.empty() ? c.liang : Liang::Never,
                      c.year && isYear(a), c.money);
        }
        if (a.unit)
            put(a.unit->spoken, a.unitAt);
        if (a.currency && currencyWord)
            put(a.currency->spoken, a.currencyAt);
    }

    // ---- one function per kind of token --------------------------------------
    bool tryNumber(std::size_t i)
    {
        const char32_t c = at(i);
        if (c == U'+' && tryCountryCode(i))
            return true;
        if (signStart(i) || (currencyFor(c) && digitAt(i + 1)))
            return tryQuantity(i);
        if (!isDigitChar(c))
            return false;
        if (gluedToLatin(i))
            return readGlued(i);
        return tryResolution(i) || tryPhone(i) || tryDate(i) || tryClock(i) || tryRatio(i) || tryDotted(i)
            || trySlashedParts(i) || tryQuantity(i);
    }

    // +86 138…: the country code of a telephone number.
    bool tryCountryCode(std::size_t i)
    {
        const std::size_t e = runEnd(i + 1);
        if (e == i + 1 || e - i - 1 > 3 || (at(e) != U' ' && at(e) != U'-'))
            return false;
        if (runEnd(e + 1) - (e + 1) < 7)
            return false;
        put(U'加', i);
        sayDigits(range(i + 1, e), true);
        put(U' ', e);
        m_i = e + 1;
        return true;
    }

    // iPhone15, MP3, COVID-19, www.163.com: digits that belong to a Latin name.
    bool gluedToLatin(std::size_t p) const
    {
        const char32_t prev = before(p);
        if (isLatin(prev)) {
            // 1920x1080: the x reads 乘 and what follows is a number of its own
            if ((prev == U'x' || prev == U'X') && p >= 2 && isDigitChar(m_f[p - 2]))
                return false;
            return true;
        }
        return (prev == U'-' || prev == U'.') && p >= 2 && isLatin(m_f[p - 2]);
    }

    bool readGlued(std::size_t p)
    {
        if (tryDotted(p))
            return true;
        Literal lit;
        parseLiteral(p, lit, false);
        // Capitals before the digits: one or two name a flight or a train
        // (CA1832, G1234), read with 幺.
        std::size_t capitals = 0;
        while (capitals < p && m_f[p - 1 - capitals] >= U'A' && m_f[p - 1 - capitals] <= U'Z')
            ++capitals;
        const bool letterBefore = capitals > 0 || isLatin(before(p));
        const bool service = capitals >= 1 && capitals <= 2 && (capitals == p || !isLatin(m_f[p - 1 - capitals]));
        if (lit.point != npos) {
            sayNumber(lit, Liang::Never, false, false);
        } else if (lit.whole.size() >= 3) {
            sayDigits(lit.whole, service);  // model numbers: RTX4090 is 四零九零
        } else if (lit.whole.size() == 1 && value(lit.whole[0]) == 1 && letterBefore) {
            put(U'壹', lit.whole[0]);  // the cell A1: yi1, whatever follows
        } else {
            sayCardinal(lit.whole, Liang::Never);
        }
        m_i = lit.end;
        return true;
    }

    void sayPhone(std::size_t b, std::size_t e, bool yao)
    {
        for (std::size_t k = b; k < e; ++k) {
            if (digitAt(k))
                put(yao && value(k) == 1 ? U'幺' : kDigitWord[value(k)], k);
            else
                put(U' ', k);
        }
        m_i = e;
    }

    // What follows makes a long run an amount after all: 12345678901元.
    bool amountFollows(std::size_t e) const
    {
        return at(e) == U'%' || (at(e) == U'.' && digitAt(e + 1)) || isMeasureWord(at(e))
            || moneyWordAt(e);
    }

    bool tryPhone(std::size_t p)
    {
        const std::size_t e1 = runEnd(p);
        const std::size_t n1 = e1 - p;
        const bool yaoCode = precededByWord(p, kYaoCodeWords) && n1 <= 5;
        if (n1 >= 3 && (precededByWord(p, kPhoneWords) || precededByWord(p, kCodeWords) || yaoCode)) {
            std::size_t e = e1;
            while (at(e) == U'-' && digitAt(e + 1))
                e = runEnd(e + 1);
            if (!amountFollows(e)) {  // 手机500元 is a price
                sayPhone(p, e, precededByWord(p, kPhoneWords) || yaoCode);
                return true;
            }
        }
        // Before 室 or 房 three digits or more are a room, not rooms (3室2厅).
        if (n1 >= 3 && n1 <= 5 && followedByWord(e1, kNumberedPlaces)) {
            sayPhone(p, e1, true);
            return true;
        }
        if (amountFollows(e1))
            return false;
        // The shopping festival of 18 June, as the ads say it.
        if (n1 == 3 && startsWith(p, U"618") && !digitAt(e1) && at(e1) != U'.' && !isLatin(at(e1))) {
            sayPhone(p, e1, true);
            return true;
        }
        const bool hotline = startsWith(p, U"400") || startsWith(p, U"800");
        if ((n1 == 11 && at(p) == U'1') || (n1 == 10 && hotline)) {
            sayPhone(p, e1, true);
            return true;
        }
        const char32_t sep = at(e1);
        if ((sep != U'-' && sep != U' ') || !digitAt(e1 + 1))
            return false;
        const std::size_t e2 = runEnd(e1 + 1);
        const std::size_t n2 = e2 - e1 - 1;
        const bool third = at(e2) == sep && digitAt(e2 + 1);
        const std::size_t e3 = third ? runEnd(e2 + 1) : e2;
        const std::size_t n3 = third ? e3 - e2 - 1 : 0;
        if (at(p) == U'1' && n1 == 3 && n2 == 4 && n3 == 4 && !amountFollows(e3)) {
            sayPhone(p, e3, true);  // 138-0013-8000
            return true;
        }
        if (at(p) == U'0' && (n1 == 3 || n1 == 4) && (n2 == 7 || n2 == 8) && !third
            && !amountFollows(e2)) {
            sayPhone(p, e2, true);  // 010-12345678
            return true;
        }
        if (hotline && n1 == 3 && (n2 == 3 || n2 == 4) && (n3 == 3 || n3 == 4)
            && !amountFollows(e3)) {
            sayPhone(p, e3, true);  // 400-123-4567
            return true;
        }
        return false;
    }

    void sayDate(std::size_t y, std::size_t yearSep, std::size_t m, std::size_t mEnd,
                 std::size_t monthSep, std::size_t d, std::size_t dEnd)
    {
        sayDigits(range(y, y + 4), false);
        put(U'年', yearSep);
        sayField(m, mEnd, Liang::Never);
        put(U'月', monthSep);
        sayField(d, dEnd, Liang::Never);
        if (at(dEnd) != U'日' && at(dEnd) != U'号')
            put(U'日', dEnd - 1);
    }

    bool tryDate(std::size_t p)
    {
        const std::size_t e1 = runEnd(p);
        const char32_t sep = at(e1);
        if ((sep != U'-' && sep != U'/' && sep != U'.') || !digitAt(e1 + 1))
            return false;
        const std::size_t e2 = runEnd(e1 + 1);
        const bool third = at(e2) == sep && digitAt(e2 + 1);
        const std::size_t e3 = third ? runEnd(e2 + 1) : e2;
        if (third && at(e3) == sep && digitAt(e3 + 1))
            return false;  // four parts: a version or an address
        const std::size_t n1 = e1 - p, n2 = e2 - e1 - 1, n3 = e3 - e2 - 1;
        if (n1 == 4 && n2 <= 2) {
            const int month = number(e1 + 1, e2);
            if (month < 1 || month > 12)
                return false;
            if (third) {
                const int day = n3 <= 2 ? number(e2 + 1, e3) : 0;
                if (day < 1 || day > 31)
                    return false;
                sayDate(p, e1, e1 + 1, e2, e2, e2 + 1, e3);
                m_i = e3;
                return true;
            }
            // 2026-12: a month of a year, if nothing makes it an amount
            const int year = number(p, e1);
            if (sep == U'.' || year < 1900 || year > 2100 || amountFollows(e2) || isLatin(at(e2))
                || at(e2) == U'年')
                return false;
            sayDigits(range(p, e1), false);
            put(U'年', e1);
            sayField(e1 + 1, e2, Liang::Never);
            if (at(e2) != U'月')
                put(U'月', e2 - 1);
            m_i = e2;
            return true;
        }
        if (sep == U'/' && third && n1 <= 2 && n2 <= 2 && n3 == 4) {
            int a = number(p, e1), b = number(e1 + 1, e2);
            std::size_t mb = p, me = e1, db = e1 + 1, de = e2;
            if (a > 12 && b <= 12) {  // 25/12/2026 is day first
                std::swap(a, b);
                std::swap(mb, db);
                std::swap(me, de);
            }
            if (a < 1 || a > 12 || b < 1 || b > 31)
                return false;
            sayDigits(range(e2 + 1, e3), false);
            put(U'年', e3 - 1);
            sayField(mb, me, Liang::Never);
            put(U'月', me - 1);
            sayField(db, de, Liang::Never);
            put(U'日', de - 1);
            m_i = e3;
            return true;
        }
        return false;
    }

    bool parseClock(std::size_t p, Clock &c) const
    {
        c = Clock{};
        c.hour = p;
        c.hourEnd = runEnd(p);
        if (c.hourEnd == p || c.hourEnd - p > 2 || at(c.hourEnd) != U':')
            return false;
        c.firstColon = c.hourEnd;
        c.minute = c.hourEnd + 1;
        std::size_t e = runEnd(c.minute);
        if (e - c.minute != 2)
            return false;
        if (at(e) == U':' && digitAt(e + 1)) {
            c.secondColon = e;
            c.second = e + 1;
            e = runEnd(c.second);
            if (e - c.second != 2)
                return false;
        }
        if (at(e) == U':' && digitAt(e + 1))
            return false;
        c.end = e;
        return number(p, c.hourEnd) <= 24 && number(c.minute, c.minute + 2) <= 59
            && (c.second == npos || number(c.second, c.second + 2) <= 59);
    }

    void sayClock(const Clock &c)
    {
        sayField(c.hour, c.hourEnd, Liang::Counting);  // 两点
        put(U'点', c.firstColon);
        const bool minutes = number(c.minute, c.minute + 2) != 0;
        const bool seconds = c.second != npos && number(c.second, c.second + 2) != 0;
        if (minutes || seconds) {
            sayMinutes(c.minute);
            put(U'分', c.minute + 1);
        }
        if (seconds) {
            sayMinutes(c.second);
            put(U'秒', c.second + 1);
        }
    }

    bool tryClock(std::size_t p)
    {
        Clock c;
        if (!parseClock(p, c))
            return false;
        sayClock(c);
        m_i = c.end;
        // 14:30-16:00
        const char32_t s = at(c.end);
        Clock to;
        if ((s == U'-' || s == U'~' || s == U'到' || s == U'至') && parseClock(c.end + 1, to)) {
            if (s == U'-' || s == U'~')
                put(U'到', c.end);
            else
                copy(c.end);
            sayClock(to);
            m_i = to.end;
        }
        return true;
    }

    // 3:2, 1:50000 — scores and scales.
    bool tryRatio(std::size_t p)
    {
        if (runEnd(p) - p > kMaxCardinalDigits)
            return false;
        Literal a;
        parseLiteral(p, a, false);
        if (at(a.end) != U':' || !digitAt(a.end + 1))
            return false;
        sayNumber(a, Liang::Magnitudes, false, false);
        std::size_t q = a.end;
        while (at(q) == U':' && digitAt(q + 1)) {
            Literal b;
            parseLiteral(q + 1, b, false);
            put(U'比', q);
            sayNumber(b, Liang::Magnitudes, false, false);
            q = b.end;
        }
        m_i = q;
        return true;
    }

    // 1.2.3, 192.168.1.1: digit by digit with 点.
    bool tryDotted(std::size_t p)
    {
        std::size_t e = runEnd(p);
        int parts = 1;
        while (at(e) == U'.' && digitAt(e + 1)) {
            e = runEnd(e + 1);
            ++parts;
        }
        if (parts < 3)
            return false;
        // Four parts of at most three digits: an IP address, read with 幺.
        bool address = parts == 4;
        for (std::size_t k = p, run = 0; k < e; ++k) {
            run = digitAt(k) ? run + 1 : 0;
            address = address && run <= 3;
        }
        for (std::size_t k = p; k < e; ++k)
            put(digitAt(k) ? (address && value(k) == 1 ? U'幺' : kDigitWord[value(k)]) : U'点', k);
        m_i = e;
        return true;
    }

    // 1080P, 720p, 1080i: a video resolution, read digit by digit.
    bool tryResolution(std::size_t p)
    {
        const std::size_t e = runEnd(p);
        const char32_t c = at(e);
        if ((c != U'P' && c != U'p' && c != U'i') || isLatin(at(e + 1)))
            return false;
        static constexpr View kLines[] = {U"240", U"360", U"480", U"540", U"576", U"720", U"1080", U"1440", U"2160", U"4320"};
        for (View v : kLines)
            if (e - p == v.size() && startsWith(p, v)) {
                sayPhone(p, e, true);
                return true;
            }
        return false;
    }

    // 1/2/3 that is no date: each part a number, the slashes kept.
    bool trySlashedParts(std::size_t p)
    {
        std::size_t e = runEnd(p);
        int parts = 1;
        while (at(e) == U'/' && digitAt(e + 1)) {
            e = runEnd(e + 1);
            ++parts;
        }
        if (parts < 3)
            return false;
        std::size_t k = p;
        while (k < e) {
            const std::size_t r = runEnd(k);
            sayCardinal(range(k, r), Liang::Never);
            if (r < e)
                copy(r);
            k = r + 1;
        }
        m_i = e;
        return true;
    }

    // An amount, or two joined into a range: 3-5天, 10~20, ¥3-5, -5~3℃, 3%-5%.
    bool tryQuantity(std::size_t p)
    {
        Amount a;
        if (!parseAmount(p, a, true))
            return false;
        Amount b;
        const std::size_t sepAt = a.end;
        const char32_t s = at(sepAt);
        const bool word = s == U'到' || s == U'至';
        const bool range = !a.fraction && (s == U'-' || s == U'~' || word)
            && parseAmount(sepAt + 1, b, s != U'-') && !b.fraction;
        if (!range) {
            sayAmount(a, contextOf(a, a), nullptr, true);
            m_i = a.end;
            return true;
        }
        const Context c = contextOf(a, b);
        const bool currencyAtEnd = a.currency && !b.currency;
        sayAmount(a, c, a.scaleWord.empty() && !b.scaleWord.empty() ? &b : nullptr, !currencyAtEnd);
        if (word)
            copy(sepAt);
        else
            put(U'到', sepAt);
        sayAmount(b, c, nullptr, true);
        if (currencyAtEnd)
            put(a.currency->spoken, a.currencyAt);
        m_i = b.end;
        return true;
    }

    bool digitLeft(std::size_t i) const { return isDigitChar(prevNonSpace(i)); }
    bool digitRight(std::size_t i) const { return isDigitChar(nextNonSpace(i)); }
    bool digitOrHanBeside(std::size_t i) const
    {
        const char32_t l = prevNonSpace(i), r = nextNonSpace(i);
        return isDigitChar(l) || isDigitChar(r) || isHan(l) || isHan(r);
    }
    bool says(View word, std::size_t i)
    {
        put(word, i);
        m_i = i + 1;
        return true;
    }

    // Symbols that are read between words and numbers; alone they stay.
    bool trySymbol(std::size_t i)
    {
        switch (at(i)) {
        case U'&':
            return digitOrHanBeside(i) && says(U"和", i);
        case U'+':
            return digitLeft(i) && digitRight(i) && says(U"加", i);
        case U'-':
            if (isLatin(before(i)) && digitAt(i + 1)) {
                m_i = i + 1;  // COVID-19: the hyphen is not said
                return true;
            }
            if (digitLeft(i) && digitRight(i) && (before(i) == U' ' || at(i + 1) == U' '))
                return says(U"减", i);
            return rangeAfterWord(i) && says(U"到", i);
        case U'~':
            return rangeAfterWord(i) && says(U"到", i);
        case U'=':
            return digitOrHanBeside(i) && says(U"等于", i);
        case U'×':
            return (digitLeft(i) || digitRight(i)) && says(U"乘", i);
        case U'*':
            return digitLeft(i) && digitRight(i) && says(U"乘", i);
        case U'x':
        case U'X':
            // 1920x1080, but not the 0x of a hexadecimal number
            return isDigitChar(before(i)) && digitAt(i + 1)
                && !(before(i) == U'0' && (i < 2 || !isDigitChar(m_f[i - 2]))) && says(U"乘", i);
        case U'÷':
            return (digitLeft(i) || digitRight(i)) && says(U"除以", i);
        case U'@': {
            const char32_t l = before(i), r = at(i + 1);
            return (isLatin(l) || isDigitChar(l)) && (isLatin(r) || isDigitChar(r))
                && says(U"艾特", i);
        }
        default:
            return false;
        }
    }

    const MappedText &m_in;
    std::u32string m_f;  // the input with full-width forms folded, same length
    MappedText m_out;
    std::size_t m_i = 0;
};

}  // namespace

MappedText normalizeMandarin(const MappedText &in)
{
    return Normalizer(in).run();
}

}  // namespace tavrel::reading
