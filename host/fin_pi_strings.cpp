#include "host/fin_pi_strings.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "winapi/zorv_windows.h"

template <typename Unit, int Tag>
FinPIVarLenStruct<Unit, Tag>::~FinPIVarLenStruct() {
    if (buffer) free(buffer);
    buffer = nullptr;
    byteSize = 0;
}

template <typename Unit, int Tag>
void FinPIVarLenStruct<Unit, Tag>::ClearBuffer() {
    if (buffer) memset(buffer, 0, size_t(byteSize));
}

template <typename Unit, int Tag>
int16_t FinPIVarLenStruct<Unit, Tag>::Resize(uint64_t newByteSize) {
    if (newByteSize == 0) {
        if (buffer) free(buffer);
        buffer = nullptr;
        byteSize = 0;
        return 0;
    }
    void* block = calloc(1, size_t(newByteSize));
    if (!block) throw std::bad_alloc();
    bool fresh = true;
    if (buffer && byteSize != 0) {
        memcpy(block, buffer, size_t(byteSize < newByteSize ? byteSize : newByteSize));
        fresh = false;
    }
    if (buffer) free(buffer);
    buffer = static_cast<Unit*>(block);
    byteSize = newByteSize;
    if (fresh) ClearBuffer();
    return 1;
}

template class FinPIVarLenStruct<unsigned short, 0>;

namespace {

// Frees the conversion's scratch array on every way out of the constructor.
struct ScratchUnits {
    explicit ScratchUnits(size_t count) : units(new unsigned short[count]) {}
    ~ScratchUnits() { delete[] units; }
    unsigned short* units;
};

int Convert(UINT codePage, DWORD flags, const char* narrow, unsigned short* out, size_t room) {
    return MultiByteToWideChar(codePage, flags, narrow, -1, reinterpret_cast<LPWSTR>(out),
                               int(room));
}

}  // namespace

FinPIVarStringUtf16::FinPIVarStringUtf16(const char* narrow) {
    size_t room = strlen(narrow) + 1;
    ScratchUnits scratch(room);
    if (Convert(CP_UTF8, MB_ERR_INVALID_CHARS, narrow, scratch.units, room) == 0 &&
        Convert(CP_ACP, 0, narrow, scratch.units, room) == 0) {
        scratch.units[0] = 0;
    }
    size_t count = 0;
    while (scratch.units[count] != 0) ++count;
    Resize(2 * uint64_t(count) + 2);
    memcpy(buffer, scratch.units, count * sizeof(unsigned short));
    buffer[count] = 0;
}
