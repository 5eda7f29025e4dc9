#pragma once

#include <QtGlobal>

// How long the program waits for the speech service before it gives up, and
// how often it tells the user how far a job is. Every wait is bounded, so a
// job always ends with its output or a message, even when the service accepts
// a connection and then never answers.
//
// Each base value can be replaced through an environment variable (a positive
// number of milliseconds), so that tests need not wait the full time:
//   LUMO_SEGMENT_TIMEOUT_MS    one passage, before the per-character allowance
//   LUMO_JOIN_TIMEOUT_MS       the join, before the per-character allowance
//   LUMO_CATALOGUE_TIMEOUT_MS  the voice list
//   LUMO_AUTOSAVE_DELAY_MS     quiet time after an edit before the script is saved
namespace JobLimits {

constexpr int segmentBaseMs = 30000;
constexpr int joinBaseMs = 30000;
// Longer texts take longer to render: one more second per this many characters.
constexpr int charactersPerSecond = 50;
constexpr int catalogueMs = 15000;
constexpr int autosaveDelayMs = 2000;
// The overlay's count changes at most this often.
constexpr int progressIntervalMs = 100;
// What the job allows a client beyond the client's own bound before it stops
// waiting for the report itself.
constexpr int reportGraceMs = 2000;

// The variable's value when it is a positive whole number, else `fallback`.
int fromEnvironment(const char *name, int fallback);

// base + one second per charactersPerSecond characters, at most INT_MAX.
int withTextAllowance(int baseMs, qint64 characters);

// One passage's request, by the length of its text.
int segmentTimeoutMs(qint64 characters);
// The join, by the length of every passage's text together.
int joinTimeoutMs(qint64 characters);
int catalogueTimeoutMs();
int autosaveQuietMs();

// How long a job waits for the report of one attempt at a passage. A retry
// first waits for the service to come back, for up to the request's bound,
// then sends the request.
int passageDeadlineMs(qint64 characters, int attempt);

} // namespace JobLimits
