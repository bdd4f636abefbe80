// The UTF-16 text built from arbitrary narrow bytes, compared with a decoder
// of the target's own: strict UTF-8 when the whole text is well-formed, else
// Windows-1252 byte by byte (the ANSI code page of the emulation).
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "host/fin_pi_strings.h"

namespace {

// Windows-1252 at 0x80..0x9F; the five bytes it leaves unassigned stay the
// C1 control of the same number.
const char16_t kWindows1252[32] = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178'};

std::u16string FromWindows1252(const std::string& text) {
    std::u16string out;
    for (unsigned char byte : text)
        out.push_back(byte >= 0x80 && byte <= 0x9F ? kWindows1252[byte - 0x80] : char16_t(byte));
    return out;
}

// The well-formed byte sequences by lead byte: how many continuation bytes
// follow and the range the first of them must lie in (the others lie in
// 0x80..0xBF). This excludes overlong forms, surrogates and values past
// U+10FFFF without decoding first.
struct LeadRule {
    int continuations;
    unsigned char low, high;
};

bool RuleFor(unsigned char lead, LeadRule* rule) {
    if (lead < 0x80) *rule = {0, 0, 0};
    else if (lead >= 0xC2 && lead <= 0xDF) *rule = {1, 0x80, 0xBF};
    else if (lead == 0xE0) *rule = {2, 0xA0, 0xBF};
    else if (lead == 0xED) *rule = {2, 0x80, 0x9F};
    else if (lead >= 0xE1 && lead <= 0xEF) *rule = {2, 0x80, 0xBF};
    else if (lead == 0xF0) *rule = {3, 0x90, 0xBF};
    else if (lead >= 0xF1 && lead <= 0xF3) *rule = {3, 0x80, 0xBF};
    else if (lead == 0xF4) *rule = {3, 0x80, 0x8F};
    else return false;
    return true;
}

void AppendScalar(uint32_t scalar, std::u16string* out) {
    if (scalar < 0x10000) {
        out->push_back(char16_t(scalar));
        return;
    }
    scalar -= 0x10000;
    out->push_back(char16_t(0xD800 | (scalar >> 10)));
    out->push_back(char16_t(0xDC00 | (scalar & 0x3FF)));
}

bool FromStrictUtf8(const std::string& text, std::u16string* out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        LeadRule rule;
        if (!RuleFor(bytes[i], &rule)) return false;
        if (text.size() - i < size_t(rule.continuations) + 1) return false;
        static const unsigned char kLeadMask[4] = {0x7F, 0x1F, 0x0F, 0x07};
        uint32_t scalar = bytes[i] & kLeadMask[rule.continuations];
        for (int k = 1; k <= rule.continuations; ++k) {
            const unsigned char next = bytes[i + k];
            const unsigned char low = k == 1 ? rule.low : 0x80;
            const unsigned char high = k == 1 ? rule.high : 0xBF;
            if (next < low || next > high) return false;
            scalar = (scalar << 6) | (next & 0x3F);
        }
        AppendScalar(scalar, out);
        i += size_t(rule.continuations) + 1;
    }
    return true;
}

std::u16string Expected(const std::string& text) {
    std::u16string utf8;
    if (FromStrictUtf8(text, &utf8)) return utf8;
    return FromWindows1252(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The constructor takes a zero-terminated string: the text ends at the
    // first zero byte.
    const char* bytes = reinterpret_cast<const char*>(data);
    const std::string text(bytes, strnlen(bytes, size));
    const std::u16string expected = Expected(text);

    FinPIVarStringUtf16 converted(text.c_str());
    FUZZ_CHECK(converted.buffer != nullptr);
    FUZZ_CHECK(converted.byteSize == 2 * (expected.size() + 1));
    FUZZ_CHECK(memcmp(converted.buffer, expected.data(), 2 * expected.size()) == 0);
    FUZZ_CHECK(converted.buffer[expected.size()] == 0);
    return 0;
}
