// The Mandarin normaliser: numbers, dates, times, money, units and symbols as
// a Putonghua announcer reads them, and the origin each output character keeps.
#include "MandarinNormalizer.h"
#include "Utf8.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

using namespace tavrel::reading;

namespace {

std::u32string fromUtf8(const std::string &s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += len;
    }
    return out;
}

std::string toUtf8(const std::u32string &s) { return tavrel::reading::utf8::encode(s); }

MappedText normalize(const std::string &utf8)
{
    return normalizeMandarin(MappedText::identity(fromUtf8(utf8)));
}

struct Case {
    const char *input;
    const char *expected;
};

void expectReadings(const Case *begin, const Case *end)
{
    for (const Case *c = begin; c != end; ++c) {
        SCOPED_TRACE(c->input);
        const MappedText out = normalize(c->input);
        const std::string got = toUtf8(out.text);
        EXPECT_EQ(got, c->expected) << "read as: " << got << "\nexpected: " << c->expected;
        EXPECT_EQ(out.origin.size(), out.text.size());
    }
}

template <std::size_t N>
void expectReadings(const Case (&cases)[N])
{
    expectReadings(cases, cases + N);
}

TEST(MandarinNormalizer, Integers)
{
    const Case cases[] = {
        {"10086", "一万零八十六"},
        {"100", "一百"},
        {"1000000", "一百万"},
        {"20", "二十"},
        {"10", "十"},
        {"15", "十五"},
        {"110", "一百一十"},
        {"0", "零"},
        {"7", "七"},
        {"1001", "一千零一"},
        {"1010", "一千零一十"},
        {"1100", "一千一百"},
        {"100010", "十万零一十"},
        {"120000", "十二万"},
        {"10001000", "一千万一千"},
        {"100000000", "一亿"},
        {"100000001", "一亿零一"},
        {"305000000", "三亿零五百万"},
        {"1234567890", "十二亿三千四百五十六万七千八百九十"},
        {"1000000000000", "一万亿"},
        {"1,234", "一千二百三十四"},
        {"200,000", "二十万"},
        {"1,000,000", "一百万"},
        // 两 before 千, 万, 亿 even in a plain number; 二 before 百 and alone
        {"200", "二百"},
        {"2", "二"},
        {"2000", "两千"},
        {"20000", "两万"},
        {"200000000", "两亿"},
        {"2000000000000", "两万亿"},
        {"12000", "一万二千"},
        // beyond 16 digits and with a leading zero: a code, digit by digit
        {"12345678901234567890", "一二三四五六七八九零一二三四五六七八九零"},
        {"007", "零零七"},
        // commas that do not group thousands are a list
        {"1,2,3", "一,二,三"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, LiangBeforeMeasureWords)
{
    const Case cases[] = {
        {"2个", "两个"},
        {"2本书", "两本书"},
        {"2只猫", "两只猫"},
        {"2次", "两次"},
        {"2天", "两天"},
        {"2位老师", "两位老师"},
        {"2年", "两年"},
        {"2000个", "两千个"},
        {"200人", "两百人"},
        {"2200个", "两千二百个"},
        {"2万人", "两万人"},
        {"2亿", "两亿"},
        {"22个", "二十二个"},
        {"12个", "十二个"},
        {"20个", "二十个"},
        {"20万人", "二十万人"},
        {"下午2点", "下午两点"},
        {"2块钱", "两块钱"},
        {"2kg", "两公斤"},
        // names and ranks keep 二
        {"2月", "二月"},
        {"2号", "二号"},
        {"2楼", "二楼"},
        {"2年级", "二年级"},
        {"2.5个", "二点五个"},
        {"5G", "五G"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, YearsAndDates)
{
    const Case cases[] = {
        {"2026年", "二零二六年"},
        {"1998年", "一九九八年"},
        {"2000年", "二零零零年"},
        {"10年", "十年"},
        {"300年", "三百年"},
        {"2026-12-10", "二零二六年十二月十日"},
        {"2026/12/10", "二零二六年十二月十日"},
        {"2026.12.10", "二零二六年十二月十日"},
        {"2026-05-03", "二零二六年五月三日"},
        {"２０２６－１２－１０", "二零二六年十二月十日"},
        {"12月10日", "十二月十日"},
        {"2026年12月", "二零二六年十二月"},
        {"2026年12月10日", "二零二六年十二月十日"},
        {"10号", "十号"},
        {"2026-12", "二零二六年十二月"},
        {"12/25/2026", "二零二六年十二月二十五日"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, DecimalsPercentFractions)
{
    const Case cases[] = {
        {"3.14", "三点一四"},
        {"0.5", "零点五"},
        {"12.50", "十二点五零"},
        {"1,234.56", "一千二百三十四点五六"},
        {"15%", "百分之十五"},
        {"3.5%", "百分之三点五"},
        {"100%", "百分之一百"},
        {"５％", "百分之五"},
        {"5‰", "千分之五"},
        {"-2%", "负百分之二"},
        {"3%-5%", "百分之三到百分之五"},
        {"3-5%", "百分之三到百分之五"},
        {"3/4", "四分之三"},
        {"1/2", "二分之一"},
        {"-1/2", "负二分之一"},
        {"1/2杯", "二分之一杯"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, ClockTimesAndRatios)
{
    const Case cases[] = {
        {"14:30", "十四点三十分"},
        {"8:05", "八点零五分"},
        {"08:05", "八点零五分"},
        {"14:30:15", "十四点三十分十五秒"},
        {"9:00", "九点"},
        {"12:00", "十二点"},
        {"2:30", "两点三十分"},
        {"22:10", "二十二点十分"},
        {"１４：３０", "十四点三十分"},
        {"14:30-16:00", "十四点三十分到十六点"},
        {"比分3:2", "比分三比二"},
        {"1:50000", "一比五万"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, Money)
{
    const Case cases[] = {
        {"¥12.50", "十二点五元"},
        {"￥12.50", "十二点五元"},
        {"¥12.00", "十二元"},
        {"12.5元", "十二点五元"},
        {"12.50元", "十二点五元"},
        {"$3", "三美元"},
        {"€20", "二十欧元"},
        {"£5", "五英镑"},
        {"5块钱", "五块钱"},
        {"¥2", "两元"},
        {"¥200", "两百元"},
        {"¥1,234.50", "一千二百三十四点五元"},
        {"¥3-5", "三到五元"},
        {"2美元", "两美元"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, TelephoneNumbersAndCodes)
{
    const Case cases[] = {
        {"13800138000", "幺三八零零幺三八零零零"},
        {"138-0013-8000", "幺三八 零零幺三 八零零零"},
        {"010-12345678", "零幺零 幺二三四五六七八"},
        {"0571-8765432", "零五七幺 八七六五四三二"},
        {"400-123-4567", "四零零 幺二三 四五六七"},
        {"4008123123", "四零零八幺二三幺二三"},
        {"拨打120", "拨打幺二零"},
        {"电话：12345", "电话：幺二三四五"},
        {"+86 13800138000", "加八六 幺三八零零幺三八零零零"},
        {"邮编100080", "邮编一零零零八零"},
        {"在302会议室开会", "在三零二会议室开会"},
        {"请到806房间", "请到八零六房间"},
        {"我有302本书", "我有三百零二本书"},
        {"订单号12345678901", "订单号一二三四五六七八九零一"},
        {"验证码 0815", "验证码 零八一五"},
        // after such a word, an amount is still an amount
        {"手机500元", "手机五百元"},
        {"电话2部", "电话两部"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, Ranges)
{
    const Case cases[] = {
        {"3-5天", "三到五天"},
        {"10~20", "十到二十"},
        {"3～5", "三到五"},
        {"3–5", "三到五"},
        {"1990-2000年", "一九九零到二零零零年"},
        {"2026年-2027年", "二零二六年到二零二七年"},
        {"2-3个", "两到三个"},
        {"1-2个", "一到两个"},
        {"20-30人", "二十到三十人"},
        {"3到5天", "三到五天"},
        {"第3-5名", "第三到五名"},
        {"5km-10km", "五公里到十公里"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, OrdinalsAndSigns)
{
    const Case cases[] = {
        {"第3名", "第三名"},
        {"第2", "第二"},
        {"第2名", "第二名"},
        {"第200个", "第二百个"},
        {"第2000名", "第二千名"},
        {"-5", "负五"},
        {"+3", "正三"},
        {"−5", "负五"},
        {"－５", "负五"},
        {"-3.5", "负三点五"},
        {"-3.5℃", "零下三点五摄氏度"},
        {"-5~3℃", "零下五到三摄氏度"},
        {"-5~-1℃", "零下五到零下一摄氏度"},
        {"-10摄氏度", "零下十摄氏度"},
        {"±5", "正负五"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, Units)
{
    const Case cases[] = {
        {"5km", "五公里"},
        {"5 km", "五公里"},
        {"3kg", "三公斤"},
        {"500g", "五百克"},
        {"30cm", "三十厘米"},
        {"5mm", "五毫米"},
        {"100m", "一百米"},
        {"25℃", "二十五摄氏度"},
        {"25°C", "二十五摄氏度"},
        {"98℉", "九十八华氏度"},
        {"100m²", "一百平方米"},
        {"100m2", "一百平方米"},
        {"100㎡", "一百平方米"},
        {"3km²", "三平方公里"},
        {"5m³", "五立方米"},
        {"5kW", "五千瓦"},
        {"10kWh", "十千瓦时"},
        {"120km/h", "一百二十公里每小时"},
        {"500ml", "五百毫升"},
        {"2L", "两升"},
        {"3h", "三小时"},
        {"30min", "三十分钟"},
        {"10s", "十秒"},
        {"９０°", "九十度"},
        // sizes of memory keep their Latin letters for the English voice
        {"16GB", "十六GB"},
        {"512MB", "五百一十二MB"},
        {"1TB", "一TB"},
        // a unit only after a number, and not the start of a word
        {"I'm 5 m", "I'm 五 m"},
        {"3months", "三months"},
        {"4S店", "四S店"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, LatinNamesAndDottedNumbers)
{
    const Case cases[] = {
        {"5G", "五G"},
        {"MP3", "MP三"},
        {"4K", "四K"},
        {"iPhone15", "iPhone十五"},
        {"A4", "A四"},
        {"COVID-19", "COVID十九"},
        {"RTX4090", "RTX四零九零"},
        {"Windows 10", "Windows 十"},
        {"1.2.3", "一点二点三"},
        {"192.168.1.1", "幺九二点幺六八点幺点幺"},  // an IP address, as it is said
        {"1.2.1", "一点二点一"},
        {"v1.2.3", "v一点二点三"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, SymbolsAndPassThrough)
{
    const Case cases[] = {
        {"研发&设计", "研发和设计"},
        {"AT&T", "AT&T"},
        {"3+5=8", "三加五等于八"},
        {"10 - 5 = 5", "十 减 五 等于 五"},
        {"3×5", "三乘五"},
        {"10÷2", "十除以二"},
        {"1920x1080", "一千九百二十乘一千零八十"},
        {"abc@example.com", "abc艾特example.com"},
        {"你好，世界！今天怎么样？", "你好，世界！今天怎么样？"},
        {"Hello world.", "Hello world."},
        {"《红楼梦》第一回", "《红楼梦》第一回"},
        // symbols without a number stay as written
        {"%", "%"},
        {"-", "-"},
        {"¥", "¥"},
        {"+", "+"},
        {"~", "~"},
        {"100%的", "百分之一百的"},
        {"价格：¥", "价格：¥"},
        {"a-b", "a-b"},
    };
    expectReadings(cases);
}

TEST(MandarinNormalizer, Sentences)
{
    const Case cases[] = {
        {"会议定于2026年12月10日14:30召开，预计3-5天。",
         "会议定于二零二六年十二月十日十四点三十分召开，预计三到五天。"},
        {"我买了2本书和12个苹果，花了¥35.50。", "我买了两本书和十二个苹果，花了三十五点五元。"},
        {"今天气温-3.5℃，湿度65%。", "今天气温零下三点五摄氏度，湿度百分之六十五。"},
        {"请拨打13800138000联系我们。", "请拨打幺三八零零幺三八零零零联系我们。"},
        {"本次比赛共有1,234人参加，第2名获得$500奖金。",
         "本次比赛共有一千二百三十四人参加，第二名获得五百美元奖金。"},
        {"新款iPhone15支持5G网络，售价5999元起。",
         "新款iPhone十五支持五G网络，售价五千九百九十九元起。"},
        {"１９９８年，他跑了１０ｋｍ。", "一九九八年，他跑了十公里。"},
        {"GDP增长3.5%，达到1.2万亿元。", "GDP增长百分之三点五，达到一点二万亿元。"},
    };
    expectReadings(cases);
}

// ---- origin -------------------------------------------------------------------

struct OriginCase {
    const char *input;
    const char *expected;
    std::vector<std::size_t> origin;
};

TEST(MandarinNormalizerOrigin, EachOutputCharacterPointsAtWhatItReads)
{
    const OriginCase cases[] = {
        // 2 0 2 6 年 1 2 月 1 0 日
        {"2026年12月10日", "二零二六年十二月十日", {0, 1, 2, 3, 4, 5, 6, 7, 8, 10}},
        // the dashes stand for 年 and 月, the day's last digit for 日
        {"2026-12-10", "二零二六年十二月十日", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        // 百分之 reads the percent sign
        {"15%", "百分之十五", {2, 2, 2, 0, 1}},
        {"-2%", "负百分之二", {0, 2, 2, 2, 1}},
        // 1 万 零 八 十 六 from 1 0 0 8 6
        {"10086", "一万零八十六", {0, 0, 1, 3, 3, 4}},
        {"3/4", "四分之三", {2, 1, 1, 0}},
        {"于14:30召开", "于十四点三十分召开", {0, 1, 2, 3, 4, 4, 5, 6, 7}},
        {"花了¥12.50", "花了十二点五元", {0, 1, 3, 4, 5, 6, 2}},
        {"预计3-5天。", "预计三到五天。", {0, 1, 2, 3, 4, 5, 6}},
        {"5km", "五公里", {0, 1, 1}},
        {"COVID-19", "COVID十九", {0, 1, 2, 3, 4, 6, 7}},
    };
    for (const OriginCase &c : cases) {
        SCOPED_TRACE(c.input);
        const MappedText out = normalize(c.input);
        ASSERT_EQ(toUtf8(out.text), c.expected) << "read as: " << toUtf8(out.text);
        EXPECT_EQ(out.origin, c.origin);
    }
}

TEST(MandarinNormalizerOrigin, MixedSentenceKeepsTheRequestPositions)
{
    const std::u32string in = fromUtf8("会议定于2026年12月10日14:30召开，预计3-5天。");
    const MappedText out = normalizeMandarin(MappedText::identity(in));
    ASSERT_EQ(toUtf8(out.text), "会议定于二零二六年十二月十日十四点三十分召开，预计三到五天。");
    // Every Chinese character of the request is kept and points at itself.
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t from = out.origin[i];
        ASSERT_LT(from, in.size());
        if (in[from] == out.text[i])
            continue;
        // Otherwise it reads a digit or a symbol of the request.
        const char32_t src = in[from];
        EXPECT_TRUE((src >= U'0' && src <= U'9') || src == U':' || src == U'-')
            << "output " << i << " points at " << from;
    }
    // The words that read 14:30 point into "14:30" (request positions 15-19).
    const std::size_t shi = out.text.find(U"十四点");
    ASSERT_NE(shi, std::u32string::npos);
    const std::vector<std::size_t> clock(out.origin.begin() + shi, out.origin.begin() + shi + 6);
    EXPECT_EQ(clock, (std::vector<std::size_t>{15, 16, 17, 18, 18, 19}));
    // 到 reads the dash of 3-5.
    const std::size_t dao = out.text.find(U'到');
    ASSERT_NE(dao, std::u32string::npos);
    EXPECT_EQ(in[out.origin[dao]], U'-');
}

TEST(MandarinNormalizerOrigin, CarriesTheInputsOwnOrigins)
{
    // Text that an earlier stage already moved: origins are not indices.
    MappedText in;
    const std::u32string text = fromUtf8("第2名得15%");
    const std::vector<std::size_t> from = {40, 41, 42, 44, 45, 46, 50};
    for (std::size_t i = 0; i < text.size(); ++i)
        in.append(text[i], from[i]);
    const MappedText out = normalizeMandarin(in);
    ASSERT_EQ(toUtf8(out.text), "第二名得百分之十五");
    EXPECT_EQ(out.origin, (std::vector<std::size_t>{40, 41, 42, 44, 50, 50, 50, 45, 46}));
}

// ---- robustness -----------------------------------------------------------------

TEST(MandarinNormalizerRobustness, EmptyAndControlCharacters)
{
    EXPECT_TRUE(normalizeMandarin(MappedText{}).text.empty());
    EXPECT_TRUE(normalizeMandarin(MappedText{}).origin.empty());

    const std::u32string controls = {U'\0', U'\x01', U'\t', U'\n', U'\r', U'\x7F', 0x200B, 0xFEFF};
    const MappedText out = normalizeMandarin(MappedText::identity(controls));
    EXPECT_EQ(out.text, controls);
    EXPECT_EQ(out.origin, MappedText::identity(controls).origin);

    // Controls inside a number end it; the parts are read on their own.
    const std::u32string split = {U'1', U'2', U'\n', U'3', U'\0', U'%'};
    const MappedText parts = normalizeMandarin(MappedText::identity(split));
    EXPECT_EQ(toUtf8(parts.text), std::string("十二\n三") + '\0' + "%");
}

TEST(MandarinNormalizerRobustness, TwoHundredThousandDigits)
{
    std::string digits;
    for (int i = 0; i < 20000; ++i)
        digits += "1234567890";
    const MappedText out = normalize(digits);
    ASSERT_EQ(out.size(), digits.size());
    ASSERT_EQ(out.origin.size(), out.text.size());
    const std::u32string words = U"零一二三四五六七八九";
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out.text[i], words[static_cast<std::size_t>(digits[i] - '0')]) << i;
        ASSERT_EQ(out.origin[i], i);
    }
}

TEST(MandarinNormalizerRobustness, LongRunsOfNumberPunctuation)
{
    // Each of these repeats a separator a number may contain; the reader must
    // get through all of them and keep one origin per output character.
    const char *units[] = {"1-", "1:", "1.", "1/", "1,", "12:34:", "1~", "-", "%", "2026-",
                           "1 ", "¥", "¥1", "第2", "+", "x1", "a1-"};
    for (const char *unit : units) {
        SCOPED_TRACE(unit);
        std::string text;
        for (int i = 0; i < 50000; ++i)
            text += unit;
        const MappedText out = normalize(text);
        EXPECT_FALSE(out.text.empty());
        ASSERT_EQ(out.origin.size(), out.text.size());
        for (std::size_t i = 0; i < out.origin.size(); ++i)
            ASSERT_LT(out.origin[i], fromUtf8(unit).size() * 50000);
    }
}

TEST(MandarinNormalizerRobustness, EveryDigitIsReadWhateverSurroundsIt)
{
    // Random mixes of the characters numbers are written with: no digit may
    // survive into the output, and every origin points into the request.
    const std::u32string alphabet =
        fromUtf8("0123456789012345-+−~～.,:：/%‰¥$€£ xkmgs°℃第年月日号个元两@&=×÷aAＧ１２％");
    std::mt19937 random(20261210);
    for (int round = 0; round < 2000; ++round) {
        std::u32string text;
        const std::size_t length = 1 + random() % 24;
        for (std::size_t k = 0; k < length; ++k)
            text.push_back(alphabet[random() % alphabet.size()]);
        SCOPED_TRACE(toUtf8(text));
        const MappedText out = normalizeMandarin(MappedText::identity(text));
        ASSERT_EQ(out.origin.size(), out.text.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            const char32_t c = out.text[i];
            ASSERT_FALSE((c >= U'0' && c <= U'9') || (c >= 0xFF10 && c <= 0xFF19)) << i;
            ASSERT_LT(out.origin[i], text.size());
        }
    }
}

}  // namespace
