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

// Waits until the main window and its view are both exposed: the view draws
// only while its window can be seen, and the two are told apart, in either
// order.
template <typename MainWindow>
[[nodiscard]] bool waitUntilShown(const MainWindow& mainWindow)
{
    return QTest::qWaitForWindowExposed(mainWindow.view(), kWaitLimitMilliseconds)
        && QTest::qWaitForWindowExposed(mainWindow.windowHandle(), kWaitLimitMilliseconds);
}
