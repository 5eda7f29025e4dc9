// An output file that appears whole or not at all: every file the service
// writes goes through one, so a failure leaves nothing half-written behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace tavrel {

// Writes `data` to a temporary file beside `target`; commit() renames it
// into place, otherwise the destructor removes it.
class PendingFile {
public:
    explicit PendingFile(std::filesystem::path target);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool write(const void *data, std::size_t size);
    // Overwrites bytes already written (a header whose sizes are known last).
    bool writeAt(std::uint64_t offset, const void *data, std::size_t size);
    bool close();   // flushes; false if anything failed
    bool commit();  // close + rename
    bool isOpen() const { return m_file != nullptr; }
    // Where the bytes are until commit(): readable once close() succeeded.
    const std::filesystem::path &tempPath() const { return m_temp; }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE *m_file = nullptr;
    bool m_failed = false;
    bool m_committed = false;
};

}  // namespace tavrel
