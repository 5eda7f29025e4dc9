#include "PendingFile.h"

#include <atomic>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tavrel {

namespace {

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

PendingFile::PendingFile(fs::path target) : m_target(std::move(target))
{
    // Hidden, unique and in the same folder, so the final rename is atomic.
    m_temp = m_target.parent_path() /
             ("." + m_target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
              std::to_string(g_tempCounter.fetch_add(1)));
    int fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
        m_file = ::fdopen(fd, "wb");
        if (!m_file)
            ::close(fd);
    }
    if (!m_file) {
        m_failed = true;
        m_temp.clear();
    }
}

PendingFile::~PendingFile()
{
    if (m_file)
        std::fclose(m_file);
    if (!m_committed && !m_temp.empty()) {
        std::error_code ec;
        fs::remove(m_temp, ec);
    }
}

bool PendingFile::write(const void *data, std::size_t size)
{
    if (!m_file || m_failed)
        return false;
    if (size && std::fwrite(data, 1, size, m_file) != size)
        m_failed = true;
    return !m_failed;
}

bool PendingFile::writeAt(std::uint64_t offset, const void *data, std::size_t size)
{
    if (!m_file || m_failed)
        return false;
    if (std::fflush(m_file) != 0 || ::fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        (size && std::fwrite(data, 1, size, m_file) != size) || ::fseeko(m_file, 0, SEEK_END) != 0)
        m_failed = true;
    return !m_failed;
}

bool PendingFile::close()
{
    if (m_file) {
        if (std::fflush(m_file) != 0)
            m_failed = true;
        if (std::fclose(m_file) != 0)
            m_failed = true;
        m_file = nullptr;
    }
    return !m_failed && !m_temp.empty();
}

bool PendingFile::commit()
{
    if (!close())
        return false;
    std::error_code ec;
    fs::rename(m_temp, m_target, ec);
    if (ec)
        return false;
    m_committed = true;
    return true;
}

}  // namespace tavrel
