#pragma once

#include "tests/e2e/Desktop.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>

// One desktop of each kind for the whole run of a test program, made on
// first use: starting a server or a compositor takes longer than most tests.
// The programs' common main (DesktopsMain.cpp) registers it, so the desktops
// go before the application object.
class Desktops : public testing::Environment {
public:
    static Desktop& get(Desktop::Kind kind);
    void TearDown() override;

private:
    static inline std::map<Desktop::Kind, std::unique_ptr<Desktop>> sDesktops;
};
