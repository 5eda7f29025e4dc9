#include "Lexicon.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::reading {

Lexicon::Lexicon(const std::filesystem::path &file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = "cannot open " + file.string();
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(lexfile::Header))) {
        ::close(fd);
        m_error = file.string() + " is not a word list";
        return;
    }
    m_mapSize = static_cast<std::size_t>(st.st_size);
    void *p = ::mmap(nullptr, m_mapSize, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        m_error = "cannot map " + file.string();
        return;
    }
    m_map = p;
    lexfile::Header h;
    std::memcpy(&h, p, sizeof h);
    const std::size_t need = sizeof h + std::size_t(h.entryCount) * sizeof(lexfile::Entry) +
                             std::size_t(h.keyUnits) * sizeof(char32_t) + h.readingBytes;
    if (std::memcmp(h.magic, lexfile::kMagic, sizeof h.magic) != 0 || need != m_mapSize) {
        m_error = file.string() + " is not a word list of this version";
        return;
    }
    const char *base = static_cast<const char *>(p);
    m_entries = reinterpret_cast<const lexfile::Entry *>(base + sizeof h);
    m_keys = reinterpret_cast<const char32_t *>(base + sizeof h + std::size_t(h.entryCount) * sizeof(lexfile::Entry));
    m_readings = reinterpret_cast<const char *>(m_keys + h.keyUnits);
    m_count = h.entryCount;
    m_maxKey = std::max<std::size_t>(1, h.maxKeyLength);
    m_logTotal = h.logTotal;
}

Lexicon::~Lexicon()
{
    if (m_map)
        ::munmap(m_map, m_mapSize);
}

bool Lexicon::find(std::u32string_view word, WordInfo &info) const
{
    if (!m_entries || word.empty())
        return false;
    auto keyOf = [this](const lexfile::Entry &e) {
        return std::u32string_view(m_keys + e.keyOffset, e.keyLength);
    };
    const lexfile::Entry *end = m_entries + m_count;
    const lexfile::Entry *it = std::lower_bound(
        m_entries, end, word, [&](const lexfile::Entry &e, std::u32string_view w) { return keyOf(e) < w; });
    if (it == end || keyOf(*it) != word)
        return false;
    info = WordInfo{};
    if (it->flags & lexfile::kHasReading)
        info.reading = std::string_view(m_readings + it->readingOffset, it->readingLength);
    if (it->altOffset)
        info.alternative = std::string_view(m_readings + it->altOffset, it->altLength);
    info.logProbability = std::log(static_cast<double>(std::max<std::uint32_t>(1, it->frequency))) - m_logTotal;
    info.pos[0] = it->pos[0] == ' ' ? 0 : it->pos[0];
    info.pos[1] = it->pos[1] == ' ' ? 0 : it->pos[1];
    info.own = (it->flags & lexfile::kOwnTable) != 0;
    return true;
}

}  // namespace tavrel::reading
