// MultiByteToWideChar for the two code pages the plug-in uses: strict UTF-8
// and the ANSI code page, which is Windows-1252 here as on a default
// Western-European Windows.
#include <string>

#include "winapi/zorv_windows.h"

namespace {

// Windows-1252's 0x80..0x9F; the five unassigned bytes map to the C1 control
// of the same value, as Windows does.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Cp1252ToUnit(unsigned char byte) {
    return (byte >= 0x80 && byte <= 0x9F) ? kCp1252High[byte - 0x80] : char16_t(byte);
}

// Decodes one UTF-8 sequence at `s`; returns its length, or 0 when it is not
// a valid, shortest-form encoding of a scalar value.
size_t DecodeUtf8(const unsigned char* s, size_t available, uint32_t* codePoint) {
    unsigned char lead = s[0];
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    size_t length;
    uint32_t value, minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (available < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (s[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return length;
}

bool AppendUtf8(const unsigned char* s, size_t n, bool strict, std::u16string* out) {
    size_t i = 0;
    while (i < n) {
        uint32_t c;
        size_t length = DecodeUtf8(s + i, n - i, &c);
        if (length == 0) {
            if (strict) return false;
            out->push_back(0xFFFD);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(char16_t(0xD800 + (c >> 10)));
            out->push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(char16_t(c));
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte,
                                   int multiByteCount, LPWSTR wideChar, int wideCharCount) {
    if (!multiByte || multiByteCount == 0 || multiByteCount < -1 || wideCharCount < 0 ||
        (wideCharCount > 0 && !wideChar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto bytes = reinterpret_cast<const unsigned char*>(multiByte);
    size_t n = multiByteCount == -1 ? std::char_traits<char>::length(multiByte) + 1
                                    : size_t(multiByteCount);
    std::u16string units;
    if (codePage == CP_UTF8) {
        if (!AppendUtf8(bytes, n, (flags & MB_ERR_INVALID_CHARS) != 0, &units)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else if (codePage == CP_ACP || codePage == 1252) {
        for (size_t i = 0; i < n; ++i) units.push_back(Cp1252ToUnit(bytes[i]));
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (wideCharCount == 0) return int(units.size());
    if (units.size() > size_t(wideCharCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    units.copy(wideChar, units.size());
    return int(units.size());
}
