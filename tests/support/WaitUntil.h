#pragma once

#include <QTest>

// Long enough for a machine whose cores are all busy: a wait that ends by
// this limit means the condition never came, not that it came late.
inline constexpr int kWaitLimitMilliseconds = 20000;

// Runs the event loop until the condition holds or the limit has passed;
// whether it holds.
template <typename Condition>
[[nodiscard]] bool waitUntil(Condition condition)
{
    return QTest::qWaitFor(condition, kWaitLimitMilliseconds);
}
