#include "JapaneseNormalizer.h"

#include "JapaneseKana.h"

namespace tavrel::reading::japanese_detail {

Working normalise(const std::u32string &in)
{
    // U+FF66 … U+FF9D
    static const std::u32string kHalfKana =
        U"ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン";
    Working w;
    w.text.reserve(in.size());
    w.at.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xFF01 && c <= 0xFF5E)
            c -= 0xFEE0;
        else if (c == 0x3000)
            c = U' ';
        else if (c == 0xFFE5)
            c = U'¥';
        else if (c == 0x2212)
            c = U'-';
        else if (c == 0xFF61)
            c = U'。';
        else if (c == 0xFF62)
            c = U'「';
        else if (c == 0xFF63)
            c = U'」';
        else if (c == 0xFF64)
            c = U'、';
        else if (c == 0xFF65)
            c = U'・';
        else if (c >= 0xFF66 && c <= 0xFF9D)
            c = kHalfKana[c - 0xFF66];

        // Voicing marks, combining or spacing, belong to the kana before them.
        if (c == 0xFF9E || c == 0xFF9F || c == 0x3099 || c == 0x309A || c == 0x309B || c == 0x309C) {
            const bool semi = (c == 0xFF9F || c == 0x309A || c == 0x309C);
            if (!w.text.empty() && isKana(w.text.back()))
                w.text.back() = voiced(w.text.back(), semi);
            continue;
        }
        if (c == U'\r' || c == U'\v' || c == U'\f' || c == 0x85 || c == 0x2028 || c == 0x2029)
            c = U'\n';
        else if ((c < 0x20 && c != U'\n') || (c >= 0x7F && c <= 0x9F))
            c = U' ';
        if ((c >= 0x200B && c <= 0x200F) || c == 0x2060 || c == 0xFEFF || (c >= 0xFE00 && c <= 0xFE0F) ||
            (c >= 0xE0000 && c <= 0xE01EF) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF ||
            c == 0xFFFE || c == 0xFFFF || c == 0xFFFD)
            continue;
        w.text.push_back(c);
        w.at.push_back(i);
    }
    return w;
}

char32_t pauseFor(char32_t c)
{
    switch (c) {
    case U'。': case U'.': case U'｡': case U'．':
        return U'。';
    case U'！': case U'!':
        return U'！';
    case U'？': case U'?':
        return U'？';
    case U'、': case U',': case U'，': case U'､': case U';': case U':': case U'…': case U'‥':
    case U'\n':
        return U'、';
    case U'「': case U'」': case U'『': case U'』': case U'（': case U'）': case U'(': case U')':
    case U'[': case U']': case U'【': case U'】': case U'〔': case U'〕': case U'〈': case U'〉':
    case U'《': case U'》': case U'｛': case U'｝': case U'{': case U'}': case U'"': case U'\'':
    case U'“': case U'”': case U'‘': case U'’': case U'・': case U'･': case U'/': case U'\\':
    case U'|': case U'_': case U'*': case U'#': case U'&': case U'@': case U'+': case U'=':
    case U'<': case U'>': case U'^': case U'`': case U'-': case U'—': case U'―': case U'–':
    case U'♪': case U'★': case U'☆': case U'※': case U'→': case U'←': case U'〒': case U'〜':
    case U'~': case U'○': case U'●': case U'◎': case U'△': case U'▲': case U'□': case U'■':
    case U'×': case U'÷': case U'%': case U'$': case U'€': case U'¥': case U'°': case U'℃':
    case U' ':
        return U' ';
    default:
        return 0;
    }
}

}  // namespace tavrel::reading::japanese_detail
