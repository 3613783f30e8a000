// The ticker's platform-free half: where items sit as the loop scrolls, the
// steady clock, the dock geometry, and the checks on texts, quotes, links and
// bitmaps that come from memory other programs write.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "glancer/ticker_model.h"
#include "glancer/placement.h"
#include "shared/update_outcome.h"

using namespace glancer;

namespace {

constexpr int kGap = 10;

Item Piece(ItemKind kind, uint32_t topic, uint32_t msg, int width) {
    Item item;
    item.kind = kind;
    item.topic = topic;
    item.msg = msg;
    item.width = width;
    return item;
}

// Title of topic 1 (100 px), two headlines (50 px each), title of topic 2 (30 px).
Loop FourItems() {
    Loop loop(kGap);
    loop.Append(Piece(ItemKind::Title, 1, 0xFFFFFFFF, 100));
    loop.Append(Piece(ItemKind::Headline, 1, 7, 50));
    loop.Append(Piece(ItemKind::Headline, 1, 8, 50));
    loop.Append(Piece(ItemKind::Title, 2, 0xFFFFFFFF, 30));
    return loop;  // 110 + 60 + 60 + 40 = 270 px a round
}

using Spots = std::vector<std::pair<size_t, int>>;  // (item, x) as shown

std::string Str(Rect r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

Spots Shown(const Loop& loop, double position, int view) {
    Spots out;
    for (const Placed& p : loop.Visible(position, view)) out.push_back({p.index, p.x});
    return out;
}

}  // namespace

TEST(Loop, PlacesItemsAndWrapsRoundTheEnd) {
    Loop loop = FourItems();
    EXPECT_EQ(270, loop.Length(100));
    EXPECT_EQ((Spots{{0, 0}}), Shown(loop, 0, 100));
    EXPECT_EQ((Spots{{0, -5}, {1, 105}, {2, 165}}), Shown(loop, 5, 200));
    // Near the round's end the first items come in again from the right.
    EXPECT_EQ((Spots{{0, 20}, {3, -20}}), Shown(loop, 250, 100));
    // Positions are taken modulo the round, backwards too.
    EXPECT_EQ(Shown(loop, 250, 100), Shown(loop, 250 + 3 * 270, 100));
    EXPECT_EQ(Shown(loop, 250, 100), Shown(loop, -20, 100));
    // A loop shorter than the bar runs with blank space after it, never twice at once.
    EXPECT_EQ(1010, loop.Length(1000));
    EXPECT_EQ(4u, Shown(loop, 0, 1000).size());

    // A long item leaving on the left comes in again on the right.
    Loop one(kGap);
    one.Append(Piece(ItemKind::Headline, 1, 1, 200));
    EXPECT_EQ((Spots{{0, -150}, {0, 60}}), Shown(one, 150, 100));
    // A span wider than the round holds every round that reaches into it.
    std::vector<int> titles;
    for (const Placed& p : loop.Span(260, 600, 270))
        if (p.index == 0) titles.push_back(p.x);
    EXPECT_EQ((std::vector<int>{10, 280, 550}), titles);
}

TEST(Loop, FindsTheItemUnderAPointNothingInGapsAndStepsFromTopicToTopic) {
    Loop loop = FourItems();
    EXPECT_EQ(0, loop.HitTest(0, 300, 99));
    EXPECT_EQ(-1, loop.HitTest(0, 300, 105));  // the gap
    EXPECT_EQ(1, loop.HitTest(0, 300, 110));
    EXPECT_EQ(2, loop.HitTest(60, 300, 110));  // scrolled by one headline
    EXPECT_EQ(0, loop.HitTest(250, 100, 20));  // come round again
    EXPECT_EQ(-1, Loop(kGap).HitTest(0, 100, 5));

    EXPECT_DOUBLE_EQ(230, loop.TopicStart(0, 100, 1));
    EXPECT_DOUBLE_EQ(270, loop.TopicStart(230, 100, 1));  // from topic 2 round to topic 1
    EXPECT_DOUBLE_EQ(0, loop.TopicStart(120, 100, -1));
    EXPECT_DOUBLE_EQ(-40, loop.TopicStart(0, 100, -1));  // back over the start to topic 2
    EXPECT_DOUBLE_EQ(230, loop.StartOf(2));
    EXPECT_DOUBLE_EQ(-1, loop.StartOf(9));
    EXPECT_EQ(1, loop.FirstShown(115, 100));
    EXPECT_EQ(0, loop.FirstShown(105, 100));  // a gap belongs to the item before it
    EXPECT_TRUE(loop.Contains(1, 8));
    EXPECT_FALSE(loop.Contains(2, 8));
}

TEST(ScrollClock, MovesAtASteadySpeedWhateverTheFrameTimes) {
    ScrollClock clock;
    clock.SetSpeed(1000, 80);
    EXPECT_DOUBLE_EQ(0, clock.Position(1000));
    EXPECT_DOUBLE_EQ(80, clock.Position(2000));
    EXPECT_DOUBLE_EQ(4.0, clock.Position(1050));  // the same line whether asked often or seldom
    clock.SetPaused(2000, true);
    EXPECT_DOUBLE_EQ(80, clock.Position(9000));
    clock.SetPaused(9000, false);
    EXPECT_DOUBLE_EQ(120, clock.Position(9500));
    clock.SetSpeed(9500, 200);
    EXPECT_DOUBLE_EQ(320, clock.Position(10500));
    clock.JumpTo(10500, 5);
    EXPECT_DOUBLE_EQ(25, clock.Position(10600));
}

TEST(Quotes, EveryFormTheAgentWritesIsShownAsATraderReadsIt) {
    // Titles as the agent's quote reader writes them (its fractions: feed_rules_test), read back as
    // "price|change|direction".
    const std::pair<const char*, const char*> table[] = {
        {"112 1/2;-0 3/8", "112 1/2|-3/8|-1"},
        {"94 1/8;+0.000", "94 1/8|unch|0"},
        {"41.20;+0.85", "41.20|+0.85|1"},
        {"17;2", "17|+2|1"},
        {"0 1/256;+1 1/4", "1/256|+1 1/4|1"},
        {"1234 3/4;-12 1/2", "1234 3/4|-12 1/2|-1"},
        {"3 10/2;0 1/2", "8|+1/2|1"},
        {"7.0;-0", "7.0|unch|0"},
        {"250 1/64;-3 1/16", "250 1/64|-3 1/16|-1"},
    };
    Quote q;
    for (auto [numbers, shown] : table) {
        std::string title = std::string("TIDE;") + numbers + ";4:01PM";
        ASSERT_TRUE(ParseQuote(title, &q)) << title;
        EXPECT_EQ(std::string("TIDE|") + shown + "|4:01PM",
                  q.symbol + "|" + q.last + "|" + q.change + "|" + std::to_string(q.direction) + "|" + q.time);
    }

    // What is no quote stays a headline; a change that is no number is left out.
    for (const char* bad : {"", "MSFT", ";1;2", "MSFT;abc;1", "A234567890123456;1;1", "MSFT;-;1", "X;1 1/3", "X;1 0/2",
                            "X;1.5 1/2", "X;1 1/2/4", "X;.5", "X;1 99999/2"})
        EXPECT_FALSE(ParseQuote(bad, &q)) << bad;
    ASSERT_TRUE(ParseQuote("NEW;0;N/A", &q));
    EXPECT_EQ("0|", q.last + "|" + q.change);
}

TEST(EmptyBar, SaysWhyNothingScrolls) {
    Item title = Piece(ItemKind::Title, 1, 0xFFFFFFFF, 10), slot = Piece(ItemKind::Ad, 7, 0xFFFFFFFF, 0);
    EXPECT_STREQ(kNoTopicsText, EmptyBarText({}));
    EXPECT_STREQ(kNoNewsText, EmptyBarText({title, title}));
    EXPECT_STREQ(kNoNewsText, EmptyBarText({title, slot}));
    EXPECT_STREQ("", EmptyBarText({title, Piece(ItemKind::Quote, 1, 1, 10)}));
    EXPECT_STREQ("", EmptyBarText({Piece(ItemKind::Headline, 1, 1, 10)}));
    // One byte of the ANSI code page for the dash, which the bar's font draws.
    EXPECT_NE(nullptr, strchr(kNoNewsText, '\x97'));

    const std::pair<int32_t, const char*> ages[] = {{-1, "Not brought up to date yet"},
                                                    {999999, "Brought up to date just now"},
                                                    {1000000 - 60, "Brought up to date 1 minute ago"},
                                                    {1000000 - 7199, "Brought up to date 1 hour ago"},
                                                    {1000000 - 7200, "Brought up to date 2 hours ago"},
                                                    {1000000 - 3 * 86400, "Brought up to date 3 days ago"}};
    for (auto [updated, text] : ages) EXPECT_EQ(text, UpdatedText(updated, 1000000)) << updated;

    // The marker beside the text: a busy agent is still there, but answers nothing.
    const std::pair<AgentState, const char*> states[] = {
        {{true, false, 0, 0}, ""},         {{false, true, 0, 0}, "busy"},    {{true, true, 0, 0}, "busy"},
        {{false, false, 0, 0}, "offline"}, {{true, false, 1, 0}, "offline"}, {{true, false, 0, 1}, "held"}};
    for (auto [state, word] : states) EXPECT_EQ(word, StatusMarker(state).word) << word;
}

// The agent notes each update's outcome in the topic record's reserved tail;
// the title tells it, and the marker tells of every failing topic.
TEST(UpdateState, AFailedUpdateIsToldByItsTitleAndTheMarker) {
    TopicRecord record;
    memset(&record, 0xA5, sizeof record);  // a tail from elsewhere holds anything
    record.tmLastUpdate = 500;
    Item title = Piece(ItemKind::Title, 1, 0xFFFFFFFF, 10);
    ReadUpdateState(record, &title);
    EXPECT_EQ("500|", std::to_string(title.updated) + "|" + title.failure) << "no note: the last request";

    const TopicRecord before = record;
    NoteOutcome(record, 1000, UpdateFailure::None);
    EXPECT_EQ(0, memcmp(&before, &record, offsetof(TopicRecord, Reserved))) << "only the tail changes";
    const std::tuple<UpdateFailure, uint32_t, const char*> failures[] = {
        {UpdateFailure::Unreachable, 0, "the service could not be reached"},
        {UpdateFailure::Status, 404, "the service answered 404"},
        {UpdateFailure::Status, 70000, "the service did not answer as a web server does"},
        {UpdateFailure::Incomplete, 0, "the answer was cut short or too long"},
        {UpdateFailure::Unreadable, 0, "the answer was no subscription file"},
        {static_cast<UpdateFailure>(9), 0, ""}};
    for (auto [failure, status, text] : failures) {
        NoteOutcome(record, 2000, failure, status);
        ReadUpdateState(record, &title);
        EXPECT_EQ(1000, title.updated) << "the last answer read stays";
        EXPECT_EQ(text, title.failure);
    }
    NoteOutcome(record, 3000, UpdateFailure::None);
    ReadUpdateState(record, &title);
    EXPECT_EQ("3000|", std::to_string(title.updated) + "|" + title.failure);

    // The agent's own state comes first; failures only while it works.
    Item first = title, second = title;
    first.text = "News / Harbour", first.failure = "the service answered 500";
    second.failure = "the service could not be reached";
    Failures failed = FailuresOf({title, first, Piece(ItemKind::Headline, 1, 7, 10), second});
    EXPECT_EQ("failed", StatusMarker({true, false, 0, 0}, failed).word);
    EXPECT_EQ("The last update of \"News / Harbour\" failed: the service answered 500. 2 topics failed.",
              StatusMarker({true, false, 0, 0}, failed).reason);
    EXPECT_EQ("offline", StatusMarker({false, false, 0, 0}, failed).word);
    EXPECT_EQ("", StatusMarker({true, false, 0, 0}, FailuresOf({title})).word);
}

TEST(Loop, AnAdSlotTakesNoRoomUntilItsAdIsFetchedWhenItIsAboutToShow) {
    Loop loop(kGap);
    loop.Append(Piece(ItemKind::Title, 1, 0xFFFFFFFF, 100));
    loop.Append(Piece(ItemKind::Ad, 7, 0xFFFFFFFF, 0));  // at 110
    loop.Append(Piece(ItemKind::Headline, 1, 7, 50));    // at 110 too
    loop.Append(Piece(ItemKind::Ad, 7, 0xFFFFFFFF, 0));  // at 170
    loop.Append(Piece(ItemKind::Headline, 1, 8, 20));    // at 170 too
    EXPECT_EQ(200, loop.Length(100));
    EXPECT_EQ((Spots{{0, 0}, {2, 110}}), Shown(loop, 0, 150));
    EXPECT_EQ(-1, loop.DueAdSlot(0, 50, 50));  // the first slot is 110 px away
    EXPECT_EQ(1, loop.DueAdSlot(0, 50, 61));
    EXPECT_EQ(3, loop.DueAdSlot(150, 10, 15));
    EXPECT_EQ(1, loop.DueAdSlot(3 * 200 + 100, 10, 15));  // positions are taken modulo the round

    loop.Replace(1, Piece(ItemKind::Ad, 7, 3, 30));  // the ad fetched: what comes after it moves on
    EXPECT_EQ((Spots{{0, 0}, {1, 110}, {2, 150}}), Shown(loop, 0, 200));
    EXPECT_EQ(240, loop.Length(100));
    EXPECT_EQ(1, loop.HitTest(0, 200, 120));
    EXPECT_EQ(3, loop.DueAdSlot(0, 100, 111));
    loop.Replace(3, Piece(ItemKind::Ad, 7, 0, 0));  // a place whose ad had no bitmap: nothing more to fill
    EXPECT_EQ(-1, loop.DueAdSlot(0, 1000, 1000));
}

TEST(SafeText, StopsAtTheFieldEndAndBlanksControlCharacters) {
    char field[8] = {'a', 'b', '\n', 'c', 'd', 'e', 'f', 'g'};  // no terminator
    EXPECT_EQ("ab cdefg", SafeText(field, sizeof field));
    EXPECT_EQ("ab c", SafeText(field, sizeof field, 4));
    const char padded[] = "\t  News\x01  ";
    EXPECT_EQ("News", SafeText(padded, sizeof padded));
    // An address or a path cut at the field's end would be another one: none.
    EXPECT_EQ("", WholeText(field, sizeof field));
    EXPECT_EQ("ab", WholeText("ab\0cd", 5));
}

TEST(Links, OnlyWebAddressesAreOpened) {
    for (const char* good : {"http://127.0.0.1/a?b=c", "https://example.test/", "HTTP://example.test/"})
        EXPECT_TRUE(IsWebLink(good)) << good;
    for (const char* bad : {"", "http://", "file:///c:/x", "C:\\evil.exe", "http://a b", "http://a\"b", "HTTP:x",
                            "javascript:alert(1)", "http://a\x7f"})
        EXPECT_FALSE(IsWebLink(bad)) << bad;
    EXPECT_FALSE(IsWebLink("http://" + std::string(1020, 'a')));
    EXPECT_EQ("http://h/a1.html", MessageLink("a1.html", "http://h/"));
    EXPECT_EQ("http://x/", MessageLink("http://x/", "http://h/"));
    EXPECT_EQ("", MessageLink("", "http://h/"));
    EXPECT_EQ("", MessageLink("a1.html", "c:\\"));
    EXPECT_TRUE(IsAdFileName("A0000001.bmp"));
    for (const char* bad : {"", "..\\victim.bmp", "..bmp", "C:\\v.bmp", "a/b.bmp", "x.exe", "http://ads/1.bmp", ".bmp"})
        EXPECT_FALSE(IsAdFileName(bad)) << bad;
}

namespace {

// A bitmap file of the given shape; 24 bits unless told.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, uint16_t bits = 24, uint32_t colours = 0) {
    uint32_t table = bits <= 8 ? 4 * (colours ? colours : 1u << bits) : 0;
    uint32_t stride = (static_cast<uint32_t>(width) * bits + 31) / 32 * 4;
    uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
    uint32_t offset = 54 + table;
    std::vector<uint8_t> b(offset + stride * rows, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&b[at], &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<uint8_t>(bits);
    put32(46, colours);
    return b;
}

}  // namespace

TEST(Bitmaps, GoodOnesPassWithTheirShape) {
    // "width height offset": 24 bits, 16 colours stored top down, one bit.
    for (auto [b, shape] :
         {std::pair{Bmp(60, 20), "60 20 54"}, {Bmp(3, -2, 8, 16), "3 -2 118"}, {Bmp(9, 1, 1), "9 1 62"}}) {
        BmpInfo info;
        ASSERT_TRUE(CheckBmp(b.data(), b.size(), &info)) << shape;
        EXPECT_EQ(shape, std::to_string(info.width) + " " + std::to_string(info.height) + " " +
                             std::to_string(info.bitsOffset));
    }
}

TEST(Bitmaps, WhatIsNotOneOrTooBigIsRefusedAtEveryLength) {
    BmpInfo info;
    std::vector<uint8_t> good = Bmp(7, 5);
    // Cut anywhere short: refused, and nothing read past the end (ASan watches).
    for (size_t n = 0; n < good.size(); n++) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_FALSE(CheckBmp(cut.data(), cut.size(), &info)) << n;
    }
    // Not "BM"; pixels past the end or inside the header; an old header kind or one larger than the file; no,
    // negative or huge width; no height, the most negative one, or rows the file lacks; planes; a depth not
    // drawn; compressed.
    const std::tuple<size_t, uint32_t, size_t> kBroken[] = {
        {0, 'X', 1},     {10, 0xFFFFFFF0, 4}, {10, 20, 4},     {14, 12, 4}, {14, 0x7FFFFFFF, 4},
        {18, 0, 4},      {18, 0x80000000, 4}, {18, 100000, 4}, {22, 0, 4},  {22, 0x80000000, 4},
        {22, 100000, 4}, {26, 2, 2},          {28, 16, 2},     {30, 1, 4}};
    for (auto [at, value, width] : kBroken) {
        std::vector<uint8_t> b = good;
        memcpy(&b[at], &value, width);
        EXPECT_FALSE(CheckBmp(b.data(), b.size(), &info)) << at << " " << value;
    }
    std::vector<uint8_t> palette = Bmp(4, 4, 8, 300);
    EXPECT_FALSE(CheckBmp(palette.data(), palette.size(), &info));  // more colours than 8 bits hold
    std::vector<uint8_t> huge(kMaxBmpBytes + 1, 0);
    memcpy(huge.data(), good.data(), good.size());
    EXPECT_FALSE(CheckBmp(huge.data(), huge.size(), &info));
    EXPECT_FALSE(CheckBmp(nullptr, 100, &info));
}

