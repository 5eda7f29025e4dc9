#include "LexiconLine.h"

#include "CharClass.h"
#include "Pinyin.h"
#include "TextUtf8.h"

#include <algorithm>

namespace textrules::lexicon {

namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

bool isAsciiBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool hasKana(std::string_view text)
{
    const std::u32string cps = utf8::decode(std::string(text));
    return std::any_of(cps.begin(), cps.end(), isKana);
}

// The word a line sets and whether its reading is kana, as the writer
// matches lines: an empty word for blank lines, comments and lines without
// a tab. Lines that are not UTF-8 have a word too, so that a broken line
// for the word is replaced rather than left to confuse.
struct Key {
    std::string_view word;
    bool kana = false;
};

Key keyOf(std::string_view body)
{
    const std::string_view content = trim(body);
    if (content.empty() || content.front() == '#')
        return {};
    const std::size_t tab = body.find('\t');
    if (tab == std::string_view::npos)
        return {};
    return {trim(body.substr(0, tab)), hasKana(body.substr(tab + 1))};
}

}  // namespace

std::string_view trim(std::string_view s)
{
    for (;;) {
        if (!s.empty() && isAsciiBlank(s.front()))
            s.remove_prefix(1);
        else if (s.substr(0, kIdeographicSpace.size()) == kIdeographicSpace)
            s.remove_prefix(kIdeographicSpace.size());
        else
            break;
    }
    for (;;) {
        if (!s.empty() && isAsciiBlank(s.back()))
            s.remove_suffix(1);
        else if (s.size() >= kIdeographicSpace.size() &&
                 s.substr(s.size() - kIdeographicSpace.size()) == kIdeographicSpace)
            s.remove_suffix(kIdeographicSpace.size());
        else
            break;
    }
    return s;
}

std::string kanaFault(std::u32string_view reading)
{
    if (reading.empty())
        return "读音为空";
    for (const char32_t c : reading)
        if (!isKana(c))
            return "假名读音只能包含平假名、片假名和“ー”：" + utf8::encode(c);
    return {};
}

Line parseLine(std::string_view text)
{
    Line line;
    std::u32string cps;
    if (!utf8::decodeStrict(text, cps)) {
        line.kind = Line::Kind::Bad;
        line.reason = "不是有效的 UTF-8 文本";
        return line;
    }
    const std::string_view content = trim(text);
    if (content.empty())
        return line;
    if (content.front() == '#') {
        line.kind = Line::Kind::Comment;
        return line;
    }

    line.kind = Line::Kind::Bad;
    const std::size_t tab = text.find('\t');
    if (tab == std::string_view::npos) {
        line.reason = "缺少制表符：每行应为“词<Tab>读音”";
        return line;
    }
    const std::string_view word = trim(text.substr(0, tab));
    const std::string_view reading = trim(text.substr(tab + 1));
    if (word.empty()) {
        line.reason = "词为空";
        return line;
    }
    line.word = std::string(word);
    if (reading.empty()) {
        line.reason = "读音为空";
        return line;
    }

    const std::u32string wordCps = utf8::decode(std::string(word));
    const std::u32string readingCps = utf8::decode(std::string(reading));
    line.kana = std::any_of(readingCps.begin(), readingCps.end(), isKana);
    if (line.kana) {
        line.reason = kanaFault(readingCps);
        if (!line.reason.empty())
            return line;
    } else {
        auto syllables = pinyin::checkWordReading(wordCps, readingCps, "词", false, &line.reason);
        if (!syllables)
            return line;
        line.syllables = std::move(*syllables);
    }
    line.reading = std::string(reading);
    line.kind = Line::Kind::Entry;
    return line;
}

std::string withEntry(std::string_view content, std::string_view word, std::string_view reading)
{
    const std::string_view wanted = trim(word);
    const bool kana = hasKana(reading);
    const std::string line = std::string(wanted) + '\t' + std::string(trim(reading));

    std::string out;
    out.reserve(content.size() + line.size() + 2);
    std::string_view rest = content;
    if (rest.substr(0, kBom.size()) == kBom) {
        out += kBom;
        rest.remove_prefix(kBom.size());
    }
    // New lines end the way the file's first line does.
    const std::size_t firstBreak = rest.find('\n');
    const std::string_view eol =
        firstBreak != std::string_view::npos && firstBreak > 0 && rest[firstBreak - 1] == '\r' ? "\r\n" : "\n";

    bool placed = false;
    while (!rest.empty()) {
        const std::size_t lineBreak = rest.find('\n');
        const std::size_t length = lineBreak == std::string_view::npos ? rest.size() : lineBreak + 1;
        const std::string_view whole = rest.substr(0, length);
        rest.remove_prefix(length);
        std::string_view body = whole;
        if (!body.empty() && body.back() == '\n')
            body.remove_suffix(1);
        if (!body.empty() && body.back() == '\r')
            body.remove_suffix(1);

        const Key key = keyOf(body);
        if (key.word.empty() || key.word != wanted || key.kana != kana) {
            out += whole;
        } else if (!placed) {
            // In the old line's place, with the old line's own ending.
            out += line;
            out += whole.substr(body.size());
            placed = true;
        }
        // Later lines for the same word would win in the service: they go.
    }
    if (!placed) {
        if (!out.empty() && out.back() != '\n' && out != kBom)
            out += eol;
        out += line;
        out += eol;
    }
    return out;
}

std::string refusal(std::string_view word, std::string_view reading)
{
    for (const std::string_view text : {word, reading})
        if (text.find_first_of("\t\n\r") != std::string_view::npos)
            return "词和读音中不能有制表符或换行";
    if (trim(word).empty() || trim(reading).empty())
        return "词和读音都不能为空";
    if (trim(word).front() == '#')
        return "词不能以“#”开头，那样的行是注释";
    const Line line = parseLine(std::string(trim(word)) + '\t' + std::string(trim(reading)));
    return line.kind == Line::Kind::Entry ? std::string() : line.reason;
}

}  // namespace textrules::lexicon
