#include "Subtitles.h"

#include "CharClass.h"
#include "Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrel::srt {

namespace {

// The end of a sentence (。！？…, see textrules::sentenceFinal), of a
// clause, or of a line.
bool isClauseEnd(char32_t c)
{
    switch (c) {
    case U'；': case U'，': case U';': case U'\n': case U'\r':
        return true;
    default:
        return textrules::isSentenceFinal(c);
    }
}

// What a full stop inside a number or a name runs on into: a letter or a
// digit, ASCII or full-width.
bool continuesWord(char32_t c)
{
    if (c >= 0xFF10 && c <= 0xFF5A)
        c -= 0xFF10 - U'0';
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

bool isSpace(char32_t c)
{
    return c == U' ' || c == U'\t' || c == U'\n' || c == U'\r' || c == 0x3000 || c == 0xA0;
}

// Closing marks that belong to the clause they end.
bool isCloser(char32_t c)
{
    switch (c) {
    case U'"': case U'\'': case U')': case U']': case U'”': case U'’': case U'）':
    case U'」': case U'』': case U'】': case U'》': case U'〉':
        return true;
    default:
        return false;
    }
}

// Letters, digits and ideographs: something the engine will say.
bool isSpeakable(char32_t c)
{
    if (c < 0x80)
        return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
    if (isSpace(c))
        return false;
    // Punctuation blocks: general, CJK symbols, full-width forms' punctuation.
    if ((c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) ||
        (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) ||
        (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65) ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0x80 && c <= 0xBF))
        return false;
    return true;
}

bool hasSpeakable(const std::u32string &t, std::size_t b, std::size_t e)
{
    for (std::size_t i = b; i < e; ++i)
        if (isSpeakable(t[i]))
            return true;
    return false;
}

TextSpan makeSpan(const std::u32string &t, std::size_t b, std::size_t e)
{
    TextSpan s;
    s.begin = b;
    s.end = e;
    s.text = encodeUtf8(cueText(t.substr(b, e - b)));
    return s;
}

// Cuts [b, e) into pieces of at most kMaxCueColumns columns.
void cutLong(const std::u32string &t, std::size_t b, std::size_t e, std::vector<TextSpan> &out)
{
    while (b < e) {
        int cols = 0;
        std::size_t i = b;
        std::size_t lastBlank = std::string::npos;
        while (i < e) {
            const int w = textrules::isWide(t[i]) ? 2 : 1;
            if (cols + w > kMaxCueColumns)
                break;
            cols += w;
            if (isSpace(t[i]) || t[i] == U'、' || t[i] == U'：' || t[i] == U':' || t[i] == U',')
                lastBlank = i;
            ++i;
        }
        std::size_t cut = i;
        if (i < e && lastBlank != std::string::npos && lastBlank > b + (i - b) / 3)
            cut = lastBlank + 1;  // a blank or a pause mark in the last two thirds
        out.push_back(makeSpan(t, b, cut));
        b = cut;
    }
}

}  // namespace

std::u32string cueText(const std::u32string &text)
{
    // The comma a folded line break leaves shows on screen as a stray mark:
    // none at the start, none after the end of a sentence.
    constexpr char32_t foldingComma = U'，';
    std::size_t b = 0, e = text.size();
    while (b < e && (isSpace(text[b]) || text[b] == foldingComma))
        ++b;
    for (;;) {
        while (e > b && isSpace(text[e - 1]))
            --e;
        if (e == b || text[e - 1] != foldingComma)
            break;
        std::size_t before = e - 1;
        while (before > b && (isSpace(text[before - 1]) || text[before - 1] == foldingComma || isCloser(text[before - 1])))
            --before;
        if (before == b || !textrules::isSentenceFinal(text[before - 1]))
            break;
        --e;
    }
    if (!hasSpeakable(text, b, e))
        return std::u32string();
    return text.substr(b, e - b);
}

std::vector<Cue> tidyCues(std::vector<Cue> cues)
{
    std::vector<Cue> kept;
    kept.reserve(cues.size());
    std::int64_t orphanStartMs = -1; // a dropped cue before the first kept one
    for (Cue &cue : cues) {
        std::u32string text;
        if (decodeUtf8(cue.text, text)) {
            // Each line on its own: a cue may hold several.
            std::u32string cleaned;
            std::size_t from = 0;
            while (from <= text.size()) {
                std::size_t nl = text.find(U'\n', from);
                if (nl == std::u32string::npos)
                    nl = text.size();
                const std::u32string line = cueText(text.substr(from, nl - from));
                if (!line.empty()) {
                    if (!cleaned.empty())
                        cleaned.push_back(U'\n');
                    cleaned += line;
                }
                from = nl + 1;
            }
            cue.text = encodeUtf8(cleaned);
        }
        if (cue.text.empty()) {
            // Nothing to read: its time goes to the cue before it, or after it.
            if (!kept.empty())
                kept.back().endMs = std::max(kept.back().endMs, cue.endMs);
            else if (orphanStartMs < 0)
                orphanStartMs = cue.startMs;
            continue;
        }
        if (orphanStartMs >= 0) {
            cue.startMs = std::min(cue.startMs, orphanStartMs);
            orphanStartMs = -1;
        }
        kept.push_back(std::move(cue));
    }
    return kept;
}

