// The real preferences dialog inside a real agent, driven from outside as a
// person would: pages chosen, text typed, boxes clicked, Enter and Esc
// pressed. What the agent then holds, saves and hands to the ticker is
// checked, and so is every refusal.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <regex>
#include <string>
#include <vector>

#include "agent_process_win.h"
#include "config_dll/resource.h"
#include "shared/display_settings.h"
#include "shared/names.h"
#include "shared/messages_win.h"
#include "shared/window_handle_win.h"
#include "test_window_win.h"

namespace {

constexpr DWORD kDialogTimeoutMs = 10000;
constexpr int kConnectionPage = 0, kDisplayPage = 2, kTopicsPage = 3, kSymbolsPage = 4, kPacePage = 5;
constexpr int kMessageBoxText = 0xFFFF;  // the static that holds a message box's text

// What the ticker's stand-in window is handed, in order.
std::vector<std::string> gDisplay;

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        gDisplay.push_back("copydata " + std::to_string(data->dwData) + ":" +
                           std::string(static_cast<const char*>(data->lpData), data->cbData));
        return 1;
    }
    if (message == gMessages.configUpdate) gDisplay.push_back("configupdate");
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text; text++) narrow += static_cast<char>(*text);
    return narrow;
}

// Texts come back as wide characters: that is how Wine carries them
// between processes. The dialog's texts are ASCII.
std::string TextOf(HWND window) {
    wchar_t text[512] = L"";
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

HWND gFound;
int gWantedId;

BOOL CALLBACK FindItem(HWND window, LPARAM) {
    if (GetDlgCtrlID(window) != gWantedId) return TRUE;
    gFound = window;
    return FALSE;
}

BOOL CALLBACK FindOwnedBox(HWND window, LPARAM owner) {
    char name[16];
    if (GetWindow(window, GW_OWNER) != reinterpret_cast<HWND>(owner) || !GetClassNameA(window, name, sizeof name) ||
        std::string(name) != "#32770")
        return TRUE;
    gFound = window;
    return FALSE;
}

// The dialog the agent shows, reached from this process by window messages.
// Clicks and keys are posted: a refusal opens a message box that would hold
// a sent message until this test closes it.
class PrefsDialog {
public:
    explicit PrefsDialog(DWORD agentId) {
        WaitFor(
            [&] {
                window = WaitForWindow("#32770", agentId, 0);
                return window && IsWindowVisible(window);
            },
            kDialogTimeoutMs);
    }
    HWND window = nullptr;

    HWND Item(int id) const {
        gFound = nullptr;
        gWantedId = id;
        EnumChildWindows(window, FindItem, 0);
        return gFound;
    }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(Item(id), message, wParam, lParam);
    }
    void Page(int page) const { Send(IDC_TABS, TCM_SETCURFOCUS, page); }
    int CurrentPage() const { return static_cast<int>(Send(IDC_TABS, TCM_GETCURSEL)); }
    void Type(int id, const std::string& text) const {
        Send(id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::string Text(int id) const { return TextOf(Item(id)); }
    std::string ListItem(int id, int index) const {
        wchar_t text[512] = L"";
        if (SendMessageW(Item(id), LB_GETTEXTLEN, index, 0) < 512)
            SendMessageW(Item(id), LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
        return Narrow(text);
    }
    bool Checked(int id) const { return Send(id, BM_GETCHECK) == BST_CHECKED; }
    void Click(int id) const { PostMessageA(Item(id), BM_CLICK, 0, 0); }
    void Key(int id, WPARAM key) const {
        PostMessageA(Item(id), WM_KEYDOWN, key, 0);
        PostMessageA(Item(id), WM_KEYUP, key, 0xC0000000);
    }
    // The text of the message box the dialog shows over itself, which is
    // then closed with its OK; empty when none appears.
    std::string Refusal() const {
        HWND box = nullptr;
        wchar_t text[512] = L"";
        // Found once shown: the box gets its text after it is made.
        WaitFor(
            [&] {
                gFound = nullptr;
                EnumWindows(FindOwnedBox, reinterpret_cast<LPARAM>(window));
                box = gFound;
                if (box && IsWindowVisible(box))
                    SendDlgItemMessageW(box, kMessageBoxText, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
                return text[0] != 0;
            },
            kDialogTimeoutMs);
        if (!box) return "";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !IsWindow(box); }, kDialogTimeoutMs);
        return Narrow(text);
    }
    // The control that has the keyboard focus in the agent's thread.
    HWND Focus() const {
        GUITHREADINFO info = {sizeof info};
        return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
    }
    bool WaitForFocus(int id) const {
        return WaitFor([&] { return Focus() == Item(id); }, kDialogTimeoutMs);
    }
    bool WaitClosed() const {
        return WaitFor([&] { return !IsWindow(window); }, kDialogTimeoutMs);
    }
};

}  // namespace

TEST(PrefsDialog, APersonCancelsIsRefusedAndConfirms) {
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    InstallFolder folder("prefsdialog", InstallFolder::kWithoutDatabase);
    folder.Write("Tidewell.ini",
                 "[Tidewell Settings]\r\nHttpProxy=old.test\r\nHttpProxyPort=8080\r\n"
                 "HttpProxyEnabled=0\r\nBrowserPath=C:\\X\\iexplore.exe\r\nEdgeDockedOn=3\r\n"
                 "AlwaysOnTop=0\r\nAutoHide=1\r\n");
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / A", "Hint": "Harbour & coast"},
        {"dwType": 3, "Title": "Stocks / Quotes", "messages": [{"ridMsg": 4, "Title": "BBB;1;2"}]},
        {"Title": "News / B", "bActive": 0}]})"));
    CopyProgram(folder.path(), "CONFIG.DLL");
    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, engine);
    GlobalBlockView block;
    CConfigData& cfg = block.config();
    WindowGuard display{MakeWindowOfClass("Tidewell test ticker", DisplayWindowProc)};
    cfg.DisplayWindow = HwndToWord(display.window);

    // The pages show what the agent holds; the display page, whose words
    // carry no settings yet, starts from the settings file's edge and switches.
    std::string saved = folder.Read("Data\\Msg.dat");
    CConfigData before = cfg;
    PostMessageA(engine, gMessages.configDlg, 0, 0);
    PrefsDialog cancelled(agent.id());
    ASSERT_NE(nullptr, cancelled.window);
    EXPECT_EQ("old.test|8080|0|C:\\X\\iexplore.exe",
              cancelled.Text(IDC_PROXY_HOST) + "|" + cancelled.Text(IDC_PROXY_PORT) + "|" +
                  std::to_string(cancelled.Checked(IDC_PROXY_ON)) + "|" + cancelled.Text(IDC_BROWSER_PATH));
    EXPECT_EQ(3, cancelled.Send(IDC_EDGE, CB_GETCURSEL));
    EXPECT_FALSE(cancelled.Checked(IDC_ON_TOP));
    EXPECT_TRUE(cancelled.Checked(IDC_AUTO_HIDE));
    EXPECT_EQ("80", cancelled.Text(IDC_SPEED));
    EXPECT_TRUE(cancelled.Checked(IDC_SHOW_QUOTES));
    // The quote topic is edited by its symbols; the ad stream has no switch
    // that would not stop the ads: the display page's "Show ads" does that.
    ASSERT_EQ(2, cancelled.Send(IDC_TOPICS, LB_GETCOUNT));
    EXPECT_EQ("On\tNews / A|Off\tNews / B",
              cancelled.ListItem(IDC_TOPICS, 0) + "|" + cancelled.ListItem(IDC_TOPICS, 1));
    EXPECT_EQ("Harbour & coast", cancelled.Text(IDC_TOPIC_HINT));
    EXPECT_EQ("BBB", cancelled.ListItem(IDC_SYMBOLS, 0));
    EXPECT_EQ("1 of 1 symbols fit the quote address.", cancelled.Text(IDC_SYMBOLS_FIT));
    EXPECT_EQ("1", cancelled.Text(IDC_PACE));
    EXPECT_EQ(0u, cancelled.Text(IDC_PACE_MEANING).find("News is asked for at most every 3 s"));
    // The keyboard: the tabs first, Tab into the page, mnemonics (Alt+U
    // switches the proxy on, which lets Alt+P reach the port).
    EXPECT_TRUE(cancelled.WaitForFocus(IDC_TABS));
    cancelled.Key(IDC_TABS, VK_TAB);
    EXPECT_TRUE(cancelled.WaitForFocus(IDC_PROXY_ON));
    PostMessageA(cancelled.Focus(), WM_SYSCHAR, 'u', 1 << 29);
    PostMessageA(cancelled.Item(IDC_PROXY_ON), WM_SYSCHAR, 'p', 1 << 29);
    EXPECT_TRUE(cancelled.WaitForFocus(IDC_PROXY_PORT));
    EXPECT_TRUE(cancelled.Checked(IDC_PROXY_ON));
    // Changes, then Esc: nothing reaches the agent.
    cancelled.Type(IDC_PROXY_HOST, "nowhere.test");
    cancelled.Click(IDC_TOPIC_ON);
    cancelled.Type(IDC_PACE, "9");
    cancelled.Key(IDC_PACE, VK_ESCAPE);
    ASSERT_TRUE(cancelled.WaitClosed());
    PumpMessages(500);
    EXPECT_EQ(0, memcmp(&before, &cfg, sizeof before));
    EXPECT_EQ(saved, folder.Read("Data\\Msg.dat"));
    EXPECT_TRUE(gDisplay.empty());

    // Each invalid value is refused on its own page, and the dialog stays.
    PostMessageA(engine, gMessages.configDlg, 0, 0);
    PrefsDialog dialog(agent.id());
    ASSERT_NE(nullptr, dialog.window);
    struct Refused {
        int page, item;
        const char* bad;
        int press;
        const char* message;
    } refusals[] = {
        {kConnectionPage, IDC_PROXY_PORT, "70000", IDOK, "The proxy port must be a number from 1 to 65535."},
        {kDisplayPage, IDC_SPEED, "5", IDOK, "The ticker's speed must be a number from 20 to 400 pixels a second."},
        {kPacePage, IDC_PACE, "0", IDOK, "The pace must be a number from 1 to 20."},
        {kSymbolsPage, IDC_SYMBOL, "TENLETTERS", IDC_ADD_SYMBOL, "A stock symbol has 1 to 9 characters."},
        {kSymbolsPage, IDC_SYMBOL, "bbb", IDC_ADD_SYMBOL, "This symbol is listed already."},
        {kSymbolsPage, IDC_SYMBOL, "DDD", IDOK, "Press Add to list the symbol you typed, or clear the field."},
    };
    for (const Refused& r : refusals) {
        dialog.Page(r.page == kConnectionPage ? kTopicsPage : kConnectionPage);
        std::string good = dialog.Text(r.item);
        dialog.Type(r.item, r.bad);
        dialog.Click(r.press);
        EXPECT_EQ(r.message, dialog.Refusal()) << r.bad;
        EXPECT_EQ(r.page, dialog.CurrentPage()) << r.bad;
        EXPECT_TRUE(IsWindowVisible(dialog.window)) << r.bad;
        dialog.Type(r.item, good);
    }
    dialog.Page(kConnectionPage);
    dialog.Click(IDC_PROXY_ON);
    dialog.Type(IDC_PROXY_HOST, "");
    dialog.Click(IDOK);
    EXPECT_EQ("Please enter the proxy server's name or address.", dialog.Refusal());

    // Every page changed, then Enter.
    // Texts are kept as they were checked, without the blanks around them.
    dialog.Type(IDC_PROXY_HOST, " proxy.test\t ");
    dialog.Type(IDC_PROXY_PORT, "3128");
    dialog.Type(IDC_BROWSER_PATH, "  C:\\Apps\\Netscape\\netscape.exe ");
    dialog.Page(kDisplayPage);
    dialog.Send(IDC_EDGE, CB_SETCURSEL, display::kEdgeLeft);
    dialog.Click(IDC_ON_TOP);
    dialog.Type(IDC_SPEED, "120");
    dialog.Click(IDC_SHOW_ADS);
    dialog.Page(kTopicsPage);
    dialog.Click(IDC_TOPIC_ON);       // News / A off
    dialog.Key(IDC_TOPICS, VK_DOWN);  // News / B ...
    dialog.Click(IDC_TOPIC_ON);       // ... on
    dialog.Page(kSymbolsPage);
    dialog.Type(IDC_SYMBOL, "aaa");
    dialog.Click(IDC_ADD_SYMBOL);
    ASSERT_TRUE(WaitFor([&] { return dialog.Send(IDC_SYMBOLS, LB_GETCOUNT) == 2; }, kDialogTimeoutMs));
    dialog.Send(IDC_SYMBOLS, LB_SETCURSEL, 0);
    dialog.Click(IDC_REMOVE_SYMBOL);
    dialog.Type(IDC_SYMBOL, "ccc");
    dialog.Key(IDC_SYMBOL, VK_RETURN);  // adds, and the dialog stays
    ASSERT_TRUE(WaitFor([&] { return dialog.ListItem(IDC_SYMBOLS, 1) == "CCC"; }, kDialogTimeoutMs));
    EXPECT_EQ("AAA", dialog.ListItem(IDC_SYMBOLS, 0));
    EXPECT_EQ("On\tNews / B", dialog.ListItem(IDC_TOPICS, 1));
    dialog.Page(kPacePage);
    dialog.Type(IDC_PACE, "14");
    EXPECT_EQ(0u, dialog.Text(IDC_PACE_MEANING)
                      .find("News is asked for at most every 42 s, an ad every 43 s, "
                            "stock quotes every 95 s. The agent runs at idle priority."));
    dialog.Key(IDC_PACE, VK_RETURN);
    ASSERT_TRUE(dialog.WaitClosed());

    // The agent took every change and handed the display settings to the ticker.
    ASSERT_TRUE(WaitFor([&] { return gDisplay.size() == 2; }, kDialogTimeoutMs));
    EXPECT_EQ("configupdate", gDisplay[1]);
    ASSERT_EQ(std::string("copydata 1:").size() + 388, gDisplay[0].size()) << gDisplay[0];
    const auto* words = reinterpret_cast<const uint8_t*>(gDisplay[0].data() + std::string("copydata 1:").size());
    display::Settings shown = display::Decode(words);
    EXPECT_EQ(display::kDisplayMark, display::Word(words, display::kWordMark));
    EXPECT_EQ("edge 0 on top 1 auto-hide 1 speed 120",
              "edge " + std::to_string(shown.edge) + " on top " + std::to_string(shown.onTop) + " auto-hide " +
                  std::to_string(shown.autoHide) + " speed " + std::to_string(shown.speed));
    EXPECT_EQ("proxy.test:3128 on 1, C:\\Apps\\Netscape\\netscape.exe as NETSCAPE, pace 14, preference 3",
              std::string(cfg.HttpProxy) + ":" + std::to_string(cfg.HttpProxyPort) + " on " +
                  std::to_string(cfg.HttpProxyEnabled) + ", " + cfg.BrowserPath + " as " + cfg.BrowserDdeService +
                  ", pace " + std::to_string(cfg.Pace) + ", preference " + std::to_string(cfg.DisplayPreference));
    std::string json = folder.DumpDatabase();
    for (const char* pattern : {R"("bActive": 0,[^}]*"Title": "News / A")", R"("bActive": 1,[^}]*"Title": "News / B")",
                                R"("Title": "AAA;0;0")", R"("Title": "CCC;0;0")", R"(quotes.csv\?s=AAA\+CCC&)"})
        EXPECT_TRUE(std::regex_search(json, std::regex(pattern))) << pattern << "\n" << json;
    EXPECT_EQ(std::string::npos, json.find("BBB")) << json;

    // With the real ticker as the display window, what the display page sets
    // is what the ticker does: from the settings file's bottom edge and
    // sliding away to the top edge, held there.
    CopyProgram(folder.path(), "Glancer.exe");
    ChildProcess ticker(folder.File("Glancer.exe"), "");
    HWND bar = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (bar = FindWindowA(kGlancerWindowClass, nullptr)) != nullptr; }, kDialogTimeoutMs));
    ASSERT_TRUE(WaitFor([&] { return cfg.DisplayWindow == HwndToWord(bar); }, kDialogTimeoutMs));
    PostMessageA(engine, gMessages.configDlg, 0, 0);
    PrefsDialog again(agent.id());
    ASSERT_NE(nullptr, again.window);
    again.Page(kDisplayPage);
    again.Send(IDC_EDGE, CB_SETCURSEL, display::kEdgeTop);
    if (again.Checked(IDC_AUTO_HIDE)) again.Click(IDC_AUTO_HIDE);
    again.Key(IDC_SPEED, VK_RETURN);
    ASSERT_TRUE(again.WaitClosed());
    RECT at{};
    EXPECT_TRUE(WaitFor(
        [&] {
            return GetWindowRect(bar, &at) && at.top == 0 && at.left == 0 && at.right == GetSystemMetrics(SM_CXSCREEN);
        },
        kDialogTimeoutMs))
        << at.left << "," << at.top << "," << at.right << "," << at.bottom;

    // The agent closed while the dialog is open: the dialog goes, the agent
    // ends as usual (closing the ticker too), and the settings file keeps the changes.
    PostMessageA(engine, gMessages.configDlg, 0, 0);
    PrefsDialog open(agent.id());
    ASSERT_NE(nullptr, open.window);
    EXPECT_EQ(0u, agent.Close());
    EXPECT_FALSE(IsWindow(open.window));
    EXPECT_EQ(0u, ticker.Wait(kDialogTimeoutMs));
    std::string ini = folder.Read("Tidewell.ini");
    for (const char* line : {"HttpProxy=proxy.test", "HttpProxyPort=3128", "HttpProxyEnabled=1",
                             "BrowserPath=C:\\Apps\\Netscape\\netscape.exe", "BrowserDdeService=NETSCAPE"})
        EXPECT_NE(std::string::npos, ini.find(line)) << line << "\n" << ini;
}

