#include "platform/system/OrderlyExit.h"
#include "tests/support/OffscreenGL.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// Ends a loop the signal failed to end, so a broken handler fails the test
// instead of hanging it.
constexpr int kGiveUpMs = 5000;
constexpr int kNotQuit = 1;

TEST(OrderlyExit, EachSignalQuitsTheEventLoopOnceThenHasItsDefaultEffect)
{
    ensureGuiApplication();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        installOrderlyExitOnSignals();
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(kNotQuit); });
        giveUp.start(kGiveUpMs);
        QTimer::singleShot(0, [signal] { std::raise(signal); });
        EXPECT_EQ(QCoreApplication::exec(), 0) << "signal " << signal;

        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL) << "signal " << signal;
    }
}

TEST(OrderlyExitDeathTest, ASecondSignalEndsAProgramStillShuttingDown)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // Qt may run threads of its own
    ensureGuiApplication();
    EXPECT_EXIT(
        {
            installOrderlyExitOnSignals();
            std::raise(SIGTERM); // asks to quit; nothing runs the loop here
            std::raise(SIGTERM);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

} // namespace
