// PLACEHOLDER (dialog helper replaces this file)
#include "entry/module_state.h"
extern "C" __declspec(dllexport) int32_t FinaleExtensionInvoke(HWND, void*, ERegion* region) { return region ? 1 : 0; }
