// Every test process gets a settings directory of its own, so that tests never
// read or write the user's settings and never see each other's.
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir configHome;
    if (!configHome.isValid())
        return 2;
    setenv("XDG_CONFIG_HOME", QDir(configHome.path()).absolutePath().toLocal8Bit().constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
