#include "JobLimits.h"

#include <QString>

#include <limits>

namespace JobLimits {

int fromEnvironment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariable(name).trimmed().toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

int withTextAllowance(int baseMs, qint64 characters)
{
    const qint64 allowance = qMax<qint64>(0, characters) * 1000 / charactersPerSecond;
    const qint64 total = qint64(baseMs) + allowance;
    return total > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(total);
}

int segmentTimeoutMs(qint64 characters)
{
    return withTextAllowance(fromEnvironment("LUMO_SEGMENT_TIMEOUT_MS", segmentBaseMs), characters);
}

int joinTimeoutMs(qint64 characters)
{
    return withTextAllowance(fromEnvironment("LUMO_JOIN_TIMEOUT_MS", joinBaseMs), characters);
}

int catalogueTimeoutMs()
{
    return fromEnvironment("LUMO_CATALOGUE_TIMEOUT_MS", catalogueMs);
}

int autosaveQuietMs()
{
    return fromEnvironment("LUMO_AUTOSAVE_DELAY_MS", autosaveDelayMs);
}

int passageDeadlineMs(qint64 characters, int attempt)
{
    const qint64 request = segmentTimeoutMs(characters);
    const qint64 total = request * (attempt > 0 ? 2 : 1) + reportGraceMs;
    return total > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(total);
}

} // namespace JobLimits
