#include "CueText.h"

#include "CharClass.h"

namespace tavrel {

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
        piece = srt::cueText(piece);
        if (piece.empty())
            continue;
        if (!joined.empty() && joined.back() != U' ' && piece.front() != U' ' &&
            !(textrules::isWide(joined.back()) || textrules::isWide(piece.front())))
            joined.push_back(U' ');
        joined += piece;
    }
    return srt::encodeUtf8(joined);
}

}  // namespace tavrel
