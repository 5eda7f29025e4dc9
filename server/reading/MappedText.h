// Text on its way through the reading front end, with the place every code
// point came from: origin[i] is the index of the code point of the request
// text that output code point i stands for. Subtitles and word marks are
// mapped back to the request text through it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrel::reading {

struct MappedText {
    std::u32string text;
    std::vector<std::size_t> origin;  // same length as text

    static MappedText identity(const std::u32string &s)
    {
        MappedText m;
        m.text = s;
        m.origin.resize(s.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            m.origin[i] = i;
        return m;
    }

    void append(char32_t c, std::size_t from)
    {
        text.push_back(c);
        origin.push_back(from);
    }
    // Every code point of `s` stands for the one source code point `from`.
    void append(const std::u32string &s, std::size_t from)
    {
        text += s;
        origin.insert(origin.end(), s.size(), from);
    }
    std::size_t size() const { return text.size(); }
};

}  // namespace tavrel::reading
