// FINALE.EXE --validate SEED: the real module under the real loader,
// registry and dialog manager, driven hard: many load/unload cycles with
// random settings, threads racing the first host call, and the settings
// entry points called out of order. The seed makes a run repeatable.
#pragma once

namespace testhost {

// Prints the seed and one line per check; 0 when every check passed, 1 on
// any failure, 2 for a seed that is not a decimal number.
int RunValidation(const wchar_t* seedText);

}  // namespace testhost