TEST(Dock, TheBarLiesAlongItsEdgeAndSlidesPastIt) {
    Rect screen = {0, 0, 1280, 1024};
    // The top edge, shown and hidden, and the bottom one: the real ticker's (glancer_test).
    EXPECT_EQ("0,1022,1280,1050", Str(DockRect(screen, 3, 28, 2)));
    EXPECT_EQ("-26,0,2,1024", Str(DockRect(screen, 0, 28, 2)));
    EXPECT_EQ("1252,0,1280,1024", Str(DockRect(screen, 2, 28, 28)));
    EXPECT_EQ(Str(DockRect(screen, 1, 28, 28)), Str(DockRect(screen, 1, 28, 99)));  // never more than its thickness
    EXPECT_EQ(Str(DockRect(screen, 1, 28, 28)), Str(DockRect(screen, 7, 28, 28)));  // an unknown edge is the top
    EXPECT_TRUE(IsVerticalEdge(0) && IsVerticalEdge(2) && !IsVerticalEdge(1) && !IsVerticalEdge(3));

    // The shell's rectangle for it, moved inwards past a bar already there or a whole half of the screen: the bar keeps
    // its outer side.
    EXPECT_EQ("0,50,1280,92", Str(FitToEdge({0, 50, 1280, 78}, 1, 42)));
    EXPECT_EQ("0,974,1280,1002", Str(FitToEdge({0, 0, 1280, 1002}, 3, 28)));
    EXPECT_EQ("30,0,58,1024", Str(FitToEdge({30, 0, 640, 1024}, 0, 28)));
    EXPECT_EQ("1252,0,1280,1024", Str(FitToEdge({0, 0, 1280, 1024}, 2, 28)));

    EXPECT_EQ(2, SlideToward(28, 2, 1000, 28));  // a late frame ends the slide, no overshoot
    EXPECT_EQ(28, SlideToward(2, 28, 1000, 28));
    int halfway = SlideToward(2, 28, kSlideMs / 2, 28);
    EXPECT_GT(halfway, 10);
    EXPECT_LT(halfway, 20);
    EXPECT_EQ(5, SlideToward(5, 5, 40, 28));
    EXPECT_EQ(3, SlideToward(2, 28, 1, 28));  // however short the frame, the bar moves
}

