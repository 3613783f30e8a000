// The ticker's loop, scroll clock, geometry and input checks.
#include "glancer/ticker_model.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "base/strutil.h"
#include "shared/update_outcome.h"

namespace glancer {

namespace {

// position modulo the round, in [0, length).
double Wrap(double position, int length) {
    double r = std::fmod(position, static_cast<double>(length));
    return r < 0 ? r + length : r;
}

}  // namespace

void Loop::Clear() {
    items_.clear();
    starts_.clear();
    total_ = 0;
}

int Loop::Extent(const Item& item) const {
    return item.width > 0 ? item.width + gap_ : 0;  // an empty ad slot takes no room
}

void Loop::Append(const Item& item) {
    items_.push_back(item);
    starts_.push_back(total_);
    total_ += Extent(item);
}

void Loop::Replace(size_t i, const Item& item) {
    if (i >= items_.size()) return;
    items_[i] = item;
    total_ = starts_[i];
    for (; i < items_.size(); i++) {
        starts_[i] = total_;
        total_ += Extent(items_[i]);
    }
}

int Loop::DueAdSlot(double position, int view, int ahead) const {
    int length = Length(view);
    double origin = Wrap(position, length);
    for (size_t i = 0; i < items_.size(); i++) {
        if (!IsAdSlot(items_[i])) continue;
        if (Wrap(Start(i) - origin, length) < view + ahead) return static_cast<int>(i);
    }
    return -1;
}

bool Loop::Contains(uint32_t topic, uint32_t msg) const {
    for (const Item& item : items_)
        if (item.topic == topic && item.msg == msg) return true;
    return false;
}

int Loop::Length(int view) const {
    return std::max(std::max(total_, view + gap_), 1);
}

std::vector<Placed> Loop::Visible(double position, int view) const {
    return Span(position, view, Length(view));
}

std::vector<Placed> Loop::Span(double position, int width, int length) const {
    std::vector<Placed> shown;
    if (length < 1) return shown;
    double origin = Wrap(position, length);
    int rounds = width / length + 2;
    for (size_t i = 0; i < items_.size(); i++) {
        if (items_[i].width <= 0) continue;
        for (int round = 0; round < rounds; round++) {
            double x = Start(i) + round * static_cast<double>(length) - origin;
            if (x >= width) break;
            if (x + items_[i].width > 0) shown.push_back({i, static_cast<int>(std::floor(x))});
        }
    }
    return shown;
}

int Loop::HitTest(double position, int view, int x) const {
    for (const Placed& p : Visible(position, view))
        if (x >= p.x && x < p.x + items_[p.index].width) return static_cast<int>(p.index);
    return -1;
}

int Loop::FirstShown(double position, int view) const {
    int length = Length(view);
    double origin = Wrap(position, length);
    for (size_t i = 0; i < items_.size(); i++)
        if (origin >= Start(i) && origin < Start(i) + items_[i].width + gap_) return static_cast<int>(i);
    return -1;
}

double Loop::TopicStart(double position, int view, int direction) const {
    int length = Length(view);
    double origin = Wrap(position, length);
    double best = position;
    double bestDistance = 0;
    for (size_t i = 0; i < items_.size(); i++) {
        if (items_[i].kind != ItemKind::Title) continue;
        // The distance from here to this title, going in the asked direction.
        double distance = direction > 0 ? Wrap(Start(i) - origin, length) : Wrap(origin - Start(i), length);
        if (distance < 1) distance += length;  // the title already at the edge is not the next one
        if (bestDistance == 0 || distance < bestDistance) {
            bestDistance = distance;
            best = position + (direction > 0 ? distance : -distance);
        }
    }
    return best;
}

double Loop::StartOf(uint32_t topic) const {
    for (size_t i = 0; i < items_.size(); i++)
        if (items_[i].kind == ItemKind::Title && items_[i].topic == topic) return Start(i);
    return -1;
}

double ScrollClock::Position(double nowMs) const {
    if (paused_ || !started_) return anchorPosition_;
    return anchorPosition_ + speed_ * (nowMs - anchorMs_) / 1000.0;
}

void ScrollClock::Rebase(double nowMs) {
    anchorPosition_ = Position(nowMs);
    anchorMs_ = nowMs;
    started_ = true;
}

void ScrollClock::SetSpeed(double nowMs, double pixelsPerSecond) {
    Rebase(nowMs);
    speed_ = pixelsPerSecond;
}

void ScrollClock::SetPaused(double nowMs, bool paused) {
    Rebase(nowMs);
    paused_ = paused;
}

void ScrollClock::JumpTo(double nowMs, double position) {
    anchorMs_ = nowMs;
    anchorPosition_ = position;
    started_ = true;
}

namespace {

std::vector<std::string> SplitFields(const std::string& text, char separator) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == separator)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits, with "," between thousands and at most one ".": "1,234.5".
bool IsDecimal(const std::string& text) {
    size_t digits = 0, dots = 0;
    for (char c : text) {
        if (IsDigit(c))
            digits++;
        else if (c == '.')
            dots++;
        else if (c != ',')
            return false;
    }
    return digits > 0 && dots <= 1 && IsDigit(text[0]);
}

// A few plain digits: a numerator or a denominator.
bool SmallNumber(const std::string& text, int* value) {
    if (text.empty() || text.size() > 4) return false;
    *value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        *value = *value * 10 + (c - '0');
    }
    return true;
}

