// Counts heap allocations made while counting is switched on: every form of
// operator new in the process, and malloc/calloc/realloc called from the
// statically linked plug-in (the bench links with --wrap for those).
#pragma once

#include <stddef.h>

namespace allocations {

void StartCounting();
// Stops counting and returns how many allocations were made meanwhile.
size_t StopCounting();

}  // namespace allocations
