// Everything a request brings is checked here before any work or any write:
// form decoding, the percent fields, the pause, and paths, which must all
// resolve inside <working folder>/audio/.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavrel {

// application/x-www-form-urlencoded → first value of each key. Returns
// nullopt on a malformed escape. '+' is a blank, "%2B" a plus sign.
std::optional<std::map<std::string, std::string>> parseForm(const std::string &body);

// "+0%", "-25%", "+100%": a sign, one to three digits, a percent sign; the
// value must lie within [min, max].
std::optional<int> parsePercent(const std::string &text, int min, int max);

// Pause in milliseconds: decimal digits only, 0 … contract::pauseMaxMs.
std::optional<std::int64_t> parsePause(const std::string &text);

// Splits the joined list "a.mp3?b.mp3?" at '?', dropping empty entries.
std::vector<std::string> splitAudioList(const std::string &list);

// Resolves request paths against the audio folder. Every check works on the
// canonical form (symbolic links and ".." resolved), so a link or a
// "job/../../x" path cannot reach outside.
class PathGuard {
public:
    explicit PathGuard(std::filesystem::path workDir);

    struct Result {
        std::filesystem::path path;  // canonical folder + file name
        std::string error;           // short Chinese message; empty when fine
        bool missing = false;        // readFile: inside, but no such file
    };

    // A file to be created or replaced: its folder must exist inside the audio
    // folder; the name must end in `extension` (".mp3", ".srt").
    Result fileForWrite(const std::string &raw, const std::string &extension) const;
    // A file to be read: inside the audio folder, or missing (reported as such).
    Result fileForRead(const std::string &raw) const;
    // An existing folder inside (or equal to) the audio folder.
    Result folder(const std::string &raw) const;

    std::filesystem::path audioRoot() const { return m_workDir / "audio"; }

private:
    std::optional<std::filesystem::path> canonicalRoot(std::string &error) const;
    static std::string basicCheck(const std::string &raw);

    std::filesystem::path m_workDir;
};

// True when `inner` equals `outer` or lies below it (both canonical).
bool isInside(const std::filesystem::path &outer, const std::filesystem::path &inner);

}  // namespace tavrel
