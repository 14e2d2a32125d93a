#include "app/FerlowInterface.h"
#include "platform/toolkit/Application.h"

int main(int argc, char** argv)
{
    return applicationMain(argc, argv, [] { return std::make_unique<FerlowInterface>(); });
}
