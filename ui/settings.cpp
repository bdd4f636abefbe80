// PLACEHOLDER (settings helper replaces this file)
#include "ui/settings.h"
#include "entry/module_state.h"
UserDialogSettings moduleSettings;
void LoadSettings() {}
LONG SaveSettings() { return 0; }
extern "C" __declspec(dllexport) int32_t FinaleExtensionInit(void*, uint32_t*) { LoadSettings(); return 1; }
extern "C" __declspec(dllexport) LONG FinaleExtensionTerminate(void) { return SaveSettings(); }
