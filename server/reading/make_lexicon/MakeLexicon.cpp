// tavrel_make_lexicon: converts Debian's language data into the service's
// Mandarin word list (see LexiconFile.h). Run at build time:
//
//   tavrel_make_lexicon <terra_pinyin.dict.yaml> <jieba dict.txt>
//                       <own words .tsv> <opencc t2s.json> <output>
//                       [<mainland readings .tsv> [<ibus pinyin-database main.db>]]
//
// terra_pinyin gives toned pinyin of characters and words in Traditional
// characters; OpenCC turns the keys into Simplified ones; jieba's list gives
// how often each word occurs (for segmentation) and its part of speech; our
// own table corrects and completes both. terra_pinyin follows the Taiwan
// standard first: the mainland table replaces the readings the mainland
// standard does not use, in words and characters alike. ibus-pinyin's
// database (mainland usage, Simplified, frequencies, syllables without
// tones) is the second witness: where it and terra pinyin disagree on a
// word's syllables, the terra reading it agrees with wins, and a word of
// jieba's list that terra lacks gets its syllables from it, each toned as
// its character reads that syllable.
#include "CharClass.h"
#include "LexiconFile.h"
#include "Utf8.h"

#include <opencc/SimpleConverter.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using tavrel::reading::lexfile::Entry;
using tavrel::reading::lexfile::Header;

// Empty for anything but well-formed UTF-8: such a row is skipped.
std::u32string decode(const std::string &s)
{
    std::u32string out;
    return tavrel::reading::utf8::decodeStrict(s, out) ? out : std::u32string();
}

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::string cur;
    std::istringstream in(s);
    while (std::getline(in, cur, sep))
        parts.push_back(cur);
    return parts;
}

std::vector<std::string> syllables(const std::string &reading) { return split(reading, ' '); }

bool allHan(const std::u32string &w)
{
    return !w.empty() && std::all_of(w.begin(), w.end(), textrules::isHan);
}

struct CharReading {
    std::string reading;
    double ownPercent = 0;        // weight of the character's own row
    double convertedPercent = 0;  // summed over Traditional characters that become it
    double usage = 0;    // how often words of the data read it so, by word frequency
    double percent = 0;  // the two weights together
    std::size_t order = 0;
};

struct Word {
    std::vector<std::string> readings;  // in the order the data lists them
    std::string own;                    // from our table, wins
    std::uint32_t frequency = 0;
    std::string pos;
    bool ownEntry = false;
};

// A word listed with several readings is read as the data lists it first;
// our own table settles the everyday words where that is wrong. (Preferring
// the variant with a neutral tone was tried: it lost more than it won.)
std::string chooseReading(const std::vector<std::string> &readings, std::string &alt)
{
    alt.clear();
    if (readings.empty())
        return {};
    if (readings.size() > 1)
        alt = readings[1];
    return readings[0];
}

// "zhong4" → "zhong".
std::string baseOf(const std::string &syllable)
{
    std::string b = syllable;
    while (!b.empty() && b.back() >= '0' && b.back() <= '9')
        b.pop_back();
    return b;
}

// ibus-pinyin's database keeps each syllable as an initial and a final id.
std::string ibusSyllable(int initial, int final)
{
    static const char *const initials[] = {"",  "b", "c", "ch", "d", "f", "g",  "h", "j", "k", "l", "m",
                                           "n", "p", "q", "r",  "s", "sh", "t", "w", "x", "y", "z", "zh"};
    static const char *const finals[] = {"a",  "ai", "an",  "ang", "ao",  "e",  "ei", "en",   "eng", "er", "i",
                                         "ia", "ian", "iang", "iao", "ie", "in", "ing", "iong", "iu",  "o",  "ong",
                                         "ou", "u",  "ua",  "uai", "uan", "uang", "ue", "ui",   "un",  "uo", "v"};
    if (initial < 0 || initial > 23 || final < 24 || final > 56)
        return {};
    const std::string i = initials[initial];
    std::string f = finals[final - 24];
    if (i == "n" || i == "l") {
        if (f == "ue")
            f = "ve";
    } else if (f == "v") {
        f = "u";  // ju, qu, xu, yu
    }
    if (i.empty() && (f == "i" || f == "u" || f == "v"))
        return {};
    return i + f;
}

