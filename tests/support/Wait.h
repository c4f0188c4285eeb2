#pragma once
// Waiting in a GoogleTest test while the event loop runs. Qt Test's QTRY_* macros report their
// failures to Qt Test, which GoogleTest never hears of, so a failed wait would pass silently.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace ormisk::testing {

// Runs the event loop until `condition` holds or `timeoutMs` passed; the final result.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QTest::qWait(10);
    }
    return true;
}

} // namespace ormisk::testing

#define ORMISK_WAIT_TRUE(expr, timeoutMs)                                                                              \
    ASSERT_TRUE(::ormisk::testing::waitUntil([&] { return static_cast<bool>(expr); }, timeoutMs)) << #expr

#define ORMISK_WAIT_EQ(actual, expected)                                                                               \
    do {                                                                                                               \
        ::ormisk::testing::waitUntil([&] { return (actual) == (expected); });                                          \
        ASSERT_EQ(actual, expected);                                                                                   \
    } while (false)
