#include "tests/support/ProgramState.h"

#include "platform/display/DisplayServices.h"
#include "platform/system/Defaults.h"
#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"

void resetProgramState()
{
    DisplayServices::replace(nullptr);
    // Before the defaults are registered again: they come from the bundle.
    ResourceBundle::replaceMainBundle(std::nullopt);
    SettingsStore& store = SettingsStore::shared();
    store.removeAllObjects();
    store.clearRegisteredDefaults();
    Defaults::registerWithStandardStore();
}