bool AllZero(const std::string& number) {
    for (char c : number)
        if (c >= '1' && c <= '9') return false;
    return true;
}

// "3 10/2" (what the agent makes of an exponent) carried into "8".
bool CarryFraction(std::string* whole, int* numerator, int denominator) {
    if (*numerator < denominator) return true;
    std::string digits;
    for (char c : *whole)
        if (c != ',') digits += c;
    if (digits.size() > 9) return false;
    long long value = std::stoll(digits) + *numerator / denominator;
    *whole = std::to_string(value);
    *numerator %= denominator;
    return true;
}

}  // namespace

bool ReadPrice(const std::string& text, std::string* shown, int* sign) {
    std::string body = text;
    char signChar = body.empty() ? 0 : body[0];
    if (signChar == '+' || signChar == '-') body.erase(0, 1);
    size_t blank = body.find(' ');
    bool zero = AllZero(body);
    if (blank != std::string::npos) {
        // A whole number and a fraction of a power of two: "112 1/2", "-0 3/8".
        std::string whole = body.substr(0, blank), fraction = body.substr(blank + 1);
        size_t slash = fraction.find('/');
        int numerator = 0, denominator = 0;
        if (!IsDecimal(whole) || whole.find('.') != std::string::npos || slash == std::string::npos ||
            !SmallNumber(fraction.substr(0, slash), &numerator) ||
            !SmallNumber(fraction.substr(slash + 1), &denominator) || denominator < 2 ||
            (denominator & (denominator - 1)) != 0 || numerator < 1 || !CarryFraction(&whole, &numerator, denominator))
            return false;
        fraction = numerator ? std::to_string(numerator) + "/" + std::to_string(denominator) : "";
        // A trader says "3/8", not "0 3/8".
        body = AllZero(whole) ? fraction : fraction.empty() ? whole : whole + " " + fraction;
        zero = false;
    } else if (!IsDecimal(body)) {
        return false;
    }
    *sign = zero ? 0 : signChar == '-' ? -1 : 1;
    *shown = (*sign < 0 ? "-" : "") + body;
    return true;
}

bool ParseQuote(const std::string& title, Quote* quote) {
    std::vector<std::string> fields = SplitFields(title, ';');
    for (std::string& field : fields) field = Trimmed(field);
    Quote q;
    int sign = 0;
    if (fields.size() < 2 || fields[0].empty() || fields[0].size() > 15 || !ReadPrice(fields[1], &q.last, &sign))
        return false;
    q.symbol = fields[0];
    if (fields.size() > 2 && ReadPrice(fields[2], &q.change, &q.direction)) {
        if (q.direction > 0) q.change = "+" + q.change;
        if (q.direction == 0) q.change = kUnchanged;
    }
    if (fields.size() > 3) q.time = fields[3];
    *quote = q;
    return true;
}

const char* EmptyBarText(const std::vector<Item>& items) {
    bool titles = false;
    for (const Item& item : items) {
        if (item.kind == ItemKind::Headline || item.kind == ItemKind::Quote) return "";
        titles |= item.kind == ItemKind::Title;
    }
    return titles ? kNoNewsText : kNoTopicsText;
}

Failures FailuresOf(const std::vector<Item>& items) {
    Failures failures;
    for (const Item& item : items) {
        if (item.kind != ItemKind::Title || item.failure.empty()) continue;
        if (failures.count++ == 0) failures.topic = item.text, failures.failure = item.failure;
    }
    return failures;
}

Marker StatusMarker(const AgentState& state, const Failures& failures) {
    if (state.busy) return {"busy", "The agent runs but does not answer yet; the bar asks again every second."};
    if (!state.connected) return {"offline", "The agent is not running: no news arrives."};
    if (state.passive) return {"offline", "The agent works offline: no topic is brought up to date."};
    if (state.jobsHeld) return {"held", "Another program holds the agent's updates for now."};
    if (failures.count == 0) return {};
    std::string reason = "The last update of \"" + failures.topic + "\" failed: " + failures.failure + ".";
    if (failures.count > 1) reason += " " + std::to_string(failures.count) + " topics failed.";
    return {"failed", reason};
}

void ReadUpdateState(const TopicRecord& topic, Item* title) {
    UpdateOutcome outcome;
    if (!ReadOutcome(topic, &outcome)) {
        title->updated = topic.tmLastUpdate;
        return;
    }
    title->updated = outcome.answered > 0 ? outcome.answered : -1;
    title->failure = FailureText(outcome);
}

