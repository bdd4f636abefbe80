// Module-wide state shared by the entry points, the dialog and the engine.
// Zero or null when the module loads.
#pragma once

#include <stdint.h>

#include "host/host_abi.h"
#include "ui/settings.h"

// The word the host passed to the last FinaleExtensionVersion call.
extern uint32_t hostVersion;
// The region and the settings of the running invocation: set before the
// host's dialog call, null again once it returns.
extern ERegion* currentRegion;
extern UserDialogSettings* currentSettings;
