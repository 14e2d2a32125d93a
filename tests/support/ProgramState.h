#pragma once

// Puts back what the program keeps for its whole run, as a fresh start of
// the program finds it: the display services, the resource bundle, and the
// standard settings store with nothing stored and only Defaults.plist
// registered. Every test starts from it (TestMain),
// so no test sees what another left behind, in any order.
void resetProgramState();
