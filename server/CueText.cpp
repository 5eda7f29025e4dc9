#include "CueText.h"

namespace tavrel {

bool isWideChar(char32_t c)
{
    return (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0x20000 && c <= 0x3FFFD);
}

std::string joinCueTexts(const std::vector<srt::Cue> &cues)
{
    std::u32string joined;
    for (const srt::Cue &c : cues) {
        std::u32string piece;
        if (!srt::decodeUtf8(c.text, piece))
            continue;
        for (char32_t &ch : piece)
            if (ch == U'\n' || ch == U'\r')
                ch = U' ';
        if (piece.empty())
            continue;
        if (!joined.empty() && joined.back() != U' ' && piece.front() != U' ' &&
            !(isWideChar(joined.back()) || isWideChar(piece.front())))
            joined.push_back(U' ');
        joined += piece;
    }
    return srt::encodeUtf8(joined);
}

}  // namespace tavrel
