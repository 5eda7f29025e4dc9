// The classes of characters both programs judge text by: Han, kana, wide,
// the ends of sentences. Where the machine has ICU, every code point is
// also compared with Unicode's own properties.
#include "CharClass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#ifdef TEXTRULES_HAVE_ICU
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#endif

using namespace textrules;

namespace {

std::string hex(char32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

TEST(CharClass, HanTable)
{
    const struct {
        char32_t c;
        bool han;
    } cases[] = {
        {U'中', true},     {0x4E00, true},   {0x9FFF, true},   {0x9FA6, true},   // past the old 0x9FA5 bound
        {0x3400, true},    {0x4DBF, true},   {0x3007, true},                     // extension A, 〇
        {0xF900, true},    {0xFA0E, true},   {0xFAD9, true},                     // compatibility
        {0x20000, true},   {0x2A6DF, true},  {0x2A700, true},  {0x2B820, true},  // B, C, E
        {0x2CEB0, true},   {0x2EBE0, true},  {0x2EBF0, true},                    // F, I
        {0x2F800, true},   {0x2FA1D, true},                                      // compatibility supplement
        {0x30000, true},   {0x30B38, true},  {0x3134A, true},  {0x31350, true},  // G, H
        {0x323AF, true},
        {0x3006, false},   {0x3005, false},  {0x3021, false},  // 〆 々 〡: not read as a syllable
        {0x4DC0, false},   {0xA000, false},  {0x2F00, false},  {0x2E80, false},  // hexagrams, Yi, radicals
        {0x2A6E0, false},  {0x2EE60, false}, {0x2FA20, false}, {0x2FFFF, false}, // between the blocks
        {0x323B0, false},  {0x3FFFD, false},
        {U'あ', false},    {U'ア', false},   {U'한', false},   {U'a', false},    {U'，', false},
        {U'。', false},    {0xFF10, false},  {0, false},       {0x10FFFF, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(hex(c.c));
        EXPECT_EQ(isHan(c.c), c.han);
    }
}

TEST(CharClass, KanaTable)
{
    const struct {
        char32_t c;
        bool kana;
    } cases[] = {
        {U'あ', true},  {U'ぁ', true},  {U'ゖ', true},  {U'ゝ', true},  {U'ゞ', true},
        {U'ア', true},  {U'ァ', true},  {U'ヺ', true},  {U'ー', true},  {U'ヽ', true},  {U'ヾ', true},
        {U'ㇰ', true},  {U'ㇿ', true},
        {0x3040, false}, {0x3097, false}, {0x3099, false}, {0x309B, false}, {0x309F, false},  // ゟ
        {U'・', false},  {U'ヿ', false},  {U'ｱ', false},   {U'東', false},  {U'k', false},
        {U'。', false},  {U' ', false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(hex(c.c));
        EXPECT_EQ(isKana(c.c), c.kana);
    }
}

TEST(CharClass, WideTable)
{
    const struct {
        char32_t c;
        bool wide;
    } cases[] = {
        {U'a', false},    {U'é', false},    {U'“', false},    {U'…', false},    {U'·', false},
        {0x10FF, false},  {0x1100, true},   {0x115F, true},   {0x1160, false},  // Hangul jamo
        {U'中', true},    {0x3400, true},   {0x20000, true},  {0x30000, true},
        {U'あ', true},    {U'ア', true},    {U'한', true},    {0xD7A3, true},   {0xD7B0, false},
        {U'。', true},    {U'，', true},    {0x3000, true},   {0x303F, false},  // half fill space
        {0xFF01, true},   {0xFF60, true},   {0xFF61, false},  {U'ｱ', false},    // full and half width
        {0xFFE0, true},   {0xFFE6, true},   {0xFFE8, false},
        {0x4DC0, false},  {0xA490, true},   {0xA4CF, false},  // hexagrams, Yi radicals
        {0x2329, true},   {0x231A, true},   {0x1F600, true},  {0x1F004, true},  // 〈, ⌚, 😀, 🀄
        {0x1F300, true},  {0x1F321, false}, {0xFE10, true},   {0xFE30, true},   {0xFE53, false},
        {0x3FFFD, true},  {0x3FFFE, false}, {0x10FFFF, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(hex(c.c));
        EXPECT_EQ(isWide(c.c), c.wide);
    }
}

TEST(CharClass, SentenceFinalTable)
{
    const struct {
        char32_t c;
        char end;
    } cases[] = {
        {U'。', '.'}, {U'.', '.'}, {U'．', '.'}, {U'｡', '.'}, {U'﹒', '.'}, {U'︒', '.'},
        {U'…', '.'}, {U'⋯', '.'}, {U'︙', '.'},
        {U'！', '!'}, {U'!', '!'}, {U'﹗', '!'}, {U'︕', '!'}, {U'‼', '!'},
        {U'？', '?'}, {U'?', '?'}, {U'﹖', '?'}, {U'︖', '?'}, {U'⁇', '?'}, {U'⁈', '?'}, {U'⁉', '?'}, {U'‽', '?'},
        {U'，', 0},   {U',', 0},   {U'；', 0},   {U'：', 0},   {U'、', 0},   {U'\n', 0},
        {U'」', 0},   {U'”', 0},   {U'·', 0},    {U'中', 0},   {U'a', 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(hex(c.c));
        EXPECT_EQ(sentenceFinal(c.c), c.end);
        EXPECT_EQ(isSentenceFinal(c.c), c.end != 0);
    }
}

#ifdef TEXTRULES_HAVE_ICU

// Every ideograph Unicode assigns is Han, and every Han character assigned
// so far is an ideograph of the Han script (〇 included).
TEST(CharClassUnicode, HanAgreesWithUnicode)
{
    int wrong = 0;
    for (char32_t c = 0; c <= 0x10FFFF && wrong < 20; ++c) {
        UErrorCode error = U_ZERO_ERROR;
        const bool assigned = u_charType(static_cast<UChar32>(c)) != U_UNASSIGNED;
        const bool hanScript = uscript_getScript(static_cast<UChar32>(c), &error) == USCRIPT_HAN;
        const bool ideograph = u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_UNIFIED_IDEOGRAPH) ||
            (hanScript && u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_IDEOGRAPHIC) && c >= 0x3400);
        if (ideograph && !isHan(c)) {
            ADD_FAILURE() << hex(c) << " is an ideograph but not Han here";
            ++wrong;
        }
        if (isHan(c) && assigned && !(ideograph || c == 0x3007)) {
            ADD_FAILURE() << hex(c) << " is Han here but no ideograph";
            ++wrong;
        }
    }
}

// The table is Unicode 15.0's: code points assigned since may differ.
TEST(CharClassUnicode, WideAgreesWithUnicode)
{
    UVersionInfo table = {15, 0, 0, 0};
    int wrong = 0;
    for (char32_t c = 0; c <= 0x10FFFF && wrong < 20; ++c) {
        UVersionInfo age;
        u_charAge(static_cast<UChar32>(c), age);
        if (u_charType(static_cast<UChar32>(c)) != U_UNASSIGNED && std::lexicographical_compare(table, table + 4, age, age + 4))
            continue;
        const int width = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_EAST_ASIAN_WIDTH);
        const bool wide = width == U_EA_WIDE || width == U_EA_FULLWIDTH;
        if (wide != isWide(c)) {
            ADD_FAILURE() << hex(c) << (wide ? " is" : " is not") << " wide in Unicode";
            ++wrong;
        }
    }
}

#endif

}  // namespace
