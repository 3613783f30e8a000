// Glancer.exe: the news ticker. A thin bar docked at a screen edge that
// scrolls the agent's topics, headlines, quotes and ads; one window, one
// window procedure, its state in one place (gTicker).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "base/program_win.h"
#include "base/scoped_win.h"
#include "base/trace.h"
#include "glancer/appbar_win.h"
#include "glancer/news_source_win.h"
#include "glancer/painter_win.h"
#include "glancer/screen_win.h"
#include "shared/display_settings.h"
#include "shared/messages_win.h"
#include "shared/names.h"
#include "shared/window_handle_win.h"

namespace glancer {
namespace {

constexpr int kBaseThickness = 28;  // at 96 dpi; more on a denser monitor
constexpr UINT_PTR kFrameTimer = 1, kPollTimer = 2;
constexpr UINT kAppBarMessage = WM_APP + 1;  // the shell's news about the desktop's bars
constexpr int kSelectedMargin = 8;           // before an item the keys brought into sight
constexpr UINT kPollConnectedMs = 3000;      // new headlines are looked for this often
constexpr UINT kPollWaitingMs = 1000;        // an agent is looked for this often
constexpr double kHoldShownMs = 800;         // an auto-hidden bar stays out this long after the mouse leaves
constexpr double kBroughtForwardMs = 3000;
constexpr char kWindowTitle[] = "Tidewell Glancer";
constexpr char kSingleInstanceMutex[] = "Tidewell " TIDEWELL_VERSION " Glancer";
constexpr char kWaitingText[] = "Tidewell: waiting for the agent";
constexpr char kBusyText[] = "Tidewell: the agent is busy";
constexpr int kAdLeadPixels = 200;  // an ad is fetched this far before it scrolls in
constexpr int kMarkerTip = -2;      // the tool tip shows the status marker's reason
constexpr DWORD kFindFirstMs = 5000;

// The menu's commands; WM_COMMAND carries the same numbers from elsewhere.
enum Command : UINT { kCmdPause = 100, kCmdPrevious, kCmdNext, kCmdPreferences, kCmdClose, kCmdNextMonitor };

struct Ticker {
    HWND hwnd = nullptr;
    HWND tip = nullptr;
    NewsSource source;
    Loop loop;
    ScrollClock clock;
    std::unique_ptr<Painter> painter;
    display::Settings settings;
    int32_t preference = display::kShowQuotes;
    uint8_t pendingSettings[sizeof(CConfigData::DisplaySettings)] = {};
    bool pendingValid = false;
    Rect monitor = {0, 0, 0, 0};
    Rect screen = {0, 0, 0, 0};  // where the bar lies: its monitor, or the part of the edge the shell gave it
    std::unique_ptr<AppBar> appBar;
    int thickness = kBaseThickness;
    int shown = kBaseThickness;
    bool framesOn = false;      // the frame timer runs
    bool slideSettled = false;  // an auto-hidden bar is out of sight, or held out by the mouse
    bool locked = false;        // the session is locked
    bool saverOn = false;       // the screen saver runs
    int selected = -1;          // the item the arrow keys went to
    HWND previous = nullptr;    // the window that was active before the bar
    double lastFrameMs = 0;
    double drawnPosition = 0;  // where the bar was last drawn: what the mouse points at
    double holdUntilMs = 0;
    long long round = 0;
    bool tracking = false;  // the mouse is over the bar
    int tipItem = -1;
    bool userPaused = false;
    uint32_t shownTopic = kNoId;
    std::string tipText;
    Failures failures;  // the topics whose last update failed, as of the last rebuild
};

Ticker gTicker;

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool Vertical() {
    return IsVerticalEdge(gTicker.settings.edge);
}

int StripLength() {
    return Vertical() ? gTicker.screen.bottom - gTicker.screen.top : gTicker.screen.right - gTicker.screen.left;
}

std::string DataDir() {
    CConfigData* cfg = gTicker.source.config();
    return cfg ? WholeText(cfg->DataDir, sizeof cfg->DataDir) : "";
}

// The strip's x under a point of the window.
int StripX(POINT client) {
    return Vertical() ? client.y : client.x;
}

double Position() {
    return gTicker.clock.Position(NowMs());
}

// ---- the loop's content ----

// A changed loop is drawn anew, also while the bar stands still and no
// frame would draw it.
void Redraw() {
    gTicker.painter->Invalidate();
    if (gTicker.hwnd) InvalidateRect(gTicker.hwnd, nullptr, FALSE);
}

void ShowOnly(const char* text) {
    Item item;
    item.kind = ItemKind::Title;
    item.text = text;
    gTicker.painter->Measure(item, "");
    gTicker.loop.Clear();
    gTicker.loop.Append(item);
    Redraw();
}

void Rebuild() {
    gTicker.failures = {};
    if (!gTicker.source.connected()) return ShowOnly(kWaitingText);
    std::string dataDir = DataDir();
    std::vector<Item> items = gTicker.source.Build(gTicker.preference);
    gTicker.failures = FailuresOf(items);
    if (const char* empty = EmptyBarText(items); *empty) return ShowOnly(empty);
    gTicker.loop.Clear();
    for (Item& item : items) {
        if (IsAdSlot(item)) {
            gTicker.loop.Append(item);
            continue;
        }
        gTicker.painter->Measure(item, dataDir);
        if (item.width > 0) gTicker.loop.Append(item);
    }
    Redraw();
}

// The bar shows only a text of its own ("No news yet ...", "waiting ...").
bool ShowsNotice() {
    return gTicker.loop.size() == 1 && gTicker.loop[0].topic == kNoId;
}

void TakeNewHeadlines() {
    std::string dataDir = DataDir();
    std::vector<Item> added = gTicker.source.NewSince(gTicker.loop, gTicker.preference);
    if (ShowsNotice()) {
        if (!*EmptyBarText(added)) Rebuild();  // the first headlines: the whole loop anew
        return;
    }
    for (Item& item : added) {
        gTicker.painter->Measure(item, dataDir);
        if (item.width > 0) gTicker.loop.Append(item);
        gTicker.painter->Invalidate();
    }
}

// Whether an ad shown now would be seen: the bar is out, moving, and not
// under the screen saver.
bool AdWouldBeSeen() {
    CConfigData* cfg = gTicker.source.config();
    bool out = !gTicker.settings.autoHide || gTicker.shown > kHiddenSliver;
    return cfg && !cfg->ScreenSaverOn && out && !gTicker.clock.paused();
}

// Fetches the ad for a place about to scroll in; a place whose ad has no
// bitmap yet stays empty for this round.
void FillDueAd() {
    if (!AdWouldBeSeen()) return;
    int slot = gTicker.loop.DueAdSlot(Position(), StripLength(), kAdLeadPixels);
    if (slot < 0) return;
    Item ad = gTicker.loop[static_cast<size_t>(slot)];
    std::string dataDir = DataDir();
    if (AnyAdBitmap(dataDir) && gTicker.source.NextAd(&ad)) gTicker.painter->Measure(ad, dataDir);
    ad.msg = ad.msg == kNoId ? 0 : ad.msg;  // no longer a place to fill
    gTicker.loop.Replace(static_cast<size_t>(slot), ad);
    gTicker.painter->Invalidate();
}

// ---- the bar's place and settings ----

void PlaceWindow() {
    Rect r = DockRect(gTicker.screen, gTicker.settings.edge, gTicker.thickness, gTicker.shown);
    HWND order = gTicker.settings.onTop ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(gTicker.hwnd, order, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
}

// Text and bar grow with the monitor's density.
void SetThickness(int thickness) {
    if (thickness == gTicker.thickness && gTicker.painter) return;
    gTicker.thickness = thickness;
    gTicker.painter = std::make_unique<Painter>(thickness);
    Rebuild();
}

// Docks on the chosen monitor, reserving the edge unless the bar hides itself.
void PlaceOnMonitor() {
    std::vector<Rect> monitors = ListMonitors();
    gTicker.monitor = monitors[ChooseMonitor(monitors, {gTicker.settings.monitorX, gTicker.settings.monitorY})];
    SetThickness(ScaleForDpi(kBaseThickness, DpiOfArea(gTicker.monitor)));
    // A bar that hides itself stays known to the shell but keeps no room.
    Rect granted = gTicker.appBar->Reserve(gTicker.monitor, gTicker.settings.edge,
                                           gTicker.settings.autoHide ? 0 : gTicker.thickness);
    gTicker.screen =
        gTicker.settings.autoHide ? gTicker.monitor : FitToEdge(granted, gTicker.settings.edge, gTicker.thickness);
    gTicker.shown = gTicker.thickness;
    PlaceWindow();
}

void UpdateFrames();
void Wake();

void ApplySettings(const display::Settings& settings) {
    gTicker.settings = settings;
    gTicker.clock.SetSpeed(NowMs(), settings.speed);
    gTicker.holdUntilMs = NowMs() + kBroughtForwardMs;
    PlaceOnMonitor();
    KillTimer(gTicker.hwnd, kFrameTimer);  // started again at the new speed's pace
    gTicker.framesOn = false;
    Wake();
}

// Keeps new settings where the data file and the settings file find them.
void StoreSettings() {
    CConfigData* cfg = gTicker.source.config();
    if (!cfg) return;
    display::Encode(gTicker.settings, cfg->DisplaySettings);
    cfg->EdgeDockedOn = static_cast<int32_t>(gTicker.settings.edge);
    cfg->AlwaysOnTop = gTicker.settings.onTop;
    cfg->AutoHide = gTicker.settings.autoHide;
}

// The settings and the preference as the record holds them.
void ReadSettings() {
    CConfigData* cfg = gTicker.source.config();
    if (!cfg) return;
    gTicker.preference = cfg->DisplayPreference;
    ApplySettings(display::FromRecord(*cfg));
    StoreSettings();  // a restarted agent read its settings file: it gets the bar's
}

// ---- the agent ----

void ClaimWindows() {
    CConfigData* cfg = gTicker.source.config();
    if (!cfg) return;
    cfg->DisplayWindow = HwndToWord(gTicker.hwnd);
    cfg->PageWindow = HwndToWord(gTicker.hwnd);
}

// Gives the record's window fields back, if they still name this window.
void GiveBackWindows() {
    CConfigData* cfg = gTicker.source.config();
    if (!cfg) return;
    uint32_t self = HwndToWord(gTicker.hwnd);
    if (cfg->DisplayWindow == self) cfg->DisplayWindow = kNoWindow;
    if (cfg->PageWindow == self) cfg->PageWindow = kNoWindow;
}

bool TryConnect() {
    if (!gTicker.source.Connect()) return false;
    ClaimWindows();
    ReadSettings();
    Rebuild();
    CConfigData* cfg = gTicker.source.config();
    double start = cfg ? gTicker.loop.StartOf(static_cast<uint32_t>(cfg->DisplayValue)) : -1;
    gTicker.clock.JumpTo(NowMs(), start > 0 ? start : 0);
    gTicker.round = 0;
    SetTimer(gTicker.hwnd, kPollTimer, kPollConnectedMs, nullptr);
    return true;
}

void ShowNotConnected() {
    ShowOnly(gTicker.source.refused() ? kBusyText : kWaitingText);
}

void LostAgent() {
    ShowNotConnected();
    gTicker.source.Disconnect();
    SetTimer(gTicker.hwnd, kPollTimer, kPollWaitingMs, nullptr);
}

// Only where no agent runs at all: a second one would share the database.
void StartAgentIfNone() {
    std::string folder = ProgramFolder();
    if (FindWindowA(kEngineWindowClass, nullptr) || folder.empty()) return;
    if (!StartProgram("\"" + folder + "\\" + kEngineProgram + "\"")) Trace("Glancer: could not start the agent");
}

// Opens a web address in the user's browser, or the system's default one.
void OpenLink(const std::string& link) {
    if (!IsWebLink(link)) return;
    CConfigData* cfg = gTicker.source.config();
    std::string browser = cfg ? WholeText(cfg->BrowserPath, sizeof cfg->BrowserPath) : "";
    if (!browser.empty() && browser.find('"') == std::string::npos && StartProgram("\"" + browser + "\" " + link))
        return;
    ShellExecuteA(gTicker.hwnd, "open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// ---- the tool tip ----

void HideTip() {
    TTTOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.hwnd = gTicker.hwnd;
    SendMessageA(gTicker.tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
    gTicker.tipItem = -1;
}

// What the agent's state puts over the end of the bar.
Marker CurrentMarker() {
    AgentState state;
    state.connected = gTicker.source.connected();
    state.busy = !state.connected && gTicker.source.refused();
    if (CConfigData* cfg = gTicker.source.config()) {
        state.passive = cfg->Passive;
        state.jobsHeld = cfg->JobsHeld;
    }
    return StatusMarker(state, gTicker.failures);
}

std::string TipTextOf(int index) {
    if (index == kMarkerTip) return CurrentMarker().reason;
    const Item& item = gTicker.loop[static_cast<size_t>(index)];
    std::string text = item.kind == ItemKind::Ad ? item.link : item.text + item.change;
    if (!item.hint.empty()) text += "\r\n" + item.hint;
    if (item.kind == ItemKind::Title && item.topic != kNoId)
        text += "\r\n" + UpdatedText(item.updated, static_cast<int32_t>(time(nullptr)));
    if (!item.failure.empty()) text += "\r\nThe last update failed: " + item.failure + ".";
    return text;
}

// index: an item of the loop, or kMarkerTip.
void ShowTip(int index, POINT screenPoint) {
    if (index == gTicker.tipItem) return;
    if (index == -1) return HideTip();
    gTicker.tipText = TipTextOf(index);
    if (gTicker.tipText.empty()) return HideTip();
    TTTOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.hwnd = gTicker.hwnd;
    info.lpszText = &gTicker.tipText[0];
    SendMessageA(gTicker.tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
    // Beside the bar, never over it: the size is known once the text is.
    DWORD size = static_cast<DWORD>(SendMessageA(gTicker.tip, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&info)));
    RECT bar;
    GetWindowRect(gTicker.hwnd, &bar);
    Point at = TipPosition({bar.left, bar.top, bar.right, bar.bottom}, gTicker.settings.edge,
                           {screenPoint.x, screenPoint.y}, LOWORD(size), HIWORD(size), gTicker.monitor);
    SendMessageA(gTicker.tip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
    SendMessageA(gTicker.tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
    gTicker.tipItem = index;
}

void MakeTip() {
    gTicker.tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0,
                                  0, 0, 0, gTicker.hwnd, nullptr, nullptr, nullptr);
    TTTOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    info.hwnd = gTicker.hwnd;
    info.lpszText = const_cast<char*>("");
    SendMessageA(gTicker.tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageA(gTicker.tip, TTM_SETMAXTIPWIDTH, 0, 600);
}

// ---- message handlers ----

void Slide(double now) {
    gTicker.slideSettled = !gTicker.settings.autoHide && gTicker.shown == gTicker.thickness;
    if (gTicker.slideSettled) return;
    POINT cursor;
    RECT r;
    GetCursorPos(&cursor);
    GetWindowRect(gTicker.hwnd, &r);
    bool touched = PtInRect(&r, cursor) != 0;
    if (touched) gTicker.holdUntilMs = std::max(gTicker.holdUntilMs, now + kHoldShownMs);
    bool out = !gTicker.settings.autoHide || touched || now < gTicker.holdUntilMs;
    int target = out ? gTicker.thickness : kHiddenSliver;
    int shown = SlideToward(gTicker.shown, target, now - gTicker.lastFrameMs, gTicker.thickness);
    gTicker.slideSettled = shown == target && (!out || touched);
    if (shown == gTicker.shown) return;
    gTicker.shown = shown;
    PlaceWindow();
}

// A round has passed: the loop is taken afresh, the position carried over.
void NextRound(double now, double position) {
    int length = gTicker.loop.Length(StripLength());
    long long round = static_cast<long long>(std::floor(position / length));
    if (round == gTicker.round) return;
    double into = position - static_cast<double>(round) * length;
    if (!gTicker.source.AgentAlive()) {
        LostAgent();
    } else {
        Rebuild();
    }
    gTicker.clock.JumpTo(now, into);
    gTicker.round = 0;
}

void NoteShownTopic(double position) {
    CConfigData* cfg = gTicker.source.config();
    int first = gTicker.loop.FirstShown(position, StripLength());
    if (!cfg || first < 0) return;
    uint32_t topic = gTicker.loop[static_cast<size_t>(first)].topic;
    if (topic == gTicker.shownTopic || topic == kNoId || topic == cfg->AdTopicId) return;
    gTicker.shownTopic = topic;
    cfg->DisplayValue = static_cast<int32_t>(topic);
}

void PaintBar(HDC dc);

void OnFrame() {
    double now = NowMs();
    Slide(now);
    gTicker.lastFrameMs = now;
    double position = gTicker.clock.Position(now);
    NextRound(now, position);
    FillDueAd();
    NoteShownTopic(gTicker.clock.Position(now));
    // Drawn at once through the window's own DC: under Wine a paint message
    // costs several more requests to the server than the frame itself.
    if (gTicker.shown > kHiddenSliver || !gTicker.settings.autoHide) PaintBar(WindowDC(gTicker.hwnd).get());
    UpdateFrames();
}

// Frames are drawn only while something moves in sight: none while the bar
// is paused or held, slid away, under the screen saver or the session locked.
void UpdateFrames() {
    bool hidden = gTicker.settings.autoHide && gTicker.shown <= kHiddenSliver;
    bool scrolling = !gTicker.clock.paused() && !hidden;
    bool want = !gTicker.locked && !gTicker.saverOn && (!gTicker.slideSettled || scrolling);
    if (want == gTicker.framesOn) return;
    gTicker.framesOn = want;
    if (!want) {
        KillTimer(gTicker.hwnd, kFrameTimer);
        InvalidateRect(gTicker.hwnd, nullptr, FALSE);  // the bar where it stopped
        return;
    }
    gTicker.lastFrameMs = NowMs();
    SetTimer(gTicker.hwnd, kFrameTimer, FrameIntervalMs(gTicker.settings.speed), nullptr);
}

// Something may have come into sight or started to move.
void Wake() {
    gTicker.slideSettled = false;
    UpdateFrames();
}

void UpdatePause() {
    bool held = gTicker.userPaused || gTicker.tracking || gTicker.selected >= 0 || gTicker.locked || gTicker.saverOn;
    gTicker.clock.SetPaused(NowMs(), held);
    UpdateFrames();
}

void OnPoll() {
    if (!gTicker.source.connected()) {
        if (!TryConnect()) ShowNotConnected();  // a busy agent is asked again, never joined by another
        return;
    }
    if (!gTicker.source.AgentAlive()) return LostAgent();
    CConfigData* cfg = gTicker.source.config();
    bool saverOn = cfg && cfg->ScreenSaverOn != 0;
    if (saverOn != gTicker.saverOn) {
        gTicker.saverOn = saverOn;
        UpdatePause();
    }
    // A bar that stands still asks for nothing, but for the first headlines
    // that take the place of its own text.
    if (gTicker.framesOn || ShowsNotice()) TakeNewHeadlines();
}

// Where the item the keys went to lies along the bar, or -1 when out of sight.
int SelectedX() {
    if (gTicker.selected < 0) return -1;
    for (const Placed& p : gTicker.loop.Visible(Position(), StripLength()))
        if (p.index == static_cast<size_t>(gTicker.selected)) return p.x;
    return -1;
}

void PaintBar(HDC dc) {
    gTicker.drawnPosition = Position();
    gTicker.painter->Draw(dc, gTicker.loop, gTicker.drawnPosition, StripLength(), Vertical());
    int x = SelectedX();
    if (x >= 0)
        gTicker.painter->DrawFocus(dc, x, gTicker.loop[static_cast<size_t>(gTicker.selected)].width, Vertical());
    gTicker.painter->DrawMarker(dc, CurrentMarker().word, StripLength(), Vertical());
}

void OnPaint() {
    PAINTSTRUCT ps;
    PaintBar(BeginPaint(gTicker.hwnd, &ps));
    EndPaint(gTicker.hwnd, &ps);
}

void SetHoverPause(bool over) {
    gTicker.tracking = over;
    UpdatePause();
}

void OnMouseMove(POINT client) {
    Wake();  // the mouse touched the sliver of a bar slid away
    if (!gTicker.tracking) {
        TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, gTicker.hwnd, 0};
        TrackMouseEvent(&track);
        SetHoverPause(true);  // what is under the mouse stays there to be read and clicked
    }
    POINT screenPoint = client;
    ClientToScreen(gTicker.hwnd, &screenPoint);
    RECT marker = gTicker.painter->MarkerRect(CurrentMarker().word, StripLength(), Vertical());
    if (PtInRect(&marker, client)) return ShowTip(kMarkerTip, screenPoint);
    ShowTip(gTicker.loop.HitTest(gTicker.drawnPosition, StripLength(), StripX(client)), screenPoint);
}

void OnMouseLeave() {
    SetHoverPause(false);
    HideTip();
    Wake();  // an auto-hidden bar, even paused, slides away
}

void OnClick(POINT client) {
    int index = gTicker.loop.HitTest(gTicker.drawnPosition, StripLength(), StripX(client));
    if (index >= 0) OpenLink(gTicker.loop[static_cast<size_t>(index)].link);
}

// Puts the bar at a position of the loop, in the round that holds it.
void ScrollTo(double position) {
    gTicker.clock.JumpTo(NowMs(), position);
    gTicker.round = static_cast<long long>(std::floor(position / gTicker.loop.Length(StripLength())));
    InvalidateRect(gTicker.hwnd, nullptr, FALSE);
}

void JumpTopic(int direction) {
    ScrollTo(gTicker.loop.TopicStart(Position(), StripLength(), direction));
}

// Docks on the next monitor, and remembers it.
void NextMonitor() {
    std::vector<Rect> monitors = ListMonitors();
    size_t now = ChooseMonitor(monitors, {gTicker.settings.monitorX, gTicker.settings.monitorY});
    const Rect& next = monitors[(now + 1) % monitors.size()];
    display::Settings settings = gTicker.settings;
    settings.monitorX = next.left;
    settings.monitorY = next.top;
    ApplySettings(settings);
    StoreSettings();
}

// ---- the keyboard ----

void OnCommand(UINT command);

// The arrow keys go from link to link; the bar holds still meanwhile and
// shows the one chosen, framed, with its tool tip.
void Select(int direction) {
    size_t count = gTicker.loop.size();
    if (gTicker.selected < 0 || static_cast<size_t>(gTicker.selected) >= count) {
        gTicker.selected = StepToLink(gTicker.loop, gTicker.loop.FirstShown(Position(), StripLength()) - 1, 1);
    } else {
        gTicker.selected = StepToLink(gTicker.loop, gTicker.selected, direction);
    }
    UpdatePause();
    if (gTicker.selected < 0) return HideTip();
    const Item& item = gTicker.loop[static_cast<size_t>(gTicker.selected)];
    int x = SelectedX();
    if (x < 0 || x + item.width > StripLength())
        ScrollTo(std::max(0, gTicker.loop.StartOfItem(static_cast<size_t>(gTicker.selected)) - kSelectedMargin));
    InvalidateRect(gTicker.hwnd, nullptr, FALSE);
    RECT bar;
    GetWindowRect(gTicker.hwnd, &bar);
    x = std::max(SelectedX(), 0);
    POINT at = Vertical() ? POINT{bar.left, bar.top + x} : POINT{bar.left + x, bar.top};
    gTicker.tipItem = -1;
    ShowTip(gTicker.selected, at);
}

void OpenSelected() {
    if (gTicker.selected >= 0 && static_cast<size_t>(gTicker.selected) < gTicker.loop.size())
        OpenLink(gTicker.loop[static_cast<size_t>(gTicker.selected)].link);
}

// Esc: the bar lets go of the keyboard, goes on scrolling, and an
// auto-hidden bar slides away.
void Leave() {
    gTicker.selected = -1;
    HideTip();
    UpdatePause();
    gTicker.holdUntilMs = 0;
    Wake();
    HWND back = gTicker.previous;
    if (!back || !IsWindow(back) || !IsWindowVisible(back)) back = GetDesktopWindow();
    SetForegroundWindow(back);
}

void OnKey(WPARAM key) {
    switch (key) {
        case VK_LEFT:
        case VK_UP: return Select(-1);
        case VK_RIGHT:
        case VK_DOWN: return Select(1);
        case VK_RETURN: return OpenSelected();
        case VK_SPACE: return OnCommand(kCmdPause);
        case VK_ESCAPE: return Leave();
    }
}

void OnCommand(UINT command) {
    switch (command) {
        case kCmdPause:
            gTicker.userPaused = !gTicker.userPaused;
            UpdatePause();
            break;
        case kCmdNextMonitor: NextMonitor(); break;
        case kCmdPrevious: JumpTopic(-1); break;
        case kCmdNext: JumpTopic(1); break;
        case kCmdPreferences:
            // Posted: the agent runs the dialog inside its handler, and the ticker goes on meanwhile.
            if (gTicker.source.AgentAlive()) PostMessageA(gTicker.source.engine(), gMessages.configDlg, 0, 0);
            break;
        case kCmdClose: PostMessageA(gTicker.hwnd, WM_CLOSE, 0, 0); break;
    }
}

// From the keyboard (no point), the menu opens at the chosen item, or mid-bar.
POINT MenuPoint(LPARAM lParam) {
    if (lParam != -1) return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    RECT bar;
    GetWindowRect(gTicker.hwnd, &bar);
    int x = SelectedX();
    if (x < 0) x = StripLength() / 2;
    switch (gTicker.settings.edge) {
        case display::kEdgeLeft: return {bar.right, bar.top + x};
        case display::kEdgeRight: return {bar.left, bar.top + x};
        case display::kEdgeBottom: return {bar.left + x, bar.top};
        default: return {bar.left + x, bar.bottom};
    }
}

void OnContextMenu(POINT screenPoint) {
    HideTip();  // the menu would open under it
    ScopedMenu owned(CreatePopupMenu());
    HMENU menu = owned.get();
    AppendMenuA(menu, MF_STRING, kCmdPause, gTicker.userPaused ? "&Resume" : "&Pause");
    AppendMenuA(menu, MF_STRING, kCmdPrevious, "P&revious topic");
    AppendMenuA(menu, MF_STRING, kCmdNext, "&Next topic");
    if (GetSystemMetrics(SM_CMONITORS) > 1) AppendMenuA(menu, MF_STRING, kCmdNextMonitor, "Next &screen");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING | (gTicker.source.connected() ? 0 : MF_GRAYED), kCmdPreferences, "Preferences");
    AppendMenuA(menu, MF_STRING, kCmdClose, "&Close");
    SetForegroundWindow(gTicker.hwnd);
    UINT align = gTicker.settings.edge == display::kEdgeBottom  ? TPM_BOTTOMALIGN
                 : gTicker.settings.edge == display::kEdgeRight ? TPM_RIGHTALIGN
                                                                : 0;
    UINT command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | align, screenPoint.x, screenPoint.y, 0,
                                  gTicker.hwnd, nullptr);
    PostMessageA(gTicker.hwnd, WM_NULL, 0, 0);
    OnCommand(command);
}

// The display settings arrive first as a copy; the update message applies them.
LRESULT OnCopyData(const COPYDATASTRUCT* data) {
    if (!data || data->dwData != 1 || data->cbData != sizeof gTicker.pendingSettings || !data->lpData) return FALSE;
    memcpy(gTicker.pendingSettings, data->lpData, sizeof gTicker.pendingSettings);
    gTicker.pendingValid = true;
    return TRUE;
}

void OnConfigUpdate() {
    CConfigData* cfg = gTicker.source.config();
    if (gTicker.pendingValid) {
        ApplySettings(display::Decode(gTicker.pendingSettings));
        StoreSettings();
        gTicker.pendingValid = false;
    } else if (cfg) {
        ApplySettings(display::FromRecord(*cfg));
    }
    if (cfg) gTicker.preference = cfg->DisplayPreference;
    if (gTicker.painter) Rebuild();
}

void OnLoadPage() {
    CConfigData* cfg = gTicker.source.config();
    if (cfg) OpenLink(WholeText(cfg->PageUrl, sizeof cfg->PageUrl));
}

void OnSessionChange(WPARAM change) {
    if (change != WTS_SESSION_LOCK && change != WTS_SESSION_UNLOCK) return;
    gTicker.locked = change == WTS_SESSION_LOCK;
    UpdatePause();
}

void OnAppBarNews(WPARAM news) {
    if (news == ABN_POSCHANGED && !gTicker.settings.autoHide) PlaceOnMonitor();
}

void OnDestroy() {
    KillTimer(gTicker.hwnd, kFrameTimer);
    KillTimer(gTicker.hwnd, kPollTimer);
    gTicker.appBar->Release();
    WTSUnRegisterSessionNotification(gTicker.hwnd);
    GiveBackWindows();
    gTicker.source.Disconnect();
    PostQuitMessage(0);
}

POINT PointOf(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == gMessages.configUpdate) return OnConfigUpdate(), 0;
    if (message == gMessages.loadPage) return OnLoadPage(), 0;
    if (message == kAppBarMessage) return OnAppBarNews(wParam), 0;
    switch (message) {
        case WM_TIMER:
            if (wParam == kFrameTimer) OnFrame();
            if (wParam == kPollTimer) OnPoll();
            return 0;
        case WM_PAINT: return OnPaint(), 0;
        case WM_ERASEBKGND: return 1;
        case WM_MOUSEMOVE: return OnMouseMove(PointOf(lParam)), 0;
        case WM_MOUSELEAVE: return OnMouseLeave(), 0;
        case WM_LBUTTONUP: return OnClick(PointOf(lParam)), 0;
        case WM_CONTEXTMENU: return OnContextMenu(MenuPoint(lParam)), 0;
        case WM_KEYDOWN: return OnKey(wParam), 0;
        case WM_COPYDATA: return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_COMMAND: return OnCommand(LOWORD(wParam)), 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                gTicker.previous = reinterpret_cast<HWND>(lParam);
                gTicker.holdUntilMs = NowMs() + kBroughtForwardMs;
                gTicker.appBar->Note(ABM_ACTIVATE);
                Wake();
            }
            break;
        case WM_WINDOWPOSCHANGED: gTicker.appBar->Note(ABM_WINDOWPOSCHANGED); break;
        case WM_DISPLAYCHANGE:
        case WM_DPICHANGED: return ApplySettings(gTicker.settings), 0;
        case WM_WTSSESSION_CHANGE: return OnSessionChange(wParam), 0;
        case WM_CLOSE: return DestroyWindow(hwnd), 0;
        case WM_DESTROY: return OnDestroy(), 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Nothing a handler (a timer's included) raises may end the ticker: what the
// message asked for is given up, with a trace, and the bar goes on.
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Dispatch(hwnd, message, wParam, lParam);
    } catch (...) {
        TraceCaught("Glancer WndProc()");
        return 0;
    }
}

// The first connection, under the same boundary as the window's handlers.
void FirstConnect() {
    try {
        if (TryConnect()) return;
        StartAgentIfNone();
        LostAgent();
    } catch (...) {
        TraceCaught("Glancer FirstConnect()");
        LostAgent();
    }
}

// Another ticker runs: it comes to the front and this one ends.
bool BringFirstForward() {
    DWORD start = GetTickCount();
    HWND first = nullptr;
    while (!(first = FindWindowA(kGlancerWindowClass, nullptr)) && GetTickCount() - start < kFindFirstMs) Sleep(50);
    if (!first) return false;
    ShowWindow(first, SW_SHOWNORMAL);
    SetForegroundWindow(first);
    return true;
}

bool CreateTicker(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_HAND);
    wc.lpszClassName = kGlancerWindowClass;
    if (!RegisterClassA(&wc)) return false;
    gTicker.painter = std::make_unique<Painter>(gTicker.thickness);
    gTicker.hwnd = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kGlancerWindowClass, kWindowTitle, WS_POPUP, 0, 0,
                                   1, gTicker.thickness, nullptr, nullptr, instance, nullptr);
    if (!gTicker.hwnd) return false;
    gTicker.appBar = std::make_unique<AppBar>(gTicker.hwnd, kAppBarMessage);
    WTSRegisterSessionNotification(gTicker.hwnd, NOTIFY_FOR_THIS_SESSION);
    MakeTip();
    return true;
}

}  // namespace
}  // namespace glancer

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace glancer;
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, kSingleInstanceMutex));
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS && BringFirstForward()) return 0;

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    BecomeDpiAware();
    if (!CreateTicker(instance)) return 1;
    ApplySettings(gTicker.settings);
    FirstConnect();
    ShowWindow(gTicker.hwnd, SW_SHOWNOACTIVATE);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    gTicker.painter.reset();
    return 0;
}
