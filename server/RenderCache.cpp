#include "RenderCache.h"

#include <functional>

namespace tavrel {

std::size_t RenderCache::KeyHash::operator()(const RenderKey &k) const
{
    std::size_t h = std::hash<std::string>()(k.text);
    auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(std::hash<std::string>()(k.voice));
    mix(std::hash<std::string>()(k.input));
    mix(std::hash<std::string>()(k.voiceParameters));
    mix(std::hash<int>()(k.ratePercent));
    mix(std::hash<int>()(k.volumePercent));
    return h;
}

RenderCache::RenderCache(std::size_t maxBytes) : m_maxBytes(maxBytes) {}

std::size_t RenderCache::sizeOf(const RenderKey &key, const RenderedSegment &value)
{
    // The payload plus a rough allowance for the list node, the index and
    // the key, held twice (entry and index); what matters is that the bound holds.
    return value.mp3.size() + value.srt.size() +
           2 * (key.text.size() + key.input.size() + key.voice.size() + key.voiceParameters.size()) + 256;
}

std::shared_ptr<const RenderedSegment> RenderCache::find(const RenderKey &key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_index.find(key);
    if (it == m_index.end()) {
        ++m_misses;
        return nullptr;
    }
    ++m_hits;
    m_lru.splice(m_lru.begin(), m_lru, it->second);
    return it->second->value;
}

void RenderCache::insert(const RenderKey &key, RenderedSegment value)
{
    const std::size_t bytes = sizeOf(key, value);
    if (bytes > m_maxBytes)
        return;
    auto shared = std::make_shared<const RenderedSegment>(std::move(value));

    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_index.find(key);
    if (it != m_index.end()) {
        // Two requests for the same segment rendered at once: keep one copy.
        m_lru.splice(m_lru.begin(), m_lru, it->second);
        return;
    }
    m_lru.push_front(Entry{key, std::move(shared), bytes});
    m_index.emplace(m_lru.front().key, m_lru.begin());
    m_bytes += bytes;
    while (m_bytes > m_maxBytes && !m_lru.empty()) {
        Entry &last = m_lru.back();
        m_bytes -= last.bytes;
        m_index.erase(last.key);
        m_lru.pop_back();
    }
}

RenderCache::Stats RenderCache::stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_hits, m_misses, m_lru.size(), m_bytes};
}

Outcome renderSegmentCached(SpeechEngine &engine, RenderCache &cache, const RenderJob &job)
{
    std::string input;
    for (const reading::EngineRun &run : job.prepared.runs) {
        input += run.language;
        input.push_back('\x1f');
        input += run.text;
        input.push_back('\x1e');
    }
    RenderKey key{job.text, job.voice, job.ratePercent, job.volumePercent, std::move(input),
                  engine.voiceParameters(job.voice)};
    if (auto kept = cache.find(key))
        return writeSegmentFiles(job, *kept);

    RenderedSegment produced;
    Outcome out = renderSegment(engine, job, &produced);
    if (out.ok)
        cache.insert(key, std::move(produced));
    return out;
}

}  // namespace tavrel
