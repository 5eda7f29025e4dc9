#pragma once

#include <QtGlobal>

// A job runs one worker thread per segment, all at once, and each of them
// holds a few descriptors (its event loop, its network thread's event loop,
// its connection). A desktop session's usual soft limit of 1024 runs out at
// a few hundred segments, and GLib aborts the program when it does.
namespace OpenFileLimit {

// Descriptors the page needs whatever the job: database, player, display.
constexpr quint64 reserve = 128;
// Descriptors one running worker may hold.
constexpr quint64 perSegment = 4;

// Raises the soft limit to the hard one; returns the limit now in force.
quint64 raise();

// The most segments that can run at once under that limit.
int maxSegments(quint64 limit);

} // namespace OpenFileLimit
