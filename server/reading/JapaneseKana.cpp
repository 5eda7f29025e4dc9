#include "JapaneseKana.h"

#include <algorithm>

namespace tavrel::reading::japanese_detail {

std::u32string katakana(std::u32string s)
{
    for (char32_t &c : s)
        c = toKatakana(c);
    return s;
}

std::u32string hiragana(std::u32string s)
{
    for (char32_t &c : s)
        c = toHiragana(c);
    return s;
}

bool allKatakana(const std::u32string &s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char32_t c) { return isKatakana(c); });
}

bool allKana(const std::u32string &s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char32_t c) { return isKana(c); });
}

char32_t voiced(char32_t c, bool semi)
{
    const bool hira = isHiragana(c);
    char32_t k = toKatakana(c);
    static const std::u32string kVoiceable = U"カキクケコサシスセソタチツテト";
    static const std::u32string kHRow = U"ハヒフヘホ";
    char32_t out = k;
    if (kHRow.find(k) != std::u32string::npos)
        out = k + (semi ? 2 : 1);
    else if (!semi && kVoiceable.find(k) != std::u32string::npos)
        out = k + 1;
    else if (!semi && k == U'ウ')
        out = U'ヴ';
    else if (!semi && k == U'ヽ')
        out = U'ヾ';
    return hira ? toHiragana(out) : out;
}

char32_t vowelOf(char32_t c)
{
    static const std::u32string rows[5] = {
        U"アカガサザタダナハバパマヤラワァャヮヵヷ",
        U"イキギシジチヂニヒビピミリヰィヸ",
        U"ウクグスズツヅヌフブプムユルヴゥュ",
        U"エケゲセゼテデネヘベペメレヱェヶヹ",
        U"オコゴソゾトドノホボポモヨロヲォョヺ",
    };
    static const char32_t vowels[5] = {U'ア', U'イ', U'ウ', U'エ', U'オ'};
    const char32_t k = toKatakana(c);
    for (int i = 0; i < 5; ++i)
        if (rows[i].find(k) != std::u32string::npos)
            return vowels[i];
    return 0;
}

}  // namespace tavrel::reading::japanese_detail
