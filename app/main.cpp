#include "app/FerlowInterface.h"
#include "platform/toolkit/Application.h"

#include <QCoreApplication>
#include <QStringList>

// ferlow [HEIGHT-IMAGE]: flies that image, or the terrain flown last.
int main(int argc, char** argv)
{
    return applicationMain(argc, argv, [] {
        return std::make_unique<FerlowInterface>(QCoreApplication::arguments().value(1));
    });
}
