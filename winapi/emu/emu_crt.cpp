// The Windows runtime's checked forms and its invalid-parameter handling, as
// far as the plug-in uses them. Failures follow the Windows runtime: errno is
// set, the invalid-parameter handler runs, then the function returns its
// error. The default handler only counts, so tests can observe it.
#include "winapi/emu/emu_crt.h"

#include <stdarg.h>

#include <atomic>

#include "winapi/zorv_windows.h"

namespace {

std::atomic<_invalid_parameter_handler> installedHandler{nullptr};
std::atomic<int> invalidParameterCount{0};

errno_t ReportInvalidParameter(errno_t error) {
    errno = error;
    _invalid_parameter_noinfo();
    return error;
}

}  // namespace

namespace emu {

int InvalidParameterCount() { return invalidParameterCount.load(); }
void ResetInvalidParameterCount() { invalidParameterCount.store(0); }

}  // namespace emu

extern "C" {

_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler) {
    return installedHandler.exchange(handler);
}

void _invalid_parameter_noinfo(void) {
    if (_invalid_parameter_handler handler = installedHandler.load()) {
        handler(nullptr, nullptr, nullptr, 0, 0);
        return;
    }
    ++invalidParameterCount;
}

errno_t memcpy_s(void* dest, size_t destSize, const void* src, size_t count) {
    if (count == 0) return 0;
    if (!dest) return ReportInvalidParameter(EINVAL);
    if (!src || destSize < count) {
        // The destination is cleared so no partial copy survives the error.
        memset(dest, 0, destSize);
        return ReportInvalidParameter(src ? ERANGE : EINVAL);
    }
    memcpy(dest, src, count);
    return 0;
}

int sprintf_s(char* buffer, size_t bufferCount, const char* format, ...) {
    if (!format || !buffer || bufferCount == 0) {
        ReportInvalidParameter(EINVAL);
        return -1;
    }
    va_list args;
    va_start(args, format);
    int length = vsnprintf(buffer, bufferCount, format, args);
    va_end(args);
    if (length < 0 || size_t(length) >= bufferCount) {
        // Never a truncated text: the caller gets an empty string instead.
        buffer[0] = '\0';
        ReportInvalidParameter(length < 0 ? EINVAL : ERANGE);
        return -1;
    }
    return length;
}

}  // extern "C"
