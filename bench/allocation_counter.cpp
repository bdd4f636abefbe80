#include "bench/allocation_counter.h"

#include <stdlib.h>

#include <atomic>
#include <new>

// The linker's names for the C library's allocators behind the wrappers
// below; calling them directly keeps one allocation from counting twice.
extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* p, size_t size);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<size_t> counted{0};

void Count() {
    if (counting.load(std::memory_order_relaxed)) counted.fetch_add(1, std::memory_order_relaxed);
}

void* Allocate(size_t size) {
    Count();
    if (void* p = __real_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void* AllocateAligned(size_t size, std::align_val_t alignment) {
    Count();
    void* p = nullptr;
    if (posix_memalign(&p, size_t(alignment) < sizeof(void*) ? sizeof(void*) : size_t(alignment),
                       size ? size : 1) == 0)
        return p;
    throw std::bad_alloc();
}

}  // namespace

namespace allocations {

void StartCounting() {
    counted = 0;
    counting = true;
}

size_t StopCounting() {
    counting = false;
    return counted;
}

}  // namespace allocations

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    Count();
    return __real_malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    Count();
    return __real_malloc(size ? size : 1);
}
void* operator new(size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new[](size_t size, std::align_val_t alignment) {
    return AllocateAligned(size, alignment);
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { free(p); }

// The plug-in's own C allocations, redirected here by the linker.
extern "C" {
void* __wrap_malloc(size_t size) {
    Count();
    return __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    Count();
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* p, size_t size) {
    Count();
    return __real_realloc(p, size);
}
}