namespace {

// A control's mnemonic and whether pressing it only focuses the control
// (a push button would act at once).
struct Mnemonic {
    char letter;
    int id;
    bool pushButton;
};

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

char MnemonicIn(const std::string& text) {
    size_t at = text.find('&');
    return at + 1 < text.size() ? static_cast<char>(tolower(static_cast<unsigned char>(text[at + 1]))) : 0;
}

// The controls of the page shown that Tab stops at, in the dialog's order,
// and the mnemonic that reaches each: its own text's for a button, the label
// before it for any other control. 0 where none reaches it.
std::vector<std::pair<int, char>> TabStops(HWND page) {
    std::vector<std::pair<int, char>> stops;
    char label = 0;
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG style = GetWindowLongA(child, GWL_STYLE);
        std::string text = ClassOf(child) == "Static" && (style & SS_NOPREFIX) ? "" : TextOf(child);
        if (ClassOf(child) == "Static") {
            if (MnemonicIn(text)) label = MnemonicIn(text);
            continue;
        }
        if (!(style & WS_TABSTOP)) continue;
        stops.push_back({GetDlgCtrlID(child), ClassOf(child) == "Button" ? MnemonicIn(text) : label});
        label = 0;
    }
    return stops;
}

// Ctrl+Tab as the keyboard gives it: the dialog reads the Ctrl key's state.
void PressCtrlTab() {
    INPUT keys[4] = {};
    const WORD order[4] = {VK_CONTROL, VK_TAB, VK_TAB, VK_CONTROL};
    for (int i = 0; i < 4; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = order[i];
        keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(4, keys, sizeof(INPUT));
}

}  // namespace

