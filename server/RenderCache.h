// What the service has rendered, kept in memory so that rendering the same
// segment again (a script rendered twice, or with one passage edited) costs a
// file write instead of a synthesis and an encode. Entries hold the exact
// bytes a render writes, keyed by everything that decides those bytes.
#pragma once

#include "SegmentRender.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tavrel {

struct RenderKey {
    std::string text;
    std::string voice;
    int ratePercent = 0;
    int volumePercent = 0;
    std::string input;  // the engine input: a changed user lexicon changes it
    std::string voiceParameters;  // how the engine speaks `voice` (SpeechEngine::voiceParameters)
    bool operator==(const RenderKey &o) const
    {
        return ratePercent == o.ratePercent && volumePercent == o.volumePercent && voice == o.voice &&
               text == o.text && input == o.input && voiceParameters == o.voiceParameters;
    }
};

// Least recently used entries go first once the bytes held pass the bound.
// Safe to use from every request thread.
class RenderCache {
public:
    explicit RenderCache(std::size_t maxBytes);

    std::shared_ptr<const RenderedSegment> find(const RenderKey &key);
    void insert(const RenderKey &key, RenderedSegment value);

    struct Stats {
        std::uint64_t hits = 0;
        std::uint64_t misses = 0;
        std::size_t entries = 0;
        std::size_t bytes = 0;
    };
    Stats stats() const;
    std::size_t maxBytes() const { return m_maxBytes; }

private:
    struct KeyHash {
        std::size_t operator()(const RenderKey &k) const;
    };
    struct Entry {
        RenderKey key;
        std::shared_ptr<const RenderedSegment> value;
        std::size_t bytes = 0;
    };
    using List = std::list<Entry>;  // most recently used first

    static std::size_t sizeOf(const RenderKey &key, const RenderedSegment &value);

    const std::size_t m_maxBytes;
    mutable std::mutex m_mutex;
    List m_lru;
    std::unordered_map<RenderKey, List::iterator, KeyHash> m_index;
    std::size_t m_bytes = 0;
    std::uint64_t m_hits = 0;
    std::uint64_t m_misses = 0;
};

// renderSegment() through the cache: a hit writes the kept bytes, a miss
// renders and keeps what it wrote. Either way the files are the same.
Outcome renderSegmentCached(SpeechEngine &engine, RenderCache &cache, const RenderJob &job);

}  // namespace tavrel
