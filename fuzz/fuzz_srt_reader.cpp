// The subtitle side: the tolerant SRT reader (it reads every segment's
// subtitles back when joining) and the text cutting that times cues.
// Cues read are ordered in themselves and, once tidied as every written
// file is, survive writing and reading back unchanged; spans lie inside the text and hold what it holds there.
#include "Subtitles.h"

#include <cstdlib>
#include <iostream>
#include <string>

using namespace tavrel;

namespace {

[[noreturn]] void fail(const std::string &what)
{
    std::cerr << "\n*** fuzz invariant broken: " << what << "\n" << std::flush;
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string raw(reinterpret_cast<const char *>(data), size);

    const auto cues = srt::parse(raw);
    for (const auto &c : cues)
        if (c.startMs < 0 || c.endMs < c.startMs)
            fail("cue times out of order: " + std::to_string(c.startMs) + " → " + std::to_string(c.endMs));
    const auto tidy = srt::tidyCues(cues);
    for (std::size_t i = 0; i < tidy.size(); ++i)
        if (tidy[i].endMs < tidy[i].startMs || tidy[i].text.empty())
            fail("tidy cue " + std::to_string(i) + " out of order or empty");
    const auto again = srt::parse(srt::format(cues));
    if (again.size() != tidy.size())
        fail("cue count changed when written and read back");
    for (std::size_t i = 0; i < tidy.size(); ++i)
        if (again[i].startMs != tidy[i].startMs || again[i].endMs != tidy[i].endMs || again[i].text != tidy[i].text)
            fail("cue " + std::to_string(i) + " changed when written and read back: \"" + tidy[i].text + "\" → \"" +
                 again[i].text + "\"");

    std::u32string text;
    if (!srt::decodeUtf8(raw, text))
        return 0;
    if (srt::encodeUtf8(text) != raw)
        fail("UTF-8 does not survive decoding and encoding");
    std::size_t previousEnd = 0;
    for (const auto &span : srt::splitIntoSpans(text)) {
        if (span.begin >= span.end || span.end > text.size() || span.begin < previousEnd)
            fail("span [" + std::to_string(span.begin) + ", " + std::to_string(span.end) + ") out of place");
        if (span.text.empty() || srt::encodeUtf8(text.substr(span.begin, span.end - span.begin)).find(span.text) ==
                                     std::string::npos)
            fail("span text \"" + span.text + "\" is not the text at its place");
        previousEnd = span.end;
    }
    return 0;
}
