// Draws the ticker's strip: measures items, keeps the ads' bitmaps, and paints
// one frame into a back buffer that goes to the window in one blit (turned a
// quarter for a bar at the left or right edge).
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

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
    // Paints the strip of `length` pixels at the position into the target,
    // horizontally or turned for a vertical bar.
    void Draw(HDC target, const Loop& loop, double position, int length, bool vertical);
    // Paints only the strip into the back buffer (for measuring the cost of a frame).
    void DrawStrip(const Loop& loop, double position, int length);
    // Copies the back buffer to the target as it stands.
    void Present(HDC target, int length, bool vertical);

private:
    struct Bitmap {
        std::vector<uint8_t> bytes;  // the whole file, checked
        BmpInfo info;
    };
    const Bitmap* LoadAd(const std::string& dataDir, const std::string& file);
    void EnsureBuffer(int length);
    void DrawItem(const Item& item, int x);

    int thickness_;
    HFONT font_ = nullptr, bold_ = nullptr;
    HDC memDc_ = nullptr;
    HBITMAP buffer_ = nullptr, oldBitmap_ = nullptr;
    int bufferLength_ = 0;
    std::map<std::string, Bitmap> ads_;  // by file name; a failed one is kept empty
};

}  // namespace glancer
