// FINALE.EXE --screenshot: the plug-in's dialog photographed from the screen
// as the user sees it, right before the scripted user confirms it.
#pragma once

#include <stdint.h>

#include <vector>

#include "testhost/core/dialog_script.h"
#include "winapi/zorv_windows.h"

namespace testhost {

// A 24-bit picture in the layout of a bottom-up DIB: rows of blue, green,
// red bytes, each row padded to a multiple of four bytes, the bottom row
// first.
struct BottomUpImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rows;

    static int Stride(int width) { return (width * 3 + 3) & ~3; }
    bool Empty() const { return width <= 0 || height <= 0; }
};

// The window's rectangle as it stands on the screen, after the window has
// painted itself; empty when nothing could be read.
BottomUpImage CaptureWindowFromScreen(HWND window);

// The bytes of a BMP file holding the image.
std::vector<uint8_t> EncodeBmp(const BottomUpImage& image);

// While it lives, photographs the dialog before the first scripted click on
// OK and before the first Cancel of the host; the picture taken at OK is
// preferred, so a scenario without an OK click still yields one.
class DialogScreenshot {
public:
    DialogScreenshot();
    ~DialogScreenshot();
    DialogScreenshot(const DialogScreenshot&) = delete;
    DialogScreenshot& operator=(const DialogScreenshot&) = delete;

    const BottomUpImage* Best() const;
    // Writes the preferred picture as a BMP file; false without a picture
    // or when the file cannot be written.
    bool WriteBmp(const wchar_t* path) const;

private:
    static void OnClosing(void* context, HWND dialog, DialogClosing reason);

    BottomUpImage atOk_;
    BottomUpImage atHostCancel_;
};

}  // namespace testhost
