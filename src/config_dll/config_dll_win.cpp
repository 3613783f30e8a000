// CONFIG.DLL: the preferences dialog the agent shows through the export
// ConfigDialog. A frame with a tab control and one child dialog a page,
// run by its own message loop until the user closes it, so that the agent's
// clock and requests go on while it is open. The values are checked when
// the user presses OK; a refused value keeps the dialog open on its page.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <string>

#include "base/strutil.h"
#include "config_dll/choices.h"
#include "config_dll/resource.h"
#include "shared/config_data.h"
#include "shared/global_block_view_win.h"
#include "shared/names.h"

namespace {

constexpr char kTitle[] = "Tidewell Preferences";
constexpr int kMaxText = 2048;          // longer than any field; a longer text is refused by the checks
constexpr WORD kLibraryManifestId = 2;  // a library's manifest resource, as program.rc2 gives it

enum Page { kConnection, kBrowser, kDisplay, kTopics, kSymbols, kPace, kPages };

struct PageInfo {
    int templateId;
    const char* label;
};
constexpr PageInfo kPageInfo[kPages] = {
    {IDD_PAGE_CONNECTION, "Connection"}, {IDD_PAGE_BROWSER, "Browser"}, {IDD_PAGE_DISPLAY, "Display"},
    {IDD_PAGE_TOPICS, "Topics"},         {IDD_PAGE_SYMBOLS, "Symbols"}, {IDD_PAGE_PACE, "Pace"},
};
constexpr const char* kEdgeNames[] = {"Left", "Top", "Right", "Bottom"};

// The one dialog that runs; the agent never opens a second one.
struct Dialog {
    prefs::Choices choices;
    HWND window = nullptr;
    HWND tabs = nullptr;
    HWND pages[kPages] = {};
    int current = 0;
    bool done = false;
    bool accepted = false;
};

HINSTANCE gInstance;
Dialog* gDialog;

// The library's own manifest (common controls 6), active while the dialog
// lives, whatever the program that loaded the library asked for.
class OwnManifest {
public:
    OwnManifest() {
        ACTCTXA context = {sizeof context};
        context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.hModule = gInstance;
        context.lpResourceName = MAKEINTRESOURCEA(kLibraryManifestId);
        context_ = CreateActCtxA(&context);
        if (context_ != INVALID_HANDLE_VALUE && !ActivateActCtx(context_, &cookie_)) cookie_ = 0;
    }
    ~OwnManifest() {
        if (cookie_) DeactivateActCtx(0, cookie_);
        if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
    }
    OwnManifest(const OwnManifest&) = delete;
    OwnManifest& operator=(const OwnManifest&) = delete;

private:
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
};

std::string ItemText(HWND page, int id) {
    char text[kMaxText + 2];
    GetDlgItemTextA(page, id, text, sizeof text);
    return text;
}

void SetItemNumber(HWND page, int id, int32_t value, bool show) {
    SetDlgItemTextA(page, id, show ? std::to_string(value).c_str() : "");
}

// The edge, on-top and auto-hide the ticker was set up with, from the shared
// record; defaults when no agent holds one.
display::Settings SharedDisplaySettings() {
    GlobalBlockView block;
    if (!block.valid()) return display::Settings();
    CConfigData cfg;
    memcpy(&cfg, &block.config(), sizeof cfg);
    return display::FromRecord(cfg);
}

// The agent hands confirmed display settings to a running ticker, which
// keeps them where the settings file is written from; with no ticker they
// must get there all the same, or the file and the next ticker disagree.
void StoreSharedDisplaySettings(const display::Settings& settings) {
    GlobalBlockView block;
    if (block.valid()) display::Store(settings, block.config());
}

// ---- Filling the pages ----

void ShowProxySwitch(HWND page) {
    BOOL on = IsDlgButtonChecked(page, IDC_PROXY_ON) == BST_CHECKED;
    EnableWindow(GetDlgItem(page, IDC_PROXY_HOST), on);
    EnableWindow(GetDlgItem(page, IDC_PROXY_PORT), on);
}

void FillConnection(HWND page, const prefs::Choices& c) {
    CheckDlgButton(page, IDC_PROXY_ON, c.proxyOn ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(page, IDC_PROXY_HOST, EM_LIMITTEXT, prefs::kMaxProxyHost, 0);
    SetDlgItemTextA(page, IDC_PROXY_HOST, c.proxyHost.c_str());
    SendDlgItemMessageA(page, IDC_PROXY_PORT, EM_LIMITTEXT, 5, 0);
    SetItemNumber(page, IDC_PROXY_PORT, c.proxyPort, c.proxyPort >= prefs::kMinPort && c.proxyPort <= prefs::kMaxPort);
    ShowProxySwitch(page);
}

void FillBrowser(HWND page, const prefs::Choices& c) {
    SendDlgItemMessageA(page, IDC_BROWSER_PATH, EM_LIMITTEXT, prefs::kMaxBrowserPath, 0);
    SetDlgItemTextA(page, IDC_BROWSER_PATH, c.browserPath.c_str());
}

void FillDisplay(HWND page, const prefs::Choices& c) {
    for (const char* name : kEdgeNames)
        SendDlgItemMessageA(page, IDC_EDGE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageA(page, IDC_EDGE, CB_SETCURSEL, c.display.edge, 0);
    CheckDlgButton(page, IDC_ON_TOP, c.display.onTop ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_AUTO_HIDE, c.display.autoHide ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(page, IDC_SPEED, EM_LIMITTEXT, 3, 0);
    SetItemNumber(page, IDC_SPEED, static_cast<int32_t>(c.display.speed), true);
    CheckDlgButton(page, IDC_SHOW_QUOTES, (c.preference & display::kShowQuotes) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_SHOW_ADS, (c.preference & display::kHideAds) ? BST_UNCHECKED : BST_CHECKED);
}

std::string TopicLine(const prefs::TopicChoice& topic) {
    return std::string(topic.active ? "On" : "Off") + "\t" + topic.title;
}

void ShowSelectedTopic(HWND page, const prefs::Choices& c) {
    LRESULT index = SendDlgItemMessageA(page, IDC_TOPICS, LB_GETCURSEL, 0, 0);
    bool valid = index >= 0 && static_cast<size_t>(index) < c.topics.size();
    EnableWindow(GetDlgItem(page, IDC_TOPIC_ON), valid);
    CheckDlgButton(page, IDC_TOPIC_ON, valid && c.topics[index].active ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(page, IDC_TOPIC_HINT, valid ? c.topics[index].hint.c_str() : "");
}

void FillTopics(HWND page, const prefs::Choices& c) {
    for (const prefs::TopicChoice& topic : c.topics)
        SendDlgItemMessageA(page, IDC_TOPICS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(TopicLine(topic).c_str()));
    SendDlgItemMessageA(page, IDC_TOPICS, LB_SETCURSEL, 0, 0);
    ShowSelectedTopic(page, c);
}

void ShowSymbolsFit(HWND page, const prefs::Choices& c) {
    SetDlgItemTextA(page, IDC_SYMBOLS_FIT, prefs::SymbolsFitText(c.symbols).c_str());
}

void FillSymbols(HWND page, const prefs::Choices& c) {
    for (const std::string& symbol : c.symbols)
        SendDlgItemMessageA(page, IDC_SYMBOLS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(symbol.c_str()));
    SendDlgItemMessageA(page, IDC_SYMBOL, EM_LIMITTEXT, prefs::kMaxSymbol, 0);
    ShowSymbolsFit(page, c);
}

void ShowPaceMeaning(HWND page) {
    int32_t pace = 0;
    bool valid = prefs::CheckPace(ItemText(page, IDC_PACE), pace) == nullptr;
    SetDlgItemTextA(page, IDC_PACE_MEANING, valid ? prefs::PaceMeaning(pace).c_str() : "");
}

void FillPace(HWND page, const prefs::Choices& c) {
    SendDlgItemMessageA(page, IDC_PACE, EM_LIMITTEXT, 2, 0);
    SetItemNumber(page, IDC_PACE, c.pace, true);
    ShowPaceMeaning(page);
}

// ---- What the pages do while the dialog runs ----

// Shows the message on the page, with the offending control focused; false,
// so that a check can end with it.
bool Refuse(Dialog& d, int page, int control, const char* message);
void ShowPage(Dialog& d, int page);

void OnTopicSwitch(HWND page, prefs::Choices& c) {
    LRESULT index = SendDlgItemMessageA(page, IDC_TOPICS, LB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= c.topics.size()) return;
    c.topics[index].active = IsDlgButtonChecked(page, IDC_TOPIC_ON) == BST_CHECKED;
    SendDlgItemMessageA(page, IDC_TOPICS, LB_DELETESTRING, index, 0);
    SendDlgItemMessageA(page, IDC_TOPICS, LB_INSERTSTRING, index,
                        reinterpret_cast<LPARAM>(TopicLine(c.topics[index]).c_str()));
    SendDlgItemMessageA(page, IDC_TOPICS, LB_SETCURSEL, index, 0);
}

void OnAddSymbol(Dialog& d, HWND page) {
    std::string symbol;
    if (const char* refused = prefs::CheckNewSymbol(ItemText(page, IDC_SYMBOL), d.choices.symbols, symbol)) {
        Refuse(d, kSymbols, IDC_SYMBOL, refused);
        return;
    }
    d.choices.symbols.push_back(symbol);
    LRESULT index = SendDlgItemMessageA(page, IDC_SYMBOLS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(symbol.c_str()));
    SendDlgItemMessageA(page, IDC_SYMBOLS, LB_SETCURSEL, index, 0);
    SetDlgItemTextA(page, IDC_SYMBOL, "");
    ShowSymbolsFit(page, d.choices);
}

void OnRemoveSymbol(Dialog& d, HWND page) {
    LRESULT index = SendDlgItemMessageA(page, IDC_SYMBOLS, LB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= d.choices.symbols.size()) {
        Refuse(d, kSymbols, IDC_SYMBOLS, "Choose the symbol to remove in the list first.");
        return;
    }
    d.choices.symbols.erase(d.choices.symbols.begin() + index);
    SendDlgItemMessageA(page, IDC_SYMBOLS, LB_DELETESTRING, index, 0);
    LRESULT left = SendDlgItemMessageA(page, IDC_SYMBOLS, LB_GETCOUNT, 0, 0);
    if (left > 0) SendDlgItemMessageA(page, IDC_SYMBOLS, LB_SETCURSEL, index < left ? index : left - 1, 0);
    ShowSymbolsFit(page, d.choices);
}

void OnBrowse(HWND page) {
    char path[MAX_PATH];
    StrCopy(path, sizeof path, ItemText(page, IDC_BROWSER_PATH).c_str());
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetAncestor(page, GA_ROOT);
    ofn.lpstrFilter = "Programs (*.exe)\0*.exe\0All files\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.lpstrTitle = "Choose your web browser";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameA(&ofn)) SetDlgItemTextA(page, IDC_BROWSER_PATH, path);
}

void OnPageCommand(HWND page, int id, int code) {
    Dialog& d = *gDialog;
    switch (id) {
        case IDC_PROXY_ON: ShowProxySwitch(page); break;
        case IDC_BROWSE: OnBrowse(page); break;
        case IDC_TOPICS:
            if (code == LBN_SELCHANGE) ShowSelectedTopic(page, d.choices);
            break;
        case IDC_TOPIC_ON:
            if (code == BN_CLICKED) OnTopicSwitch(page, d.choices);
            break;
        case IDC_ADD_SYMBOL: OnAddSymbol(d, page); break;
        case IDC_REMOVE_SYMBOL: OnRemoveSymbol(d, page); break;
        case IDC_PACE:
            if (code == EN_CHANGE) ShowPaceMeaning(page);
            break;
    }
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return FALSE;
    if (message == WM_COMMAND && gDialog) {
        OnPageCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// ---- Taking the values when the user presses OK ----

// Each returns false after refusing a value.
bool TakeConnection(Dialog& d, HWND page) {
    prefs::Choices& c = d.choices;
    bool on = IsDlgButtonChecked(page, IDC_PROXY_ON) == BST_CHECKED;
    std::string host;
    if (const char* refused = prefs::CheckProxyHost(ItemText(page, IDC_PROXY_HOST), on, host))
        return Refuse(d, kConnection, IDC_PROXY_HOST, refused);
    int32_t port = c.proxyPort;
    if (const char* refused = prefs::CheckPort(ItemText(page, IDC_PROXY_PORT), on, port))
        return Refuse(d, kConnection, IDC_PROXY_PORT, refused);
    c.proxyOn = on;
    c.proxyHost = host;
    c.proxyPort = port;
    return true;
}

bool TakeBrowser(Dialog& d, HWND page) {
    if (const char* refused = prefs::CheckBrowserPath(ItemText(page, IDC_BROWSER_PATH), d.choices.browserPath))
        return Refuse(d, kBrowser, IDC_BROWSER_PATH, refused);
    return true;
}

bool TakeDisplay(Dialog& d, HWND page) {
    prefs::Choices& c = d.choices;
    uint32_t speed = 0;
    if (const char* refused = prefs::CheckSpeed(ItemText(page, IDC_SPEED), speed))
        return Refuse(d, kDisplay, IDC_SPEED, refused);
    LRESULT edge = SendDlgItemMessageA(page, IDC_EDGE, CB_GETCURSEL, 0, 0);
    if (edge >= 0 && edge <= static_cast<LRESULT>(display::kEdgeBottom)) c.display.edge = static_cast<uint32_t>(edge);
    c.display.onTop = IsDlgButtonChecked(page, IDC_ON_TOP) == BST_CHECKED;
    c.display.autoHide = IsDlgButtonChecked(page, IDC_AUTO_HIDE) == BST_CHECKED;
    c.display.speed = speed;
    // Bits the dialog does not know stay as the ticker left them.
    c.preference &= ~(display::kShowQuotes | display::kHideAds);
    if (IsDlgButtonChecked(page, IDC_SHOW_QUOTES) == BST_CHECKED) c.preference |= display::kShowQuotes;
    if (IsDlgButtonChecked(page, IDC_SHOW_ADS) != BST_CHECKED) c.preference |= display::kHideAds;
    return true;
}

// A symbol typed but not added would be lost without a word.
bool NoSymbolLeftTyped(Dialog& d, HWND page) {
    if (ItemText(page, IDC_SYMBOL).find_first_not_of(" \t") == std::string::npos) return true;
    return Refuse(d, kSymbols, IDC_SYMBOL, "Press Add to list the symbol you typed, or clear the field.");
}

bool TakePace(Dialog& d, HWND page) {
    int32_t pace = 0;
    if (const char* refused = prefs::CheckPace(ItemText(page, IDC_PACE), pace))
        return Refuse(d, kPace, IDC_PACE, refused);
    d.choices.pace = pace;
    return true;
}

// ---- The frame ----

void ShowPage(Dialog& d, int page) {
    d.current = page;
    TabCtrl_SetCurSel(d.tabs, page);
    for (int i = 0; i < kPages; i++) ShowWindow(d.pages[i], i == page ? SW_SHOW : SW_HIDE);
    // The keyboard must not stay on a control of the page that went: it
    // goes to the tabs, as after a click on one.
    HWND focus = GetFocus();
    if (focus && IsChild(d.window, focus) && !IsWindowVisible(focus)) SetFocus(d.tabs);
}

bool Refuse(Dialog& d, int page, int control, const char* message) {
    ShowPage(d, page);
    MessageBoxA(d.window, message, kTitle, MB_OK | MB_ICONEXCLAMATION);
    HWND item = GetDlgItem(d.pages[page], control);
    SetFocus(item);
    SendMessageA(item, EM_SETSEL, 0, -1);
    return false;
}

void OnOk(Dialog& d) {
    if (!TakeConnection(d, d.pages[kConnection]) || !TakeBrowser(d, d.pages[kBrowser]) ||
        !TakeDisplay(d, d.pages[kDisplay]) || !NoSymbolLeftTyped(d, d.pages[kSymbols]) || !TakePace(d, d.pages[kPace]))
        return;
    d.accepted = true;
    d.done = true;
}

// The pages sit in the tab control's display area, next after it in the
// tab order, so that Tab walks from the tabs into the page and on to OK.
void MakePages(Dialog& d) {
    for (int i = 0; i < kPages; i++) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kPageInfo[i].label);
        SendMessageA(d.tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    // The display area is known once the tabs are in.
    RECT area;
    GetWindowRect(d.tabs, &area);
    MapWindowPoints(nullptr, d.window, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(d.tabs, FALSE, &area);
    HWND after = d.tabs;
    for (int i = 0; i < kPages; i++) {
        d.pages[i] = CreateDialogParamA(gInstance, MAKEINTRESOURCEA(kPageInfo[i].templateId), d.window, PageProc, 0);
        SetWindowPos(d.pages[i], after, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOACTIVATE);
        after = d.pages[i];
    }
    FillConnection(d.pages[kConnection], d.choices);
    FillBrowser(d.pages[kBrowser], d.choices);
    FillDisplay(d.pages[kDisplay], d.choices);
    FillTopics(d.pages[kTopics], d.choices);
    FillSymbols(d.pages[kSymbols], d.choices);
    FillPace(d.pages[kPace], d.choices);
}

// The product's icon in the caption and the task switcher, at the sizes the
// system asks for.
void ShowProductIcon(HWND window) {
    const int kinds[][3] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    for (const auto& kind : kinds) {
        HANDLE icon = LoadImageA(gInstance, MAKEINTRESOURCEA(IDI_PRODUCT), IMAGE_ICON, GetSystemMetrics(kind[1]),
                                 GetSystemMetrics(kind[2]), LR_SHARED);
        if (icon) SendMessageA(window, WM_SETICON, kind[0], reinterpret_cast<LPARAM>(icon));
    }
}

INT_PTR CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* d = gDialog;
    if (!d) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            ShowProductIcon(window);
            d->window = window;
            d->tabs = GetDlgItem(window, IDC_TABS);
            MakePages(*d);
            ShowPage(*d, kConnection);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) OnOk(*d);
            if (LOWORD(wParam) == IDCANCEL) d->done = true;
            return TRUE;
        case WM_NOTIFY:
            if (reinterpret_cast<NMHDR*>(lParam)->idFrom == IDC_TABS &&
                reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(TCN_SELCHANGE))
                ShowPage(*d, TabCtrl_GetCurSel(d->tabs));
            return TRUE;
    }
    return FALSE;
}

// Ctrl+Tab and Ctrl+PageDown go to the next page, with Shift or PageUp back.
bool IsPageKey(const MSG& msg, Dialog& d) {
    if (msg.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0) return false;
    if (msg.hwnd != d.window && !IsChild(d.window, msg.hwnd)) return false;
    int step = 0;
    if (msg.wParam == VK_TAB) step = GetKeyState(VK_SHIFT) < 0 ? -1 : 1;
    if (msg.wParam == VK_NEXT) step = 1;
    if (msg.wParam == VK_PRIOR) step = -1;
    if (!step) return false;
    ShowPage(d, (d.current + step + kPages) % kPages);
    return true;
}

// Enter in the symbol field adds the symbol rather than closing the dialog.
bool IsAddKey(const MSG& msg, Dialog& d) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN) return false;
    if (msg.hwnd != GetDlgItem(d.pages[kSymbols], IDC_SYMBOL)) return false;
    OnAddSymbol(d, d.pages[kSymbols]);
    return true;
}

// Runs the dialog until it is closed. Messages for the agent's own windows
// are dispatched as in its own loop.
void RunLoop(Dialog& d) {
    MSG msg;
    while (!d.done) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {  // the agent is ending: its own loop must see the quit too
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got < 0) return;
        if (IsPageKey(msg, d) || IsAddKey(msg, d) || IsDialogMessageA(d.window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

extern "C" int WINAPI ConfigDialog(ConfigExchange* exchange, DWORD) {
    if (!exchange || gDialog) return 0;
    exchange->accepted = 0;
    OwnManifest manifest;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    Dialog d;
    d.choices = prefs::ReadExchange(*exchange, SharedDisplaySettings());
    gDialog = &d;
    HWND window = CreateDialogParamA(gInstance, MAKEINTRESOURCEA(IDD_PREFERENCES), nullptr, FrameProc, 0);
    if (window) {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        RunLoop(d);
        DestroyWindow(window);
    }
    gDialog = nullptr;
    if (!d.accepted) return 0;
    prefs::WriteExchange(d.choices, *exchange);
    StoreSharedDisplaySettings(d.choices.display);
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gInstance = instance;
    return TRUE;
}
