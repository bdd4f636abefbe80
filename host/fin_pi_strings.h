// Owning UTF-16 buffers for the texts handed to the host.
#pragma once

#include <stdint.h>

template <typename Unit, int Tag>
class FinPIVarLenStruct {
public:
    FinPIVarLenStruct() = default;
    FinPIVarLenStruct(const FinPIVarLenStruct&) = delete;
    FinPIVarLenStruct& operator=(const FinPIVarLenStruct&) = delete;
    virtual ~FinPIVarLenStruct();

    // Zeroes the whole block.
    virtual void ClearBuffer();

    // Reallocates to `newByteSize` bytes, keeping the leading bytes that fit
    // and zeroing the rest. Returns 1 when a block is held afterwards, 0 when
    // the object is empty. Throws std::bad_alloc when memory runs out, leaving
    // the object as it was.
    int16_t Resize(uint64_t newByteSize);

    Unit* buffer = nullptr;
    uint64_t byteSize = 0;
};

extern template class FinPIVarLenStruct<unsigned short, 0>;

// Zero-terminated UTF-16 text built from a narrow string: strict UTF-8 first,
// the ANSI code page as the fallback, the empty text as the last resort.
class FinPIVarStringUtf16 : public FinPIVarLenStruct<unsigned short, 0> {
public:
    explicit FinPIVarStringUtf16(const char* narrow);
};
