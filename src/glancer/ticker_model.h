// The ticker's platform-free half: what the loop holds, where each piece sits
// at a given moment, where the bar lies on the screen, and the checks that
// every text, quote, link and bitmap from the shared areas passes before it
// is drawn or opened. The window side only measures, draws and asks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/records.h"

namespace glancer {

enum class ItemKind { Title, Headline, Quote, Ad };

// One piece of the loop. Texts are already made safe to draw.
struct Item {
    ItemKind kind = ItemKind::Headline;
    uint32_t topic = 0xFFFFFFFF;
    uint32_t msg = 0xFFFFFFFF;
    std::string text;     // title, headline, or a quote's symbol and last price
    std::string change;   // a quote's change, drawn in its colour
    int direction = 0;    // a quote's change: 1 up, -1 down, 0 flat
    std::string hint;     // the topic's hint, for the tool tip
    std::string link;     // where a click goes; empty: nowhere
    std::string file;     // an ad's bitmap in the data directory
    int32_t updated = 0;  // a title: when its topic was last brought up to date (-1 never)
    std::string failure;  // a title: why its topic's last update failed; empty when it did not
    int width = 0;        // pixels, measured by the window side
};

// An ad's place in the loop before the ad is fetched: fetching one counts a
// view, so it is fetched only when its place is about to scroll in.
inline bool IsAdSlot(const Item& item) {
    return item.kind == ItemKind::Ad && item.msg == 0xFFFFFFFF;
}

// Where one item is drawn: its index and its left edge in the bar.
struct Placed {
    size_t index;
    int x;
};

// The loop of items and the gap after each. Positions run from 0 to
// Length(): the items one after the other, then blank up to the bar's
// width when they do not fill it.
class Loop {
public:
    explicit Loop(int gap = 40) : gap_(gap) {}

    void Clear();
    // An item of width 0 (an ad slot) takes no room.
    void Append(const Item& item);
    // Puts another item in place i; those after it move.
    void Replace(size_t i, const Item& item);
    size_t size() const { return items_.size(); }
    const Item& operator[](size_t i) const { return items_[i]; }
    bool Contains(uint32_t topic, uint32_t msg) const;
    // Where item i begins in the round.
    int StartOfItem(size_t i) const { return starts_[i]; }

