#include "tests/e2e/Desktops.h"

#include <QCoreApplication>

Desktop& Desktops::get(Desktop::Kind kind)
{
    std::unique_ptr<Desktop>& desktop = sDesktops[kind];
    if (!desktop)
        desktop = std::make_unique<Desktop>(kind);
    return *desktop;
}

void Desktops::TearDown()
{
    sDesktops.clear();
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new Desktops);
    return RUN_ALL_TESTS();
}
