// Every test process gets a settings directory of its own, so that tests never
// read or write the user's settings, and every test starts from the program's
// state at start-up, so that tests pass in any order.
#include "tests/support/ProgramState.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Runs before each test's fixture is made, so no fixture can forget it.
class FreshProgramState : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { resetProgramState(); }
};

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir configHome;
    if (!configHome.isValid())
        return 2;
    setenv("XDG_CONFIG_HOME", QDir(configHome.path()).absolutePath().toLocal8Bit().constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshProgramState);
    return RUN_ALL_TESTS();
}
