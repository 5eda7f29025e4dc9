#include "OpenFileLimit.h"

#include <limits>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace OpenFileLimit {

quint64 raise()
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::numeric_limits<quint64>::max();
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<quint64>::max();
    return quint64(limit.rlim_cur);
#else
    return std::numeric_limits<quint64>::max();
#endif
}

int maxSegments(quint64 limit)
{
    if (limit <= reserve)
        return 0;
    const quint64 segments = (limit - reserve) / perSegment;
    return segments > quint64(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(segments);
}

} // namespace OpenFileLimit
