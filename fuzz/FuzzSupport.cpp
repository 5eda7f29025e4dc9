#include "FuzzSupport.h"

#include "Mp3Codec.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include <unistd.h>

namespace tavrel::fuzz {

void fail(const std::string &what)
{
    std::cerr << "\n*** fuzz invariant broken: " << what << "\n" << std::flush;
    std::abort();
}

std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path &p, const std::string &data)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string fixedFormatMp3()
{
    std::vector<std::int16_t> pcm(mp3::kSampleRate / 5);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * double(i) / mp3::kSampleRate));
    mp3::Encoded enc;
    if (!mp3::encode(pcm.data(), pcm.size(), mp3::kSampleRate, enc))
        fail("cannot encode the MP3 fixture");
    return std::string(enc.bytes.begin(), enc.bytes.end());
}

Sandbox::Sandbox()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumo-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        fail("mkdtemp failed");
    m_root = fs::canonical(tmpl);
    fs::create_directories(job());
    fs::create_directories(work() / "canary");
    writeFile(m_root / "parent-canary.txt", "parent");
    writeFile(work() / "canary" / "keep.mp3", fixedFormatMp3());

    m_fixtures = {
        {"work/audio/job/a.mp3", fixedFormatMp3(), false},
        {"work/audio/job/a.srt", "1\n00:00:00,000 --> 00:00:00,150\n你好\n\n", false},
        {"work/audio/job/bad.mp3", "not an mp3 file", false},
        {"work/audio/job/link.mp3", "../../canary/keep.mp3", true},
        {"work/audio/job/dangling.srt", "../../canary/new.srt", true},
        {"work/audio/out", "../canary", true},
        {"work/audio/job/up", "../../..", true},
    };
    for (const Fixture &f : m_fixtures)
        writeFixture(f);
    m_outside = outsideAudio();
}

Sandbox::~Sandbox()
{
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

void Sandbox::writeFixture(const Fixture &f) const
{
    const fs::path p = m_root / f.rel;
    std::error_code ec;
    fs::remove_all(p, ec);
    if (f.link)
        fs::create_symlink(f.content, p, ec);
    else
        writeFile(p, f.content);
}

Sandbox::Snapshot Sandbox::outsideAudio() const
{
    Snapshot out;
    std::error_code ec;
    const fs::path audioDir = audio();
    for (auto it = fs::recursive_directory_iterator(m_root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path &p = it->path();
        if (p == audioDir) {
            it.disable_recursion_pending();
            continue;
        }
        const auto st = fs::symlink_status(p, ec);
        std::ostringstream d;
        d << int(st.type()) << ' ';
        if (st.type() == fs::file_type::regular)
            d << fs::file_size(p, ec) << ' ' << std::hash<std::string>{}(readFile(p)) << ' ';
        d << fs::last_write_time(p, ec).time_since_epoch().count();
        out[p.string()] = d.str();
    }
    // The root folder itself: an entry made and removed again changes its time.
    out["."] = std::to_string(fs::last_write_time(m_root, ec).time_since_epoch().count()) + " " +
               std::to_string(fs::last_write_time(work(), ec).time_since_epoch().count());
    return out;
}

void Sandbox::checkOutsideUntouched() const
{
    const Snapshot now = outsideAudio();
    if (now == m_outside)
        return;
    std::string diff;
    for (const auto &[path, d] : now) {
        auto it = m_outside.find(path);
        if (it == m_outside.end())
            diff += "  added: " + path + "\n";
        else if (it->second != d)
            diff += "  changed: " + path + "\n";
    }
    for (const auto &[path, d] : m_outside)
        if (!now.count(path))
            diff += "  removed: " + path + "\n";
    fail("something was written outside the audio folder:\n" + diff);
}

void Sandbox::restoreAudio() const
{
    std::error_code ec;
    std::vector<fs::path> extra;
    for (auto it = fs::recursive_directory_iterator(audio(), ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path rel = fs::relative(it->path(), m_root, ec);
        bool known = rel == "work/audio/job";
        for (const Fixture &f : m_fixtures)
            known = known || rel == f.rel;
        if (!known) {
            extra.push_back(it->path());
            it.disable_recursion_pending();
        }
    }
    for (const fs::path &p : extra)
        fs::remove_all(p, ec);
    for (const Fixture &f : m_fixtures) {
        const fs::path p = m_root / f.rel;
        const auto st = fs::symlink_status(p, ec);
        const bool intact = f.link ? (st.type() == fs::file_type::symlink && fs::read_symlink(p, ec) == f.content)
                                   : (st.type() == fs::file_type::regular && readFile(p) == f.content);
        if (!intact)
            writeFixture(f);
    }
}

StandInEngine::StandInEngine()
    : m_voices{{"zh-CN-XiaoxiaoNeural", "zh-CN", "Female"},
               {"zh-CN-YunxiNeural", "zh-CN", "Male"},
               {"en-US-GuyNeural", "en-US", "Male"}}
{
}

bool StandInEngine::hasVoice(const std::string &name) const
{
    for (const VoiceInfo &v : m_voices)
        if (v.name == name)
            return true;
    return false;
}

SynthesisResult StandInEngine::synthesize(const std::vector<reading::EngineRun> &runs, const std::string &voice,
                                          int ratePercent)
{
    // The runs one after the other, word marks mapped back through each
    // run's origins, as the real engine does.
    SynthesisResult all;
    all.ok = true;
    all.sampleRate = mp3::kSampleRate;
    for (const reading::EngineRun &run : runs) {
        SynthesisResult piece = synthesize(run.text, voice, ratePercent);
        const std::int64_t offset = static_cast<std::int64_t>(all.pcm.size());
        for (WordMark m : piece.words) {
            if (m.charIndex >= run.origin.size())
                fail("a word mark outside its run");
            m.charIndex = run.origin[m.charIndex];
            m.sample += offset;
            all.words.push_back(m);
        }
        all.pcm.insert(all.pcm.end(), piece.pcm.begin(), piece.pcm.end());
    }
    return all;
}

std::string StandInEngine::phonemes(const std::vector<reading::EngineRun> &runs, const std::string &)
{
    std::string out;
    for (const reading::EngineRun &run : runs)
        out += (run.language.empty() ? "" : "(" + run.language + ")") + run.text + " ";
    return out;
}

SynthesisResult StandInEngine::synthesize(const std::string &text, const std::string &, int ratePercent)
{
    // A word starts at every non-blank code point after a blank; indexes
    // count code points (UTF-8 lead bytes), as the real engine's do.
    SynthesisResult r;
    r.ok = true;
    r.sampleRate = mp3::kSampleRate;
    const std::int64_t perWord = 1100LL * 100 / (100 + ratePercent);
    std::size_t index = 0;
    bool blank = true;
    for (unsigned char c : text) {
        if ((c & 0xC0) == 0x80)
            continue;
        const bool isBlank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (blank && !isBlank && r.words.size() < 40)
            r.words.push_back({index, std::int64_t(r.words.size()) * perWord});
        blank = isBlank;
        ++index;
    }
    const std::size_t samples = std::max<std::size_t>(1, r.words.size()) * std::size_t(perWord);
    r.pcm.resize(samples);
    for (std::size_t i = 0; i < samples; ++i)
        r.pcm[i] = static_cast<std::int16_t>(6000 * std::sin(double(i) * 0.12));
    return r;
}

}  // namespace tavrel::fuzz