std::string UpdatedText(int32_t updated, int32_t now) {
    if (updated <= 0) return "Not brought up to date yet";
    int64_t seconds = static_cast<int64_t>(now) - updated;
    if (seconds < 60) return "Brought up to date just now";
    struct Unit {
        int64_t seconds;
        const char* name;
    };
    static const Unit kUnits[] = {{86400, "day"}, {3600, "hour"}, {60, "minute"}};
    for (const Unit& unit : kUnits) {
        int64_t count = seconds / unit.seconds;
        if (count < 1) continue;
        return "Brought up to date " + std::to_string(count) + " " + unit.name + (count == 1 ? "" : "s") + " ago";
    }
    return "";
}

std::string SafeText(const char* field, size_t size, size_t maxChars) {
    std::string text(field, StrLenBounded(field, size));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    text = Trimmed(text);
    if (text.size() > maxChars) text.resize(maxChars);
    return text;
}

std::string WholeText(const char* field, size_t size) {
    size_t length = StrLenBounded(field, size);
    return length < size ? std::string(field, length) : std::string();
}

bool IsWebLink(const std::string& link) {
    if (link.size() > 1023) return false;
    // The scheme in any case, as the browser takes it.
    size_t scheme = StrStartsWithNoCase(link.c_str(), "http://")    ? 7
                    : StrStartsWithNoCase(link.c_str(), "https://") ? 8
                                                                    : 0;
    if (scheme == 0 || link.size() == scheme) return false;
    for (char c : link)
        if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127 || c == '"') return false;
    return true;
}

std::string MessageLink(const std::string& url, const std::string& base) {
    if (IsWebLink(url)) return url;
    std::string joined = base + url;
    return !url.empty() && IsWebLink(joined) ? joined : "";
}

bool IsAdFileName(const std::string& name) {
    if (name.size() < 5 || name.size() > 64) return false;
    for (char c : name)
        if (!(isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.')) return false;
    return name.find("..") == std::string::npos && StrEndsWithNoCase(name.c_str(), ".bmp");
}

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

bool CheckBmp(const uint8_t* data, size_t size, BmpInfo* info) {
    constexpr size_t kFileHeader = 14, kInfoHeader = 40;
    if (!data || size < kFileHeader + kInfoHeader || size > kMaxBmpBytes) return false;
    if (data[0] != 'B' || data[1] != 'M') return false;
    const uint8_t* h = data + kFileHeader;
    uint32_t headerSize = Le32(h), bitsOffset = Le32(data + 10);
    if (headerSize < kInfoHeader || headerSize > 124 || kFileHeader + headerSize > size) return false;
    int32_t width = static_cast<int32_t>(Le32(h + 4)), height = static_cast<int32_t>(Le32(h + 8));
    uint16_t planes = Le16(h + 12), bitCount = Le16(h + 14);
    uint32_t compression = Le32(h + 16), colorsUsed = Le32(h + 32);
    if (planes != 1 || compression != 0) return false;  // only plain, uncompressed pixels
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) return false;
    if (width < 1 || width > kMaxBmpWidth || height == 0 || height < -kMaxBmpHeight || height > kMaxBmpHeight)
        return false;
    uint64_t colors = bitCount <= 8 ? (colorsUsed ? colorsUsed : 1u << bitCount) : colorsUsed;
    if (bitCount <= 8 && colors > (1u << bitCount)) return false;
    if (colors > 256) return false;
    uint64_t tableEnd = kFileHeader + headerSize + 4 * colors;
    if (bitsOffset < tableEnd || bitsOffset > size) return false;
    uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
    uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
    if (stride * rows > size - bitsOffset) return false;
    info->width = width;
    info->height = height;
    info->bitCount = bitCount;
    info->headerOffset = kFileHeader;
    info->bitsOffset = bitsOffset;
    return true;
}

bool IsVerticalEdge(uint32_t edge) {
    return edge == 0 || edge == 2;
}

Rect DockRect(const Rect& screen, uint32_t edge, int thickness, int shown) {
    shown = std::min(std::max(shown, 0), thickness);
    int away = thickness - shown;  // the part past the edge
    switch (edge) {
        case 0: return {screen.left - away, screen.top, screen.left + shown, screen.bottom};
        case 2: return {screen.right - shown, screen.top, screen.right + away, screen.bottom};
        case 3: return {screen.left, screen.bottom - shown, screen.right, screen.bottom + away};
        default: return {screen.left, screen.top - away, screen.right, screen.top + shown};
    }
}

int SlideToward(int shown, int target, double elapsedMs, int thickness) {
    int step = static_cast<int>(std::ceil(std::max(elapsedMs, 0.0) * thickness / kSlideMs));
    if (shown < target) return std::min(shown + step, target);
    return std::max(shown - step, target);
}

}  // namespace glancer