// Every phrase of two characters or more in the database: its syllables
// without tones, the most frequent first.
bool readIbusDatabase(const char *path, std::unordered_map<std::u32string, std::vector<std::string>> &out)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    std::unordered_map<std::u32string, std::vector<std::pair<int, std::string>>> byFreq;
    for (int n = 1; n < 16; ++n) {
        std::string sql = "SELECT phrase, freq";
        for (int k = 0; k <= n; ++k)
            sql += ", s" + std::to_string(k) + ", y" + std::to_string(k);
        sql += " FROM py_phrase_" + std::to_string(n);
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            continue;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char *text = sqlite3_column_text(st, 0);
            const std::u32string phrase = decode(text ? reinterpret_cast<const char *>(text) : "");
            if (phrase.size() != static_cast<std::size_t>(n + 1) || !allHan(phrase))
                continue;
            std::string bases;
            bool ok = true;
            for (int k = 0; k <= n && ok; ++k) {
                const std::string b = ibusSyllable(sqlite3_column_int(st, 2 + 2 * k), sqlite3_column_int(st, 3 + 2 * k));
                ok = !b.empty();
                bases += (k ? " " : "") + b;
            }
            if (ok)
                byFreq[phrase].emplace_back(sqlite3_column_int(st, 1), bases);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    for (auto &[phrase, list] : byFreq) {
        std::stable_sort(list.begin(), list.end(), [](auto &a, auto &b) { return a.first > b.first; });
        auto &bases = out[phrase];
        for (auto &[f, b] : list)
            if (std::find(bases.begin(), bases.end(), b) == bases.end())
                bases.push_back(b);
    }
    return true;
}

std::string basesOf(const std::string &reading)
{
    std::string out;
    for (const std::string &s : syllables(reading))
        out += (out.empty() ? "" : " ") + baseOf(s);
    return out;
}

bool readLines(const char *path, std::vector<std::string> &lines)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return true;
}

