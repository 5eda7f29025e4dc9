// ThreadSanitizer cannot see inside Qt's libraries (they are not built with
// it), so a hand-over through Qt's own locks looks like a race. Where our
// code relies on such a hand-over, it says so with these calls; they vanish
// in every other build.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define LUMO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LUMO_TSAN 1
#endif
#endif

#include <QMutexLocker>

#ifdef LUMO_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace lumo::tsan {

// Everything this thread did so far becomes visible to a later acquire(key).
inline void release([[maybe_unused]] const void *key)
{
#ifdef LUMO_TSAN
    __tsan_release(const_cast<void *>(key));
#endif
}

inline void acquire([[maybe_unused]] const void *key)
{
#ifdef LUMO_TSAN
    __tsan_acquire(const_cast<void *>(key));
#endif
}

// A QMutexLocker whose lock ThreadSanitizer sees.
class MutexLocker {
public:
    explicit MutexLocker(QMutex *mutex) : m_lock(mutex), m_mutex(mutex) { acquire(m_mutex); }
    ~MutexLocker() { release(m_mutex); }  // before the member unlocks
    MutexLocker(const MutexLocker &) = delete;
    MutexLocker &operator=(const MutexLocker &) = delete;

private:
    QMutexLocker m_lock;
    QMutex *m_mutex;
};

}  // namespace lumo::tsan