// Two monitors side by side, the second one left of the primary and higher,
// as no test machine has them: the bar goes where it was put and falls back
// to the primary one when that monitor is gone.
TEST(Placement, TheChosenMonitorThenThePrimary) {
    std::vector<Rect> monitors = {{-1920, -200, 0, 880}, {0, 0, 1280, 1024}, {1280, 0, 2560, 1024}};
    EXPECT_EQ(0u, ChooseMonitor(monitors, {-1920, -200}));
    EXPECT_EQ(2u, ChooseMonitor(monitors, {1280, 0}));
    EXPECT_EQ(1u, ChooseMonitor(monitors, {0, 0}));
    EXPECT_EQ(1u, ChooseMonitor(monitors, {5000, 0}));                // unplugged since
    EXPECT_EQ(0u, ChooseMonitor({{100, 100, 900, 700}}, {5000, 0}));  // no monitor holds 0,0

    // 0 dots per inch: a density nobody has.
    for (auto [dpi, pixels] : {std::pair{96, 28}, {144, 42}, {120, 35}, {0, 28}})
        EXPECT_EQ(pixels, ScaleForDpi(28, dpi));
    for (auto [speed, ms] : {std::pair{80u, 37u}, {400u, 15u}, {20u, 50u}}) EXPECT_EQ(ms, FrameIntervalMs(speed));
}