// Our own tables: calls `row` with the tab-separated columns of each line that
// is neither empty nor a # comment. False, said on stderr with the file and
// line, when the file cannot be read or `row` refuses a line (it returns what
// was wrong, empty for a good line).
template <typename Row>
bool forEachRow(const char *path, Row row)
{
    std::vector<std::string> lines;
    if (!readLines(path, lines)) {
        std::cerr << "tavrel_make_lexicon: cannot read " << path << "\n";
        return false;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty() || lines[i][0] == '#')
            continue;
        const std::string wrong = row(split(lines[i], '\t'));
        if (!wrong.empty()) {
            std::cerr << path << ":" << i + 1 << ": " << wrong << "\n";
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 6 || argc > 8) {
        std::cerr << "usage: tavrel_make_lexicon <terra_pinyin.dict.yaml> <jieba dict.txt> <own.tsv> <t2s.json> <out>"
                     " [<mainland.tsv> [<pinyin-database main.db>]]\n";
        return 2;
    }
    std::unique_ptr<opencc::SimpleConverter> t2s;
    try {
        t2s = std::make_unique<opencc::SimpleConverter>(argv[4]);
    } catch (const std::exception &e) {
        std::cerr << "tavrel_make_lexicon: OpenCC: " << e.what() << "\n";
        return 1;
    }

    std::map<std::u32string, Word> words;
    // Character readings with their weights, merged over every Traditional
    // character that becomes the same Simplified one.
    std::map<std::u32string, std::vector<CharReading>> chars;

    std::vector<std::string> lines;
    if (!readLines(argv[1], lines)) {
        std::cerr << "tavrel_make_lexicon: cannot read " << argv[1] << "\n";
        return 1;
    }
    // Rows per character, for characters listed without weights.
    std::map<std::string, int> rowsOf;
    {
        bool inBody = false;
        for (const std::string &line : lines) {
            if (!inBody) {
                inBody = (line == "...");
                continue;
            }
            const auto tab = line.find('\t');
            if (tab != std::string::npos && decode(line.substr(0, tab)).size() == 1)
                ++rowsOf[line.substr(0, tab)];
        }
    }
    bool body = false;
    for (const std::string &line : lines) {
        if (!body) {
            body = (line == "...");
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        auto cols = split(line, '\t');
        if (cols.size() < 2 || cols[1].empty())
            continue;
        const std::u32string trad = decode(cols[0]);
        if (!allHan(trad))
            continue;
        std::u32string simp = decode(t2s->Convert(cols[0]));
        if (simp.size() != trad.size() || !allHan(simp))
            simp = trad;  // a conversion that changes the length cannot keep the syllables aligned
        if (syllables(cols[1]).size() != simp.size())
            continue;
        if (simp.size() == 1) {
            // A row without a weight shares the character's weight evenly.
            double percent = 100.0 / std::max(1, rowsOf[cols[0]]);
            if (cols.size() >= 3 && !cols[2].empty())
                percent = std::atof(cols[2].c_str());
            auto &list = chars[simp];
            auto it = std::find_if(list.begin(), list.end(), [&](auto &r) { return r.reading == cols[1]; });
            if (it == list.end()) {
                list.push_back(CharReading{cols[1], 0, 0, 0, 0, list.size()});
                it = list.end() - 1;
            }
            (simp == trad ? it->ownPercent : it->convertedPercent) += percent;
            continue;
        }
        auto &w = words[simp];
        if (std::find(w.readings.begin(), w.readings.end(), cols[1]) == w.readings.end())
            w.readings.push_back(cols[1]);
    }

    // Mainland readings first: (character, Taiwan reading) → mainland one.
    std::map<std::pair<char32_t, std::string>, std::string> mainland;
    if (argc >= 7 && !forEachRow(argv[6], [&](const std::vector<std::string> &cols) -> std::string {
            const std::u32string c = cols.empty() ? std::u32string() : decode(cols[0]);
            if (cols.size() != 3 || c.size() != 1 || !allHan(c))
                return "not a character and two readings";
            mainland[{c[0], cols[1]}] = cols[2];
            return {};
        }))
        return 1;
    std::size_t replaced = 0;
    for (auto &[key, w] : words) {
        for (std::string &reading : w.readings) {
            auto syl = syllables(reading);
            bool changed = false;
            for (std::size_t i = 0; i < key.size() && i < syl.size(); ++i) {
                const auto it = mainland.find({key[i], syl[i]});
                if (it != mainland.end()) {
                    syl[i] = it->second;
                    changed = true;
                }
            }
            if (changed) {
                reading.clear();
                for (const std::string &x : syl)
                    reading += (reading.empty() ? "" : " ") + x;
                ++replaced;
            }
        }
        // The same reading twice after the change: keep the first.
        std::vector<std::string> unique;
        for (const std::string &r : w.readings)
            if (std::find(unique.begin(), unique.end(), r) == unique.end())
                unique.push_back(r);
        w.readings = std::move(unique);
    }
    for (auto &[key, list] : chars) {
        for (CharReading &r : list) {
            const auto it = mainland.find({key[0], r.reading});
            if (it == mainland.end())
                continue;
            auto same = std::find_if(list.begin(), list.end(), [&](auto &o) { return o.reading == it->second; });
            if (same != list.end()) {
                // Both listed: the mainland one takes the weight of the other.
                same->ownPercent += r.ownPercent;
                same->convertedPercent += r.convertedPercent;
                r.ownPercent = r.convertedPercent = 0;
                r.reading.clear();
            } else {
                r.reading = it->second;
            }
            ++replaced;
        }
        list.erase(std::remove_if(list.begin(), list.end(), [](auto &r) { return r.reading.empty(); }), list.end());
    }

    lines.clear();
    if (!readLines(argv[2], lines)) {
        std::cerr << "tavrel_make_lexicon: cannot read " << argv[2] << "\n";
        return 1;
    }
    for (const std::string &line : lines) {
        auto cols = split(line, ' ');
        if (cols.size() < 2)
            continue;
        const std::u32string key = decode(cols[0]);
        if (!allHan(key) || key.size() > 12)
            continue;
        auto &w = words[key];
        w.frequency = static_cast<std::uint32_t>(std::max(1L, std::atol(cols[1].c_str())));
        if (cols.size() >= 3)
            w.pos = cols[2];
    }

    // A character's reading when no word decides it: the weight the data
    // gives, else the reading its words use most (many characters are listed
    // with several readings and no weights: 气 qi3, qi4).
    for (const auto &[key, w] : words) {
        if (key.size() < 2 || w.readings.empty())
            continue;
        const double f = w.frequency ? w.frequency : 1;
        const auto syl = syllables(w.readings.front());
        for (std::size_t i = 0; i < key.size() && i < syl.size(); ++i) {
            auto it = chars.find(key.substr(i, 1));
            if (it == chars.end())
                continue;
            for (CharReading &r : it->second)
                if (r.reading == syl[i])
                    r.usage += f;
        }
    }
    for (auto &[key, list] : chars) {
        // A Simplified character that is also a rare Traditional one (开, 台)
        // has that one's readings in its own row; the readings of the
        // Traditional characters that become it (開 kai1, 臺 tai2) count more.
        const bool converted = std::any_of(list.begin(), list.end(), [](auto &r) { return r.convertedPercent > 0; });
        for (CharReading &r : list)
            r.percent = (converted ? 0.3 : 1.0) * r.ownPercent + r.convertedPercent;
        std::stable_sort(list.begin(), list.end(), [](const CharReading &a, const CharReading &b) {
            if (a.percent != b.percent)
                return a.percent > b.percent;
            if (a.usage != b.usage)
                return a.usage > b.usage;
            return a.order < b.order;
        });
        auto &w = words[key];
        for (auto &r : list)
            w.readings.push_back(r.reading);
    }

    // The second witness. Terra's readings of a word are kept in order, but
    // the first one whose syllables the database gives comes first; a word
    // without any reading is composed from the database's syllables.
    std::size_t agreed = 0, reordered = 0, composed = 0;
    if (argc == 8) {
        std::unordered_map<std::u32string, std::vector<std::string>> ibus;
        if (!readIbusDatabase(argv[7], ibus)) {
            std::cerr << "tavrel_make_lexicon: cannot read " << argv[7] << "\n";
            return 1;
        }
        for (auto &[key, w] : words) {
            if (key.size() < 2)
                continue;
            const auto it = ibus.find(key);
            if (it == ibus.end())
                continue;
            const std::vector<std::string> &witness = it->second;
            if (!w.readings.empty()) {
                if (basesOf(w.readings.front()) == witness.front()) {
                    ++agreed;
                    continue;
                }
                // Only the database's most frequent syllables move a reading
                // up; a rarer variant of its own is no evidence.
                const auto match = std::find_if(w.readings.begin(), w.readings.end(),
                                                [&](const std::string &r) { return basesOf(r) == witness.front(); });
                if (match != w.readings.end()) {
                    std::rotate(w.readings.begin(), match, match + 1);
                    ++reordered;
                }
                continue;
            }
            // Each character toned as its own readings give that syllable,
            // only where that settles the tone too. Characters whose tone
            // the context decides (一 不 and the light particles and
            // complements) are left to the rules: the word is read character
            // by character as before.
            // 血 too: the database follows everyday speech (出血 chu xie), the
            // standard says xue4 in words.
            static const std::u32string contextual = U"一不的了着得地过个上下来去子头们么里血";
            if (std::any_of(key.begin(), key.end(),
                            [](char32_t c) { return contextual.find(c) != std::u32string::npos; }))
                continue;
            const auto bases = syllables(witness.front());
            std::string reading;
            bool ok = bases.size() == key.size();
            for (std::size_t i = 0; ok && i < key.size(); ++i) {
                const auto c = words.find(key.substr(i, 1));
                ok = false;
                if (c == words.end())
                    break;
                std::string only;
                int matching = 0;
                for (const std::string &r : c->second.readings)
                    if (baseOf(r) == bases[i]) {
                        ++matching;
                        only = r;
                    }
                if (matching == 1) {
                    reading += (reading.empty() ? "" : " ") + only;
                    ok = true;
                }
            }
            if (ok) {
                w.readings.push_back(reading);
                ++composed;
            }
        }
    }

    if (!forEachRow(argv[3], [&](const std::vector<std::string> &cols) -> std::string {
            const std::u32string key = cols.empty() ? std::u32string() : decode(cols[0]);
            if (cols.size() < 2 || !allHan(key) || syllables(cols[1]).size() != key.size())
                return "not a word and its syllables";
            auto &w = words[key];
            w.own = cols[1];
            w.ownEntry = true;
            if (cols.size() >= 3 && !cols[2].empty())
                w.frequency = static_cast<std::uint32_t>(std::atol(cols[2].c_str()));
            if (cols.size() >= 4 && !cols[3].empty())
                w.pos = cols[3];
            if (w.frequency == 0)
                w.frequency = 2000;  // our words are ordinary words: let them win segmentation
            return {};
        }))
        return 1;

    // Write.
    std::vector<Entry> entries;
    std::u32string keys;
    std::string readings(1, '\0');  // offset 0 means "none"
    double total = 0;
    std::uint32_t maxKey = 1;
    for (auto &[key, w] : words) {
        Entry e{};
        e.keyOffset = static_cast<std::uint32_t>(keys.size());
        e.keyLength = static_cast<std::uint16_t>(key.size());
        keys += key;
        std::string alt;
        const std::string reading = w.ownEntry ? w.own : chooseReading(w.readings, alt);
        if (!reading.empty()) {
            e.flags |= tavrel::reading::lexfile::kHasReading;
            e.readingOffset = static_cast<std::uint32_t>(readings.size());
            e.readingLength = static_cast<std::uint16_t>(reading.size());
            readings += reading;
        }
        if (!alt.empty()) {
            e.altOffset = static_cast<std::uint32_t>(readings.size());
            e.altLength = static_cast<std::uint16_t>(alt.size());
            readings += alt;
        }
        if (w.ownEntry)
            e.flags |= tavrel::reading::lexfile::kOwnTable;
        // Words of the pinyin data that the frequency list lacks are rare.
        e.frequency = w.frequency ? w.frequency : (key.size() == 1 ? 1 : 3);
        e.pos[0] = w.pos.size() > 0 ? w.pos[0] : ' ';
        e.pos[1] = w.pos.size() > 1 ? w.pos[1] : ' ';
        total += e.frequency;
        maxKey = std::max<std::uint32_t>(maxKey, e.keyLength);
        entries.push_back(e);
    }

    Header h{};
    std::memcpy(h.magic, tavrel::reading::lexfile::kMagic, sizeof h.magic);
    h.entryCount = static_cast<std::uint32_t>(entries.size());
    h.keyUnits = static_cast<std::uint32_t>(keys.size());
    h.readingBytes = static_cast<std::uint32_t>(readings.size());
    h.maxKeyLength = maxKey;
    h.logTotal = std::log(total);

    const std::string tmp = std::string(argv[5]) + ".tmp";
    std::FILE *out = std::fopen(tmp.c_str(), "wb");
    bool ok = out && std::fwrite(&h, sizeof h, 1, out) == 1 &&
              std::fwrite(entries.data(), sizeof(Entry), entries.size(), out) == entries.size() &&
              std::fwrite(keys.data(), sizeof(char32_t), keys.size(), out) == keys.size() &&
              std::fwrite(readings.data(), 1, readings.size(), out) == readings.size();
    if (out)
        ok = (std::fclose(out) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), argv[5]) != 0) {
        std::cerr << "tavrel_make_lexicon: cannot write " << argv[5] << "\n";
        std::remove(tmp.c_str());
        return 1;
    }
    std::cout << "tavrel_make_lexicon: " << entries.size() << " entries, " << replaced
              << " readings changed to the mainland standard; the pinyin database agreed on " << agreed
              << " words, reordered " << reordered << ", composed " << composed << "\n";
    return 0;
}
