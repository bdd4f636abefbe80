// The UTF-16 buffers handed to the host.
#include <gtest/gtest.h>
#include <string.h>

#include "host/fin_pi_strings.h"

namespace {

using Buffer = FinPIVarLenStruct<unsigned short, 0>;

// Counts the virtual clear so tests see when Resize calls it.
class CountingBuffer : public Buffer {
public:
    void ClearBuffer() override {
        ++clears;
        Buffer::ClearBuffer();
    }
    int clears = 0;
};

std::u16string Text(const FinPIVarStringUtf16& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.buffer));
}

TEST(Utf16String, HoldsTheTextAndOneZeroUnit) {
    FinPIVarStringUtf16 empty("");
    ASSERT_NE(empty.buffer, nullptr);
    EXPECT_EQ(empty.byteSize, 2u);
    EXPECT_EQ(empty.buffer[0], 0);

    FinPIVarStringUtf16 title("Zorv Accel/Rit");
    EXPECT_EQ(title.byteSize, 30u);
    EXPECT_EQ(Text(title), u"Zorv Accel/Rit");
    EXPECT_EQ(title.buffer[14], 0);
}

TEST(Utf16String, DecodesUtf8FirstAndFallsBackToTheAnsiCodePage) {
    FinPIVarStringUtf16 utf8("a\xC3\xA9z");  // valid UTF-8: three units
    EXPECT_EQ(Text(utf8), u"a\u00E9z");
    EXPECT_EQ(utf8.byteSize, 8u);

    FinPIVarStringUtf16 ansi("a\xE9z");  // not UTF-8: Windows-1252
    EXPECT_EQ(Text(ansi), u"a\u00E9z");
    EXPECT_EQ(ansi.byteSize, 8u);

    FinPIVarStringUtf16 euro("\x80 5");
    EXPECT_EQ(Text(euro), u"\u20AC 5");
}

TEST(Utf16Buffer, ResizeKeepsLeadingBytesAndZeroesTheRest) {
    CountingBuffer buffer;
    EXPECT_EQ(buffer.Resize(8), 1);
    EXPECT_EQ(buffer.clears, 1);  // a fresh block is cleared through the virtual
    EXPECT_EQ(buffer.byteSize, 8u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(buffer.buffer[i], 0);

    EXPECT_EQ(buffer.Resize(30), 1);
    EXPECT_EQ(buffer.clears, 1);  // growing an existing block copies instead
    for (int i = 0; i < 15; ++i) buffer.buffer[i] = static_cast<unsigned short>(0x4100 + i);

    EXPECT_EQ(buffer.Resize(10), 1);
    EXPECT_EQ(buffer.byteSize, 10u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(buffer.buffer[i], 0x4100 + i);

    EXPECT_EQ(buffer.Resize(30), 1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(buffer.buffer[i], 0x4100 + i);
    for (int i = 5; i < 15; ++i) EXPECT_EQ(buffer.buffer[i], 0) << i;

    EXPECT_EQ(buffer.Resize(0), 0);
    EXPECT_EQ(buffer.buffer, nullptr);
    EXPECT_EQ(buffer.byteSize, 0u);
    EXPECT_EQ(buffer.Resize(0), 0);  // an empty object stays empty
    EXPECT_EQ(buffer.clears, 1);
}

TEST(Utf16Buffer, ClearBufferZeroesEveryByte) {
    FinPIVarStringUtf16 text("abc");
    text.ClearBuffer();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(text.buffer[i], 0);
    Buffer empty;
    empty.ClearBuffer();
    EXPECT_EQ(empty.buffer, nullptr);
}

}  // namespace