    // The length of one round for a bar this wide (at least 1).
    int Length(int view) const;
    // The items that show in [position, position + view); position is taken
    // modulo the round.
    std::vector<Placed> Visible(double position, int view) const;
    // The same for a span of any width over rounds of the given length: an
    // item shows once for every round that reaches into the span.
    std::vector<Placed> Span(double position, int width, int length) const;
    // The item at bar pixel x, or -1 for a gap.
    int HitTest(double position, int view, int x) const;
    // The round position where the next (direction 1) or the previous
    // (direction -1) topic's title starts, seen from position; position
    // itself when the loop holds no title.
    double TopicStart(double position, int view, int direction) const;
    // Where the title of the topic starts, or -1.
    double StartOf(uint32_t topic) const;
    // The item whose span holds the bar's left edge, or -1.
    int FirstShown(double position, int view) const;
    // An ad slot that shows in the bar or comes in within `ahead` pixels, or -1.
    int DueAdSlot(double position, int view, int ahead) const;

private:
    int Extent(const Item& item) const;
    int Start(size_t i) const { return starts_[i]; }
    int gap_;
    int total_ = 0;
    std::vector<Item> items_;
    std::vector<int> starts_;
};

// The scroll position as a function of time: a steady speed in pixels a
// second from an anchor, so that a late timer never slows the text down.
class ScrollClock {
public:
    double Position(double nowMs) const;
    void SetSpeed(double nowMs, double pixelsPerSecond);
    void SetPaused(double nowMs, bool paused);
    void JumpTo(double nowMs, double position);
    bool paused() const { return paused_; }

private:
    void Rebase(double nowMs);
    double anchorMs_ = 0;
    double anchorPosition_ = 0;
    double speed_ = 80;
    bool paused_ = false;
    bool started_ = false;  // time counts from the first call that names a moment
};

// A stock quote as the quote topic titles it: "SYMBOL;LAST;CHANGE;TIME",
// the time and even the change may be missing. Last and change are shown as
// a trader reads them: "112 1/2", a change "-3/8" or "+1 1/4" in its
// colour, no change as "unch".
struct Quote {
    std::string symbol, last, change, time;
    int direction = 0;
};
bool ParseQuote(const std::string& title, Quote* quote);
constexpr char kUnchanged[] = "unch";

// A price or a change in every form the agent writes: a decimal ("101.25",
// "+0.000", "1,234.5") or a whole number and a fraction whose denominator is
// a power of two ("112 1/2", "-0 3/8"); its sign: -1, 0 for zero, 1.
bool ReadPrice(const std::string& text, std::string* shown, int* sign);

// What a bar with nothing to scroll says. The bar draws single-byte text in
// the ANSI code page, whose dash is 0x97.
constexpr char kNoNewsText[] = "No news yet \x97 Tidewell is fetching";
constexpr char kNoTopicsText[] = "No topics: add one with Preferences (right-click this bar)";
// The text for a loop of these items when it has no headline or quote to
// show (kNoTopicsText without titles, kNoNewsText with), else nothing.
const char* EmptyBarText(const std::vector<Item>& items);

// The agent as the bar's marker tells of it; no marker while it works.
struct AgentState {
    bool connected = false;  // both conversations open
    bool busy = false;       // an agent runs but refused or did not answer
    uint32_t passive = 0;    // the record's Passive: updates switched off
    uint32_t jobsHeld = 0;   // the record's JobsHeld: another program holds them
};
// The topics whose last update failed: the first one's title and failure,
// and how many in all.
struct Failures {
    std::string topic, failure;
    int count = 0;
};
Failures FailuresOf(const std::vector<Item>& items);
// The marker's word and, in its tool tip, the reason; empty word: no marker.
struct Marker {
    std::string word, reason;
};
// The agent's state first; failed updates only while it works.
Marker StatusMarker(const AgentState& state, const Failures& failures = {});

// How long ago a topic was brought up to date, for its title's tool tip:
// "Brought up to date 5 minutes ago"; updated -1 (or 0): not yet.
std::string UpdatedText(int32_t updated, int32_t now);

// A topic title's `updated` and `failure`, from the agent's note of its
// last update, or for a record without one, from its last request.
void ReadUpdateState(const TopicRecord& topic, Item* title);

// A text field from memory another program writes: read up to its size,
// no terminator needed, control characters become blanks, blanks at both
// ends go, and at most maxChars characters remain.
std::string SafeText(const char* field, size_t size, size_t maxChars = 200);

// A text that must be whole to be used (an address, a path): the field's
// text when it ends within the field, else nothing.
std::string WholeText(const char* field, size_t size);

// Only web addresses are opened: "http://" or "https://", then printable
// characters without blanks or quotes, at most 1023 in all.
bool IsWebLink(const std::string& link);
// The link of a message: its own address when that is a web link, else
// the topic's base address followed by it; empty when neither makes one.
std::string MessageLink(const std::string& url, const std::string& base);
// An ad's bitmap: a plain file name ending in ".bmp", no folder in it.
bool IsAdFileName(const std::string& name);

// A Windows bitmap file checked before any byte of it is used.
struct BmpInfo {
    int width = 0;
    int height = 0;  // rows; negative in the file means top-down
    uint16_t bitCount = 0;
    uint32_t headerOffset = 14;  // the info header
    uint32_t bitsOffset = 0;     // the pixels
};
constexpr int kMaxBmpWidth = 2000, kMaxBmpHeight = 400;
constexpr size_t kMaxBmpBytes = 4u << 20;
bool CheckBmp(const uint8_t* data, size_t size, BmpInfo* info);

// Screen geometry. Edges as in EdgeDockedOn: 0 left, 1 top, 2 right, 3 bottom.
struct Rect {
    int left, top, right, bottom;
};
// The bar's window at the edge of the screen, thickness pixels across, of
// which only `shown` are on the screen (the rest slid past the edge).
Rect DockRect(const Rect& screen, uint32_t edge, int thickness, int shown);
bool IsVerticalEdge(uint32_t edge);
// The shown part after elapsedMs of sliding towards target.
int SlideToward(int shown, int target, double elapsedMs, int thickness);
constexpr double kSlideMs = 180;  // a whole slide
constexpr int kHiddenSliver = 2;  // what stays on the screen to be touched

}  // namespace glancer
