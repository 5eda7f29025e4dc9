#pragma once

#include <QString>

#include <functional>

// Waiting for the speech service to listen, as after it was restarted.
namespace ServiceProbe {

constexpr int retryMs = 100;

// Blocks the calling thread until the host and port of `url` accept a
// connection, `budgetMs` has passed, or `stop` says so (asked between tries).
// True when the service accepted.
bool waitUntilListening(const QString &url, int budgetMs, const std::function<bool()> &stop = {});

} // namespace ServiceProbe
