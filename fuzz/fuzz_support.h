// Shared by the fuzz targets: the stand-in host in the process, and a check
// that libFuzzer reports as a finding when it fails.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include "testhost/core/fx_host.h"
#include "winapi/emu/emu_modules.h"

// The stand-in FINALE.EXE with all ten FX_ functions. The plug-in binds each
// host function once per process and keeps the address, so the module stays
// registered for the whole run; it is unregistered at exit.
class StandInHost {
public:
    StandInHost() : module_(emu::RegisterModule(u"FINALE.EXE", testhost::FxExportTable())) {}
    ~StandInHost() { emu::UnregisterModule(module_); }
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

private:
    HMODULE module_;
};

inline void EnsureStandInHost() {
    static StandInHost host;
}

// An invariant that does not hold is a finding: abort so that libFuzzer
// saves the input.
#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            abort();                                                                        \
        }                                                                                   \
    } while (0)
