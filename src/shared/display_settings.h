// What the display words of the shared record mean to the programs of the
// product. The agent only stores, persists and forwards them; the ticker
// (Glancer) reads them and the preferences library edits them. Everything
// here is read from memory other programs can write, so every value is
// checked against its range and a record without our mark means "defaults".
//
// DisplaySettings (388 bytes, 97 little-endian 32-bit words):
//   word 0  kDisplayMark when the words below are set, anything else: defaults
//   word 1  the screen edge the ticker docks at: 0 left, 1 top, 2 right,
//           3 bottom (the values of EdgeDockedOn)
//   word 2  non-zero: the ticker stays on top of other windows
//   word 3  non-zero: the ticker slides away and comes back at the edge
//   word 4  scroll speed in pixels a second, kMinSpeed to kMaxSpeed
//   words 5, 6  the top left corner (signed x, y) of the monitor the ticker
//           docks on; one no monitor holds any more means the primary one,
//           which holds 0, 0
//   the other words are zero
// A ticker that takes new settings writes them into DisplaySettings and into
// EdgeDockedOn, AlwaysOnTop and AutoHide, so that both the data file and the
// settings file keep them.
// DisplayPreference: what the ticker shows between headlines: bit kShowQuotes
//   (1) shows the stock quotes, bit kHideAds (2) leaves the ads out; the
//   agent's default 1 shows both.
// DisplayValue: the topic id the ticker showed last (-1 or 0 when none), so
//   that a restarted ticker goes on where it left off.
#pragma once

#include <cstdint>
#include <cstring>

#include "shared/config_data.h"

namespace display {

constexpr uint32_t kDisplayMark = 0x31475754;  // "TWG1"
constexpr uint32_t kEdgeLeft = 0, kEdgeTop = 1, kEdgeRight = 2, kEdgeBottom = 3;
constexpr uint32_t kMinSpeed = 20, kMaxSpeed = 400, kDefaultSpeed = 80;
constexpr int32_t kShowQuotes = 1, kHideAds = 2;

struct Settings {
    uint32_t edge = kEdgeTop;
    bool onTop = true;
    bool autoHide = false;
    uint32_t speed = kDefaultSpeed;
    int32_t monitorX = 0, monitorY = 0;
};

constexpr int kWordMark = 0, kWordEdge = 1, kWordOnTop = 2, kWordAutoHide = 3, kWordSpeed = 4, kWordMonitorX = 5,
              kWordMonitorY = 6;
constexpr int kWords = sizeof(CConfigData::DisplaySettings) / 4;

inline uint32_t Word(const uint8_t* bytes, int index) {
    uint32_t value;
    memcpy(&value, bytes + 4 * index, 4);
    return value;
}

// The settings the 388 bytes hold; values out of range fall back one by one.
inline Settings Decode(const uint8_t* bytes) {
    Settings s;
    if (Word(bytes, kWordMark) != kDisplayMark) return s;
    uint32_t edge = Word(bytes, kWordEdge), speed = Word(bytes, kWordSpeed);
    if (edge <= kEdgeBottom) s.edge = edge;
    s.onTop = Word(bytes, kWordOnTop) != 0;
    s.autoHide = Word(bytes, kWordAutoHide) != 0;
    if (speed >= kMinSpeed && speed <= kMaxSpeed) s.speed = speed;
    s.monitorX = static_cast<int32_t>(Word(bytes, kWordMonitorX));
    s.monitorY = static_cast<int32_t>(Word(bytes, kWordMonitorY));
    return s;
}

// The settings a display program starts with: the display words when they
// carry the mark, otherwise the edge, on-top and auto-hide values of the
// settings file as the record holds them, at the default speed.
inline Settings FromRecord(const CConfigData& cfg) {
    if (Word(cfg.DisplaySettings, kWordMark) == kDisplayMark) return Decode(cfg.DisplaySettings);
    Settings s;
    if (cfg.EdgeDockedOn >= 0 && cfg.EdgeDockedOn <= static_cast<int32_t>(kEdgeBottom)) s.edge = cfg.EdgeDockedOn;
    s.onTop = cfg.AlwaysOnTop != 0;
    s.autoHide = cfg.AutoHide != 0;
    return s;
}

// Writes the settings as the 388 bytes, every unused word zero.
inline void Encode(const Settings& s, uint8_t* bytes) {
    uint32_t words[kWords] = {};
    words[kWordMark] = kDisplayMark;
    words[kWordEdge] = s.edge;
    words[kWordOnTop] = s.onTop;
    words[kWordAutoHide] = s.autoHide;
    words[kWordSpeed] = s.speed;
    words[kWordMonitorX] = static_cast<uint32_t>(s.monitorX);
    words[kWordMonitorY] = static_cast<uint32_t>(s.monitorY);
    memcpy(bytes, words, sizeof(words));
}

// Keeps settings where the data file and the settings file find them: the
// display words and the settings file's edge, on-top and auto-hide.
inline void Store(const Settings& s, CConfigData& cfg) {
    Encode(s, cfg.DisplaySettings);
    cfg.EdgeDockedOn = static_cast<int32_t>(s.edge);
    cfg.AlwaysOnTop = s.onTop;
    cfg.AutoHide = s.autoHide;
}

}  // namespace display
