#include "testhost/windows/screenshot.h"

#include <stdio.h>
#include <string.h>

namespace testhost {

namespace {

// How long pending drawing gets to reach the X server before the picture.
constexpr DWORD kPaintSettleMilliseconds = 150;

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class DibSection {
public:
    DibSection(HDC dc, int width, int height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // positive: bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    }
    ~DibSection() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;
    HBITMAP Get() const { return bitmap_; }
    const uint8_t* Bits() const { return static_cast<const uint8_t*>(bits_); }

private:
    HBITMAP bitmap_ = nullptr;
    void* bits_ = nullptr;
};

// Selects an object into a device context and puts the previous one back.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool Done() const { return previous_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The dialog was created moments ago and the scripted actions may have
// changed its controls: have everything painted now, and give Wine's
// asynchronous drawing on the X server a moment to land.
void PaintNow(HWND window) {
    // A modal dialog without WS_VISIBLE is shown once its queue first runs
    // empty; the scripted user keeps the queue busy, so the dialog can still
    // be hidden here, where a real user would long have seen it.
    if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    UpdateWindow(window);
    DWORD start = GetTickCount();
    MSG message;
    do {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
            DispatchMessageW(&message);
        GdiFlush();
        Sleep(10);
    } while (GetTickCount() - start < kPaintSettleMilliseconds);
}

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

BottomUpImage CaptureWindowFromScreen(HWND window) {
    BottomUpImage image;
    RECT rect = {0, 0, 0, 0};
    if (!IsWindow(window) || !GetWindowRect(window, &rect)) return image;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return image;
    PaintNow(window);

    ScreenDc screen;
    if (!screen.Get()) return image;
    MemoryDc memory(screen.Get());
    DibSection dib(screen.Get(), width, height);
    if (!memory.Get() || !dib.Get()) return image;
    {
        Selection selected(memory.Get(), dib.Get());
        if (!selected.Done() || !BitBlt(memory.Get(), 0, 0, width, height, screen.Get(),
                                        rect.left, rect.top, SRCCOPY | CAPTUREBLT))
            return image;
        GdiFlush();
    }
    image.width = width;
    image.height = height;
    const uint8_t* bits = dib.Bits();
    image.rows.assign(bits, bits + size_t(BottomUpImage::Stride(width)) * size_t(height));
    return image;
}

std::vector<uint8_t> EncodeBmp(const BottomUpImage& image) {
    const uint32_t headers = 14 + 40;
    std::vector<uint8_t> out;
    out.reserve(headers + image.rows.size());
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    PutLittleEndian(out, headers + uint32_t(image.rows.size()), 4);
    PutLittleEndian(out, 0, 4);  // two reserved words
    PutLittleEndian(out, headers, 4);
    // BITMAPINFOHEADER
    PutLittleEndian(out, 40, 4);
    PutLittleEndian(out, uint32_t(image.width), 4);
    PutLittleEndian(out, uint32_t(image.height), 4);
    PutLittleEndian(out, 1, 2);   // planes
    PutLittleEndian(out, 24, 2);  // bits per pixel
    PutLittleEndian(out, BI_RGB, 4);
    PutLittleEndian(out, uint32_t(image.rows.size()), 4);
    PutLittleEndian(out, 2835, 4);  // 72 dots per inch, in dots per metre
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 0, 4);  // colours used
    PutLittleEndian(out, 0, 4);  // important colours
    out.insert(out.end(), image.rows.begin(), image.rows.end());
    return out;
}

DialogScreenshot::DialogScreenshot() { SetDialogClosingHook(&DialogScreenshot::OnClosing, this); }

DialogScreenshot::~DialogScreenshot() { SetDialogClosingHook(nullptr, nullptr); }

void DialogScreenshot::OnClosing(void* context, HWND dialog, DialogClosing reason) {
    auto* self = static_cast<DialogScreenshot*>(context);
    BottomUpImage& slot = reason == DialogClosing::OkClick ? self->atOk_ : self->atHostCancel_;
    if (slot.Empty()) slot = CaptureWindowFromScreen(dialog);
}

const BottomUpImage* DialogScreenshot::Best() const {
    if (!atOk_.Empty()) return &atOk_;
    if (!atHostCancel_.Empty()) return &atHostCancel_;
    return nullptr;
}

bool DialogScreenshot::WriteBmp(const wchar_t* path) const {
    const BottomUpImage* image = Best();
    if (!image) return false;
    std::vector<uint8_t> bytes = EncodeBmp(*image);
    FILE* file = _wfopen(path, L"wb");
    if (!file) return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

}  // namespace testhost
