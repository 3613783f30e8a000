// The ticker's drawing with GDI.
#include "glancer/painter_win.h"

#include <algorithm>
#include <cmath>

namespace glancer {

namespace {

constexpr COLORREF kBackground = RGB(16, 24, 40);
constexpr COLORREF kTitleColour = RGB(255, 200, 60);
constexpr COLORREF kTextColour = RGB(240, 240, 240);
constexpr COLORREF kUpColour = RGB(40, 200, 80);
constexpr COLORREF kDownColour = RGB(235, 60, 60);
constexpr COLORREF kMarkerColour = RGB(200, 30, 30);
constexpr int kMarkerInset = 4, kMarkerPadding = 6;
constexpr int kAdMargin = 2;     // above and below an ad
constexpr size_t kMostAds = 64;  // bitmaps kept at once
constexpr char kFontFace[] = "Tahoma";

SIZE TextSize(HDC dc, const std::string& text) {
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

std::string QuoteHead(const Item& item) {
    return item.change.empty() ? item.text : item.text + " ";
}

}  // namespace

Painter::Painter(int thickness) : thickness_(thickness) {
    int height = -(thickness * 2 / 3);
    font_.Reset(
        CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0, kFontFace));
    bold_.Reset(CreateFontA(height, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0, kFontFace));
    WindowDC screen(nullptr);
    memDc_.Reset(CreateCompatibleDC(screen.get()));
    SetBkMode(memDc_.get(), TRANSPARENT);
    SetStretchBltMode(memDc_.get(), COLORONCOLOR);
}

Painter::~Painter() {
    if (oldBitmap_) SelectObject(memDc_.get(), oldBitmap_);  // the buffer can go only once it is out of the DC
}

const Painter::Bitmap* Painter::LoadAd(const std::string& dataDir, const std::string& file) {
    auto found = ads_.find(file);
    if (found != ads_.end()) return found->second.bytes.empty() ? nullptr : &found->second;
    if (ads_.size() >= kMostAds) ads_.clear();
    Bitmap& bitmap = ads_[file];
    if (!IsAdFileName(file)) return nullptr;
    std::string path = dataDir + "\\" + file;
    ScopedHandle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr));
    if (!h) {
        ads_.erase(file);  // not there yet: asked again next round
        return nullptr;
    }
    LARGE_INTEGER size;
    std::vector<uint8_t> bytes;
    if (GetFileSizeEx(h.get(), &size) && size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) <= kMaxBmpBytes) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
        bytes.resize(read);
    }
    if (!CheckBmp(bytes.data(), bytes.size(), &bitmap.info)) return nullptr;
    bitmap.bytes.swap(bytes);
    return &bitmap;
}

void Painter::Measure(Item& item, const std::string& dataDir) {
    item.width = 0;
    if (item.kind == ItemKind::Ad) {
        const Bitmap* bitmap = LoadAd(dataDir, item.file);
        if (!bitmap) return;
        int rows = std::abs(bitmap->info.height), height = thickness_ - 2 * kAdMargin;
        item.width = std::max(1, static_cast<int>(static_cast<int64_t>(bitmap->info.width) * height / rows));
        return;
    }
    SelectGuard font(memDc_.get(), item.kind == ItemKind::Title ? bold_.get() : font_.get());
    if (item.kind == ItemKind::Quote)
        item.width = TextSize(memDc_.get(), QuoteHead(item)).cx + TextSize(memDc_.get(), item.change).cx;
    else
        item.width = TextSize(memDc_.get(), item.text).cx;
}

