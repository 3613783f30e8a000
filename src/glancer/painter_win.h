// Draws the ticker's strip: measures items, keeps the ads' bitmaps, and keeps
// the strip drawn ahead in a back buffer twice the bar's length, so that a
// frame is one blit from it (turned a quarter for a bar at the left or right
// edge) and the items are drawn again only once per bar length scrolled.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/scoped_win.h"
#include "glancer/ticker_model.h"

namespace glancer {

class Painter {
public:
    explicit Painter(int thickness);
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    int thickness() const { return thickness_; }
    // Sets the item's width; an ad whose bitmap cannot be used gets 0.
    void Measure(Item& item, const std::string& dataDir);
    // Paints the bar of `length` pixels at the position into the target,
    // horizontally or turned for a vertical bar.
    void Draw(HDC target, const Loop& loop, double position, int length, bool vertical);
    // The loop changed: the next frame draws the strip again.
    void Invalidate() { drawn_ = false; }
    // Copies the bar from the back buffer, `offset` pixels into it, to the target.
    void Present(HDC target, int offset, int length, bool vertical);
    // The status marker over the end of the bar (a word on red; a red square
    // on a vertical bar), and where it lies in the window; empty word: none.
    void DrawMarker(HDC target, const std::string& word, int length, bool vertical);
    RECT MarkerRect(const std::string& word, int length, bool vertical);
    // Frames the item the keyboard chose, `x` pixels along the bar.
    void DrawFocus(HDC target, int x, int width, bool vertical);

private:
    struct Bitmap {
        std::vector<uint8_t> bytes;  // the whole file, checked
        BmpInfo info;
    };
    const Bitmap* LoadAd(const std::string& dataDir, const std::string& file);
    void EnsureBuffer(int length);
    void DrawItem(const Item& item, int x);
    // Draws the strip from `start` for twice the bar's length.
    void DrawAhead(const Loop& loop, double start, int length);

    int thickness_;
    ScopedGdiObject<HFONT> font_, bold_;
    ScopedMemoryDC memDc_;
    ScopedGdiObject<HBITMAP> buffer_;
    HBITMAP oldBitmap_ = nullptr;
    uint32_t* pixels_ = nullptr;    // the buffer's pixels, rows top-down
    std::vector<uint32_t> turned_;  // a vertical bar's pixels
    int bufferLength_ = 0;
    bool drawn_ = false;  // the buffer holds the strip from drawnStart_
    double drawnStart_ = 0;
    std::map<std::string, Bitmap> ads_;  // by file name; a failed one is kept empty
};

// Some ad's bitmap ("A*.bmp") has arrived in the data directory: until one
// has, fetching an ad would count a view of nothing.
bool AnyAdBitmap(const std::string& dataDir);

}  // namespace glancer
