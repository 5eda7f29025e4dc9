#pragma once

// A test that cannot run because the machine lacks something (the right to
// mount, a tool, a voice of espeak-ng) skips on a developer's machine. Under
// CI (.ci/run sets LUMO_CI=1) it fails instead: that machine is set up to run
// everything, and a silent skip there would hide a test that never ran.
//
// Plain C++, so that the service's GoogleTest tests use it too.

#include <cstdlib>
#include <cstring>

namespace TestSupport {

inline bool underCi()
{
    const char *value = std::getenv("LUMO_CI");
    return value && *value && std::strcmp(value, "0") != 0;
}

} // namespace TestSupport

// Qt Test: LUMO_SKIP_OR_FAIL("mounting a file system is not allowed here");
#define LUMO_SKIP_OR_FAIL(reason)                                                                  \
    do {                                                                                           \
        if (TestSupport::underCi())                                                                \
            QFAIL(QByteArray(QByteArray(reason) + " (LUMO_CI is set: a missing facility fails)")     \
                      .constData());                                                               \
        QSKIP(reason);                                                                             \
    } while (false)

// GoogleTest: LUMO_GTEST_SKIP_OR_FAIL(locale + " is not offered by this espeak-ng");
#define LUMO_GTEST_SKIP_OR_FAIL(reason)                                                            \
    do {                                                                                           \
        const std::string lumoReason_ = (reason);                                                  \
        if (TestSupport::underCi())                                                                \
            FAIL() << lumoReason_ << " (LUMO_CI is set: a missing facility fails)";                \
        GTEST_SKIP() << lumoReason_;                                                               \
    } while (false)
