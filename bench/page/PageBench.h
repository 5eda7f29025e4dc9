// What the benchmarks that drive the real page share: a voice cache to
// start from, waiting for the page while its events run, choosing a voice.
#pragma once

#include <QJsonArray>
#include <QString>

#include <functional>

class ttsMain;

namespace bench::page {

// Writes the voice records into data.db in the working folder.
bool writeVoiceCache(const QJsonArray &voices);

// Runs the event loop until `done` or `timeoutMs`; between checks it sleeps
// `sleepMs`, so that a long wait weighs little on what it measures (0 for
// latencies, where every millisecond counts).
bool waitFor(const std::function<bool()> &done, int timeoutMs, int sleepMs);

// Selects the locale and voice of `identifier` in the page's choosers.
bool chooseVoice(ttsMain *page, const QString &identifier);

}  // namespace bench::page