void Painter::EnsureBuffer(int length) {
    if (buffer_ && length == bufferLength_) return;
    if (oldBitmap_) SelectObject(memDc_.get(), oldBitmap_);
    buffer_.Reset();
    // A DIB section of our own, so that a vertical bar can be turned pixel by pixel.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = length;
    info.bmiHeader.biHeight = -thickness_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    buffer_.Reset(CreateDIBSection(memDc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    pixels_ = static_cast<uint32_t*>(bits);
    oldBitmap_ = static_cast<HBITMAP>(SelectObject(memDc_.get(), buffer_.get()));
    bufferLength_ = length;
}

void Painter::DrawItem(const Item& item, int x) {
    if (item.kind == ItemKind::Ad) {
        auto found = ads_.find(item.file);
        if (found == ads_.end() || found->second.bytes.empty()) return;
        const Bitmap& b = found->second;
        const auto* info = reinterpret_cast<const BITMAPINFO*>(b.bytes.data() + b.info.headerOffset);
        StretchDIBits(memDc_.get(), x, kAdMargin, item.width, thickness_ - 2 * kAdMargin, 0, 0, b.info.width,
                      std::abs(b.info.height), b.bytes.data() + b.info.bitsOffset, info, DIB_RGB_COLORS, SRCCOPY);
        return;
    }
    bool title = item.kind == ItemKind::Title;
    SelectGuard font(memDc_.get(), title ? bold_.get() : font_.get());
    int y = (thickness_ - TextSize(memDc_.get(), "Hg").cy) / 2;
    std::string head = item.kind == ItemKind::Quote ? QuoteHead(item) : item.text;
    SetTextColor(memDc_.get(), title ? kTitleColour : kTextColour);
    TextOutA(memDc_.get(), x, y, head.c_str(), static_cast<int>(head.size()));
    if (item.kind == ItemKind::Quote && !item.change.empty()) {
        SetTextColor(memDc_.get(), item.direction < 0 ? kDownColour : item.direction > 0 ? kUpColour : kTextColour);
        TextOutA(memDc_.get(), x + TextSize(memDc_.get(), head).cx, y, item.change.c_str(),
                 static_cast<int>(item.change.size()));
    }
}

void Painter::DrawAhead(const Loop& loop, double start, int length) {
    EnsureBuffer(2 * length);
    RECT all = {0, 0, 2 * length, thickness_};
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(kBackground));
    FillRect(memDc_.get(), &all, brush.get());
    for (const Placed& p : loop.Span(start, 2 * length, loop.Length(length))) DrawItem(loop[p.index], p.x);
    drawn_ = true;
    drawnStart_ = start;
}

void Painter::Present(HDC target, int offset, int length, bool vertical) {
    if (!vertical) {
        BitBlt(target, 0, 0, length, thickness_, memDc_.get(), offset, 0, SRCCOPY);
        return;
    }
    // Turned a quarter clockwise: the strip's x runs down the bar, its top
    // row along the bar's right side.
    if (!pixels_ || offset < 0 || offset + length > bufferLength_) return;
    GdiFlush();
    turned_.resize(static_cast<size_t>(length) * thickness_);
    for (int y = 0; y < length; y++)
        for (int x = 0; x < thickness_; x++)
            turned_[static_cast<size_t>(y) * thickness_ + x] =
                pixels_[static_cast<size_t>(thickness_ - 1 - x) * bufferLength_ + offset + y];
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = thickness_;
    info.bmiHeader.biHeight = -length;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    SetDIBitsToDevice(target, 0, 0, thickness_, length, 0, 0, 0, length, turned_.data(), &info, DIB_RGB_COLORS);
}

void Painter::DrawFocus(HDC target, int x, int width, bool vertical) {
    RECT r = vertical ? RECT{0, x, thickness_, x + width} : RECT{x, 0, x + width, thickness_};
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(kTitleColour));
    FrameRect(target, &r, brush.get());
}

void Painter::Draw(HDC target, const Loop& loop, double position, int length, bool vertical) {
    bool inside = position >= drawnStart_ && position + length <= drawnStart_ + 2 * length;
    if (!drawn_ || bufferLength_ != 2 * length || !inside) DrawAhead(loop, std::floor(position), length);
    Present(target, static_cast<int>(std::floor(position - drawnStart_)), length, vertical);
}

RECT Painter::MarkerRect(const std::string& word, int length, bool vertical) {
    if (word.empty()) return {0, 0, 0, 0};
    int side = thickness_ - 2 * kMarkerInset;
    if (vertical) return {kMarkerInset, length - kMarkerInset - side, kMarkerInset + side, length - kMarkerInset};
    SelectGuard font(memDc_.get(), bold_.get());
    int width = TextSize(memDc_.get(), word).cx + 2 * kMarkerPadding;
    return {length - kMarkerInset - width, kMarkerInset, length - kMarkerInset, kMarkerInset + side};
}

void Painter::DrawMarker(HDC target, const std::string& word, int length, bool vertical) {
    if (word.empty()) return;
    RECT r = MarkerRect(word, length, vertical);
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(kMarkerColour));
    FillRect(target, &r, brush.get());
    if (vertical) return;
    SelectGuard font(target, bold_.get());
    SetBkMode(target, TRANSPARENT);
    SetTextColor(target, kTextColour);
    DrawTextA(target, word.c_str(), static_cast<int>(word.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

bool AnyAdBitmap(const std::string& dataDir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dataDir + "\\A*.bmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

}  // namespace glancer
