// Shared pieces of the service's fuzz targets: a temporary working folder
// with fixtures (valid segment files, links that lead outside the audio
// folder, canaries beside it), a record of everything outside audio/ to
// prove nothing was written there, and a quick stand-in speech engine.
#pragma once

#include "SpeechEngine.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tavrel::fuzz {

namespace fs = std::filesystem;

// Reports a broken invariant and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const std::string &what);

// <root>/parent-canary.txt
// <root>/work/canary/keep.mp3              beside the audio folder
// <root>/work/audio/job/a.mp3, a.srt       a valid segment and its subtitles
// <root>/work/audio/job/bad.mp3            not an MP3 at all
// <root>/work/audio/job/link.mp3           → ../../canary/keep.mp3
// <root>/work/audio/job/dangling.srt       → ../../canary/new.srt (missing)
// <root>/work/audio/out                    → ../canary
// <root>/work/audio/job/up                 → ../../..  (the root)
class Sandbox {
public:
    Sandbox();
    ~Sandbox();

    const fs::path &root() const { return m_root; }
    fs::path work() const { return m_root / "work"; }
    fs::path audio() const { return m_root / "work" / "audio"; }
    fs::path job() const { return m_root / "work" / "audio" / "job"; }

    // Aborts if anything outside <work>/audio/ differs from the start:
    // an entry added, removed, resized or touched (folders included).
    void checkOutsideUntouched() const;
    // Puts audio/ back as it was: extra entries removed, fixtures rewritten.
    void restoreAudio() const;

private:
    struct Fixture {
        fs::path rel;         // below the root
        std::string content;  // file content, or the link's target
        bool link = false;
    };
    using Snapshot = std::map<std::string, std::string>;
    Snapshot outsideAudio() const;
    void writeFixture(const Fixture &f) const;

    fs::path m_root;
    std::vector<Fixture> m_fixtures;
    Snapshot m_outside;
};

std::string readFile(const fs::path &p);
void writeFile(const fs::path &p, const std::string &data);

// Some tenths of a second of a tone in the service's own MP3 format.
std::string fixedFormatMp3();

// Answers at once with a short tone and one word mark per word.
class StandInEngine : public SpeechEngine {
public:
    StandInEngine();
    const std::vector<VoiceInfo> &voices() const override { return m_voices; }
    bool hasVoice(const std::string &name) const override;
    SynthesisResult synthesize(const std::string &text, const std::string &voice, int ratePercent) override;
    SynthesisResult synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                               int ratePercent) override;
    std::string phonemes(const std::vector<reading::EngineRun> &runs, const std::string &voice) override;

private:
    std::vector<VoiceInfo> m_voices;
};

}  // namespace tavrel::fuzz
