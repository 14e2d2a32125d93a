#include "tests/support/ProgramState.h"

#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/DisplayServices.h"
#include "platform/ResourceBundle.h"
#include "platform/SettingsStore.h"
#include "scene/Scene.h"

void resetProgramState()
{
    Scene::pathState() = {};
    Clock::replace({});
    DisplayServices::replace(nullptr);
    // Before the defaults are registered again: they come from the bundle.
    ResourceBundle::replaceMainBundle(std::nullopt);
    SettingsStore& store = SettingsStore::standardUserDefaults();
    store.removeAllObjects();
    store.clearRegisteredDefaults();
    Defaults::registerWithStandardStore();
}