TEST(Placement, TheTipLiesBesideTheBarNeverOverIt) {
    Rect monitor = {0, 0, 1280, 1024};
    // The bar's edge and place, the cursor, and where the tip goes.
    const std::tuple<uint32_t, Rect, Point, Point> rows[] = {
        {1, {0, 0, 1280, 28}, {100, 10}, {112, 32}},           // below a top bar
        {3, {0, 996, 1280, 1024}, {100, 1010}, {112, 952}},    // above a bottom bar
        {0, {0, 0, 28, 1024}, {10, 300}, {32, 312}},           // right of a left bar
        {2, {1252, 0, 1280, 1024}, {1260, 300}, {1048, 312}},  // left of a right bar
        {1, {0, 0, 1280, 28}, {1270, 10}, {1080, 32}},         // kept on the monitor along the bar
        {2, {1252, 0, 1280, 1024}, {1260, 1020}, {1048, 984}},
    };
    for (auto [edge, bar, cursor, want] : rows) {
        Point p = TipPosition(bar, edge, cursor, 200, 40, monitor);
        EXPECT_EQ(std::make_pair(want.x, want.y), std::make_pair(p.x, p.y)) << edge;
    }
}

TEST(Placement, ArrowKeysGoFromLinkToLinkRoundTheLoop) {
    Loop loop;
    const ItemKind title = ItemKind::Title, headline = ItemKind::Headline;
    const std::pair<ItemKind, const char*> pieces[] = {
        {title, ""}, {headline, "http://a/1"}, {headline, "http://a/2"},
        {title, ""}, {headline, "http://a/3"}, {title, "http://a/topic"}};
    for (auto [kind, link] : pieces) {  // titles are passed by, even with a link
        Item item = Piece(kind, 1, 1, 50);
        item.link = link;
        loop.Append(item);
    }
    EXPECT_EQ(1, StepToLink(loop, -1, 1));
    EXPECT_EQ(2, StepToLink(loop, 1, 1));
    EXPECT_EQ(4, StepToLink(loop, 2, 1));
    EXPECT_EQ(1, StepToLink(loop, 4, 1));  // round the loop
    EXPECT_EQ(4, StepToLink(loop, 1, -1));
    EXPECT_EQ(-1, StepToLink(Loop(), -1, 1));
    EXPECT_EQ(50 + 40, loop.StartOfItem(1));
}
