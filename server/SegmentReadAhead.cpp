#include "SegmentReadAhead.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace tavrel {

namespace {

std::string readSmallFile(const fs::path &p, std::size_t limit)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return {};
    // Only what the file holds: a join reads one per segment, and making
    // (and zeroing) the whole limit each time cost more than the join.
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(p, ec);
    const std::size_t want = ec ? limit : static_cast<std::size_t>(std::min<std::uintmax_t>(size, limit));
    std::string s;
    s.resize(want);
    in.read(s.data(), static_cast<std::streamsize>(want));
    s.resize(static_cast<std::size_t>(in.gcount()));
    return s;
}

}  // namespace

std::optional<std::vector<srt::Cue>> segmentCues(const fs::path &mp3File)
{
    fs::path srtPath = mp3File;
    srtPath.replace_extension(".srt");
    std::error_code ec;
    const fs::path real = fs::canonical(srtPath, ec);
    if (ec || !fs::is_regular_file(real, ec) || real.parent_path() != mp3File.parent_path())
        return std::nullopt;
    return srt::parse(readSmallFile(real, 8 << 20));
}

int joinRate(const std::vector<std::pair<fs::path, bool>> &inputs)
{
    int rate = 0;
    for (const auto &[file, missing] : inputs)
        if (!missing)
            rate = std::max(rate, mp3::ownFormatRate(file));
    return rate > 0 ? rate : mp3::kSampleRate;
}

LoadedSegment loadSegment(const fs::path &mp3File, bool missing, int rate)
{
    LoadedSegment loaded;
    if (missing)
        return loaded;
    loaded.seg = mp3::readForJoin(mp3File, rate);
    if (loaded.seg.usable)
        loaded.cues = segmentCues(mp3File);
    return loaded;
}

SegmentReadAhead::SegmentReadAhead(std::vector<std::pair<fs::path, bool>> inputs, int rate, std::size_t ahead)
    : m_inputs(std::move(inputs)), m_rate(rate), m_ahead(ahead)
{
    m_thread = std::thread([this] { run(); });
}

SegmentReadAhead::~SegmentReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

LoadedSegment SegmentReadAhead::take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_ready.empty(); });
    LoadedSegment next = std::move(m_ready.front());
    m_ready.pop_front();
    lock.unlock();
    m_changed.notify_all();
    return next;
}

void SegmentReadAhead::run()
{
    for (const auto &[path, missing] : m_inputs) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_ready.size() < m_ahead; });
            if (m_stop)
                return;
        }
        LoadedSegment loaded = loadSegment(path, missing, m_rate);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ready.push_back(std::move(loaded));
        }
        m_changed.notify_all();
    }
}

}  // namespace tavrel
