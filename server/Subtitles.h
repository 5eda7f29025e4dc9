// Subtitle cues: where the text is cut, when each piece is heard, and the
// SRT text form (written per segment, read back and shifted when joining).
#pragma once

#include "SpeechEngine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel::srt {

// A piece of the request text, as code point indexes [begin, end).
struct TextSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string text;  // UTF-8, trimmed
};

struct Cue {
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
    std::string text;
};

// Longest cue line, in columns (a wide character, East Asian Width W or F, takes two).
constexpr int kMaxCueColumns = 40;

// UTF-8 → code points; false on malformed input (overlong forms, surrogates,
// truncated sequences).
bool decodeUtf8(const std::string &in, std::u32string &out);
std::string encodeUtf8(const std::u32string &in);

// The text a cue shows of a piece of the request: trimmed, without the comma
// a folded line break leaves at its start or after a sentence's end; empty
// when nothing in it is read aloud (marks only).
std::u32string cueText(const std::u32string &piece);

// Cues as written: each line's text as cueText() makes it; a cue left with
// no text is dropped and its time given to the cue before it (or, at the
// start, the one after it).
std::vector<Cue> tidyCues(std::vector<Cue> cues);

// One span per sentence or clause (cut after the ends of sentences, 。！？…
// and their other forms, after ；，; and at line breaks), long clauses cut
// again to at most kMaxCueColumns, preferring blanks.
std::vector<TextSpan> splitIntoSpans(const std::u32string &text);

// Times every span from the engine's word events: a cue starts where its
// first word is heard and ends where its speech fades out, before the next
// cue. `leadSamples` moves the times to where the MP3 plays them.
std::vector<Cue> timeSpans(const std::vector<TextSpan> &spans, const SynthesisResult &speech,
                           std::int64_t leadSamples, std::int64_t totalSamples);

std::string formatTime(std::int64_t ms);  // "HH:MM:SS,mmm"
// The SRT text of tidyCues(cues), numbered from 1.
std::string format(const std::vector<Cue> &cues);

// Tolerant reader: CRLF or LF, optional BOM and numbers, "," or "." before
// milliseconds; malformed blocks are dropped.
std::vector<Cue> parse(const std::string &text);

}  // namespace tavrel::srt