bool decodeUtf8(const std::string &in, std::u32string &out)
{
    return reading::utf8::decodeStrict(in, out);
}

std::string encodeUtf8(const std::u32string &in)
{
    return reading::utf8::encode(in);
}

std::vector<TextSpan> splitIntoSpans(const std::u32string &t)
{
    // First the clauses.
    std::vector<std::pair<std::size_t, std::size_t>> clauses;
    std::size_t start = 0;
    const std::size_t n = t.size();
    for (std::size_t i = 0; i < n; ++i) {
        bool end = isClauseEnd(t[i]);
        // A full stop ends a sentence only when no letter or digit follows it
        // directly: "3.14", "３．１４" and "www.example.org" stay whole.
        if (t[i] == U'.' || t[i] == U'．')
            end = (i + 1 == n) || !continuesWord(t[i + 1]);
        if (!end)
            continue;
        std::size_t j = i + 1;
        while (j < n && (isClauseEnd(t[j]) || isCloser(t[j]) || isSpace(t[j])))
            ++j;
        clauses.emplace_back(start, j);
        start = j;
        i = j - 1;
    }
    if (start < n)
        clauses.emplace_back(start, n);

    // Pieces with nothing to say (a stray mark) join their neighbour.
    std::vector<std::pair<std::size_t, std::size_t>> merged;
    for (auto c : clauses) {
        if (!hasSpeakable(t, c.first, c.second) && !merged.empty())
            merged.back().second = c.second;
        else if (!merged.empty() && !hasSpeakable(t, merged.back().first, merged.back().second))
            merged.back().second = c.second;
        else
            merged.push_back(c);
    }

    std::vector<TextSpan> spans;
    for (auto c : merged) {
        if (!hasSpeakable(t, c.first, c.second))
            continue;
        cutLong(t, c.first, c.second, spans);
    }
    // A cut may leave a piece of blanks or marks only; fold it into the one
    // before, or, at the very start (a long run of blank lines), into the
    // one after: a cue without words would be an empty subtitle.
    std::vector<TextSpan> out;
    std::size_t leading = std::string::npos;
    for (auto &s : spans) {
        if (!hasSpeakable(t, s.begin, s.end)) {
            if (!out.empty())
                out.back() = makeSpan(t, out.back().begin, s.end);
            else if (leading == std::string::npos)
                leading = s.begin;
            continue;
        }
        if (leading != std::string::npos) {
            s = makeSpan(t, leading, s.end);
            leading = std::string::npos;
        }
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<Cue> timeSpans(const std::vector<TextSpan> &spans, const SynthesisResult &speech,
                           std::int64_t leadSamples, std::int64_t totalSamples)
{
    const int rate = speech.sampleRate > 0 ? speech.sampleRate : 22050;
    const auto &pcm = speech.pcm;
    const std::int64_t pcmSize = static_cast<std::int64_t>(pcm.size());

    // Start sample of each span: its first word event.
    std::vector<std::int64_t> starts(spans.size(), -1);
    for (std::size_t k = 0; k < spans.size(); ++k) {
        for (const WordMark &w : speech.words) {
            if (w.charIndex >= spans[k].begin && w.charIndex < spans[k].end) {
                starts[k] = std::clamp<std::int64_t>(w.sample, 0, pcmSize);
                break;
            }
        }
    }

    auto toMs = [rate](std::int64_t samples) {
        return static_cast<std::int64_t>(std::llround(samples * 1000.0 / rate));
    };

    // Speech fades out where 10 ms windows fall below about -40 dBFS.
    const std::int64_t window = rate / 100;
    auto loud = [&](std::int64_t from) {
        const std::int64_t to = std::min(from + window, pcmSize);
        double sum = 0;
        for (std::int64_t i = from; i < to; ++i)
            sum += static_cast<double>(pcm[static_cast<std::size_t>(i)]) * pcm[static_cast<std::size_t>(i)];
        return to > from && std::sqrt(sum / static_cast<double>(to - from)) > 300.0;
    };

    // A word event can come at the start of the pause before its sentence;
    // the cue starts where the word is heard.
    for (std::size_t k = 0; k < spans.size(); ++k) {
        if (starts[k] < 0)
            continue;
        std::int64_t limit = pcmSize;
        for (std::size_t m = k + 1; m < spans.size(); ++m)
            if (starts[m] >= 0) {
                limit = starts[m];
                break;
            }
        std::int64_t s = starts[k];
        while (s + window <= limit && !loud(s))
            s += window;
        if (s + window <= limit)
            starts[k] = s;
    }

    std::vector<Cue> cues;
    for (std::size_t k = 0; k < spans.size(); ++k) {
        if (starts[k] < 0 || spans[k].text.empty())
            continue;
        std::int64_t next = pcmSize;
        for (std::size_t m = k + 1; m < spans.size(); ++m)
            if (starts[m] >= 0) {
                next = std::max(starts[m], starts[k]);
                break;
            }
        std::int64_t end = next;
        while (end - window > starts[k] && !loud(end - window))
            end -= window;
        end = std::min(next, end + window);  // keep the last window of sound
        if (end <= starts[k])
            end = std::min(next, starts[k] + window);

        Cue cue;
        cue.startMs = toMs(starts[k] + leadSamples);
        std::int64_t endSample = end + leadSamples;
        if (totalSamples > 0)
            endSample = std::min(endSample, totalSamples);
        cue.endMs = toMs(endSample);
        if (cue.endMs <= cue.startMs)
            cue.endMs = cue.startMs + 1;
        cue.text = spans[k].text;
        cues.push_back(std::move(cue));
    }
    return cues;
}

std::string formatTime(std::int64_t ms)
{
    if (ms < 0)
        ms = 0;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld,%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return buf;
}

std::string format(const std::vector<Cue> &cues)
{
    std::string out;
    int n = 0;
    for (const Cue &c : tidyCues(cues)) {
        out += std::to_string(++n);
        out += '\n';
        out += formatTime(c.startMs);
        out += " --> ";
        out += formatTime(c.endMs);
        out += '\n';
        out += c.text;
        out += "\n\n";
    }
    return out;
}

namespace {

// "HH:MM:SS,mmm" (hours any width) at the start of `s`; advances `pos`.
bool parseTime(const std::string &s, std::size_t &pos, std::int64_t &ms)
{
    auto number = [&](std::int64_t &v, std::size_t minDigits, std::size_t maxDigits) {
        std::size_t d = 0;
        v = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && d < maxDigits) {
            v = v * 10 + (s[pos] - '0');
            ++pos;
            ++d;
        }
        return d >= minDigits;
    };
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
    std::int64_t h, m, sec, milli;
    if (!number(h, 1, 6) || pos >= s.size() || s[pos++] != ':')
        return false;
    if (!number(m, 1, 2) || m > 59 || pos >= s.size() || s[pos++] != ':')
        return false;
    if (!number(sec, 1, 2) || sec > 59 || pos >= s.size() || (s[pos] != ',' && s[pos] != '.'))
        return false;
    ++pos;
    const std::size_t before = pos;
    if (!number(milli, 1, 3))
        return false;
    for (std::size_t d = pos - before; d < 3; ++d)
        milli *= 10;
    ms = ((h * 60 + m) * 60 + sec) * 1000 + milli;
    return true;
}

}  // namespace

std::vector<Cue> parse(const std::string &raw)
{
    std::string text;
    text.reserve(raw.size());
    std::size_t from = (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) ? 3 : 0;
    for (std::size_t i = from; i < raw.size(); ++i)
        if (raw[i] != '\r')
            text += raw[i];

    std::vector<std::string> lines;
    std::size_t p = 0;
    while (p <= text.size()) {
        std::size_t nl = text.find('\n', p);
        if (nl == std::string::npos)
            nl = text.size();
        lines.push_back(text.substr(p, nl - p));
        p = nl + 1;
    }

    std::vector<Cue> cues;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        const std::size_t arrow = line.find("-->");
        if (arrow == std::string::npos)
            continue;
        std::size_t pos = 0;
        std::int64_t a, b;
        const std::string left = line.substr(0, arrow);
        if (!parseTime(left, pos, a))
            continue;
        pos = arrow + 3;
        if (!parseTime(line, pos, b))
            continue;
        Cue cue;
        cue.startMs = a;
        cue.endMs = std::max(a, b);
        std::size_t j = i + 1;
        for (; j < lines.size() && !lines[j].empty(); ++j) {
            if (lines[j].find("-->") != std::string::npos)
                break;
            if (!cue.text.empty())
                cue.text += '\n';
            cue.text += lines[j];
        }
        // A bare number right before the next time line is that cue's index.
        if (j < lines.size() && !cue.text.empty() && lines[j].find("-->") != std::string::npos) {
            auto nl = cue.text.rfind('\n');
            std::string last = nl == std::string::npos ? cue.text : cue.text.substr(nl + 1);
            if (!last.empty() && last.find_first_not_of("0123456789") == std::string::npos)
                cue.text = nl == std::string::npos ? std::string() : cue.text.substr(0, nl);
        }
        cues.push_back(std::move(cue));
        i = j - 1;
    }
    return cues;
}

}  // namespace tavrel::srt
