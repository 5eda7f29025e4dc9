// The reading front end on arbitrary text: every locale's path, every
// kind of input. After each input: no crash, the engine input holds no Han
// character for the Chinese voices (they must never reach espeak's own
// Mandarin reading), every run's origins stand for code points of the input.
//
// Input: byte 0 chooses the locale; the rest is the text, as the service
// receives it (decoded leniently, so broken UTF-8 reaches the stages too).
#include "CharClass.h"
#include "FrontEnd.h"
#include "Utf8.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace tavrel::reading;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_reading: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const FrontEnd frontEnd(TAVREL_DATA_DIR);
    static const char *locales[] = {"zh-CN", "zh-TW", "ja-JP", "en-US", "zh-HK", "ru-RU"};
    if (size == 0)
        return 0;
    const std::string locale = locales[data[0] % 6];
    const std::u32string text = utf8::decode(std::string(reinterpret_cast<const char *>(data) + 1, size - 1));
    const Prepared p = frontEnd.prepare(text, locale);
    for (const EngineRun &run : p.runs) {
        const std::u32string cps = utf8::decode(run.text);
        if (cps.size() != run.origin.size())
            fail("a run's origins do not match its text");
        for (std::size_t o : run.origin)
            if (o >= text.size())
                fail("an origin outside the input");
        if (locale.rfind("zh-CN", 0) == 0 || locale == "zh-TW")
            for (char32_t c : cps)
                if (textrules::isHan(c))
                    fail("Han characters in the engine input of a Mandarin voice");
    }
    return 0;
}