// Without a mouse: every page by Ctrl+Tab, every control by Tab and by its
// underlined letter (unique on its page), Enter for OK. With no ticker
// running, what the display page set must reach the settings file, and the
// agent started again must hand a ticker the same.
TEST(PrefsDialog, KeyboardAloneAndNoTicker) {
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    InstallFolder folder("prefskeys", InstallFolder::kWithoutDatabase);
    folder.Write("Tidewell.ini",
                 "[Tidewell Settings]\r\nHttpProxy=proxy.test\r\nHttpProxyPort=8080\r\n"
                 "HttpProxyEnabled=1\r\nEdgeDockedOn=3\r\nAlwaysOnTop=1\r\nAutoHide=0\r\n");
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / A"},
        {"dwType": 4, "Title": "AdStream", "bActive": 0}]})"));  // switched off by an older dialog
    CopyProgram(folder.path(), "CONFIG.DLL");
    const int buttons[] = {IDOK, IDCANCEL, IDC_TABS};
    const int kOnPage[] = {IDC_PROXY_ON, IDC_BROWSER_PATH, IDC_EDGE, IDC_TOPICS, IDC_SYMBOLS, IDC_PACE};
    {
        AgentProcess agent(folder);
        HWND engine = agent.WaitForEngineWindow();
        ASSERT_NE(nullptr, engine);
        PostMessageA(engine, gMessages.configDlg, 0, 0);
        PrefsDialog dialog(agent.id());
        ASSERT_NE(nullptr, dialog.window);
        ASSERT_TRUE(dialog.WaitForFocus(IDC_TABS));
        for (int page = 0; page < 6; page++) {
            ASSERT_TRUE(WaitFor([&] { return dialog.CurrentPage() == page; }, kDialogTimeoutMs))
                << "Ctrl+Tab to " << page;
            ASSERT_TRUE(dialog.WaitForFocus(IDC_TABS)) << "the keyboard left on a hidden page before " << page;
            HWND shown = GetParent(dialog.Item(kOnPage[page]));
            std::vector<std::pair<int, char>> stops = TabStops(shown);
            std::string letters;
            for (const auto& [id, letter] : stops) {
                EXPECT_NE(0, letter) << "page " << page << ": control " << id << " has no underlined letter";
                EXPECT_EQ(std::string::npos, letters.find(letter)) << "page " << page << ": '" << letter << "' twice";
                letters += letter;
            }
            // Tab walks the page's controls, OK, Cancel and back to the tabs.
            for (const auto& [id, letter] : stops) {
                PostMessageA(dialog.Focus(), WM_KEYDOWN, VK_TAB, 0);
                EXPECT_TRUE(dialog.WaitForFocus(id)) << "Tab to " << id << " on page " << page;
            }
            for (int id : buttons) {
                PostMessageA(dialog.Focus(), WM_KEYDOWN, VK_TAB, 0);
                EXPECT_TRUE(dialog.WaitForFocus(id)) << "Tab to " << id << " on page " << page;
            }
            // Each letter reaches its control; those of push buttons would
            // act, and are left. Last to first: the proxy's switch, which
            // disables its host and port, comes last.
            for (auto stop = stops.rbegin(); stop != stops.rend(); ++stop) {
                auto [id, letter] = *stop;
                if (ClassOf(dialog.Item(id)) == "Button" && !(GetWindowLongA(dialog.Item(id), GWL_STYLE) & BS_CHECKBOX))
                    continue;
                PostMessageA(dialog.Focus(), WM_SYSCHAR, letter, 1 << 29);
                EXPECT_TRUE(dialog.WaitForFocus(id)) << "Alt+" << letter << " on page " << page;
            }
            if (page == 2) PostMessageA(dialog.Item(IDC_EDGE), WM_KEYDOWN, VK_HOME, 0);  // the left edge
            PressCtrlTab();
        }
        ASSERT_TRUE(WaitFor([&] { return dialog.CurrentPage() == 0; }, kDialogTimeoutMs)) << "Ctrl+Tab round";
        EXPECT_FALSE(dialog.Checked(IDC_SHOW_QUOTES) || dialog.Checked(IDC_SHOW_ADS));
        PostMessageA(dialog.Focus(), WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(dialog.WaitClosed());
        GlobalBlockView live;
        EXPECT_TRUE(WaitFor([&] { return live.config().DisplayPreference == display::kHideAds; }, kDialogTimeoutMs))
            << live.config().DisplayPreference;
        EXPECT_EQ(0u, agent.Close());
    }
    // The letters toggled every switch once: the proxy off, always on top
    // off, sliding away on, quotes and ads off, News / A off.
    std::string ini = folder.Read("Tidewell.ini");
    for (const char* line : {"HttpProxyEnabled=0", "EdgeDockedOn=0", "AlwaysOnTop=0", "AutoHide=1"})
        EXPECT_NE(std::string::npos, ini.find(line)) << line << "\n" << ini;
    std::string json = folder.DumpDatabase();
    for (const char* pattern : {R"("bActive": 0,[^}]*"Title": "News / A")", R"("bActive": 1,[^}]*"Title": "AdStream")"})
        EXPECT_TRUE(std::regex_search(json, std::regex(pattern))) << pattern << "\n" << json;

    AgentProcess again(folder);
    ASSERT_NE(nullptr, again.WaitForEngineWindow());
    GlobalBlockView block;
    std::string seen;
    auto read = [&] {
        display::Settings shown = display::FromRecord(block.config());
        seen = "edge " + std::to_string(shown.edge) + " on top " + std::to_string(shown.onTop) + " auto-hide " +
               std::to_string(shown.autoHide) + ", file's edge " + std::to_string(block.config().EdgeDockedOn) +
               " preference " + std::to_string(block.config().DisplayPreference);
        return seen == "edge 0 on top 0 auto-hide 1, file's edge 0 preference 2";
    };
    EXPECT_TRUE(WaitFor(read, kDialogTimeoutMs)) << seen;
    EXPECT_EQ(0u, again.Close());
}
