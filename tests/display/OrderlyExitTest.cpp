#include "platform/display/OrderlyExit.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// Ends a loop the signal failed to end, so a broken handler fails the test
// instead of hanging it.
constexpr int kGiveUpMs = 5000;
constexpr int kNotQuit = 1;

void ensureCoreApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "display_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives until the process ends
}

TEST(OrderlyExit, EachSignalQuitsTheEventLoopOnceThenHasItsDefaultEffect)
{
    ensureCoreApplication();
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
    ensureCoreApplication();
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
