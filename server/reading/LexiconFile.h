// The on-disk form of the Mandarin word list, written at build time by
// tavrel_make_lexicon and read by the service at start. One file, read in
// one go and searched in place: no parsing and no allocation per entry, so
// the service listens within milliseconds of starting.
//
//   Header
//   Entry[entryCount]            sorted by key (code point order)
//   char32_t keys[keyUnits]
//   char readings[readingBytes]  space-separated numbered pinyin
#pragma once

#include <cstdint>

namespace tavrel::reading::lexfile {

constexpr char kMagic[8] = {'T', 'V', 'L', 'X', '0', '0', '0', '2'};

struct Header {
    char magic[8];
    std::uint32_t entryCount;
    std::uint32_t keyUnits;
    std::uint32_t readingBytes;
    std::uint32_t maxKeyLength;  // longest key, in code points
    double logTotal;             // log of the sum of all frequencies
};

enum EntryFlags : std::uint8_t {
    kHasReading = 1,  // otherwise the word is read character by character
    kOwnTable = 2,    // from the project's own corrections
};

struct Entry {
    std::uint32_t keyOffset;     // in code points
    std::uint32_t readingOffset; // in bytes
    std::uint32_t altOffset;     // a second reading (e.g. Taiwan's), or 0
    std::uint32_t frequency;
    std::uint16_t keyLength;
    std::uint16_t readingLength;
    std::uint16_t altLength;
    char pos[2];                 // part of speech, two letters ("v", "n", "uj" …), blank-padded
    std::uint8_t flags;
    std::uint8_t reserved;
};

}  // namespace tavrel::reading::lexfile
