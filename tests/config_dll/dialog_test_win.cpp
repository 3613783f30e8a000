// The real preferences dialog inside a real agent, driven from outside as a person would; then what the agent
// holds, saves and hands to the ticker, and every refusal.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <regex>
#include <string>
#include <vector>

#include "agent_fixture_win.h"
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

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text; text++) narrow += static_cast<char>(*text);
    return narrow;
}

// Wide: Wine carries texts between processes so. The dialog's are ASCII.
std::string TextOf(HWND window) {
    wchar_t text[512] = L"";
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

HWND OwnedBox(HWND owner) {
    for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", nullptr); w;
         w = FindWindowExA(nullptr, w, "#32770", nullptr))
        if (GetWindow(w, GW_OWNER) == owner) return w;
    return nullptr;
}

// Clicks and keys are posted: a refusal's message box would hold a sent one until the test closes it.
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
        HWND item = GetDlgItem(window, id);
        for (HWND page = GetWindow(window, GW_CHILD); page && !item; page = GetWindow(page, GW_HWNDNEXT))
            item = GetDlgItem(page, id);
        return item;
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
    // The text of the message box over the dialog, closed with its OK; found once it has its text.
    std::string Refusal() const {
        HWND box = nullptr;
        wchar_t text[512] = L"";
        WaitFor(
            [&] {
                box = OwnedBox(window);
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

class PrefsDialogTest : public AgentFixture {
protected:
    void Start(const std::string& settings, const std::string& database) {
        folder.Write("Tidewell.ini", "[Tidewell Settings]\r\n" + settings);
        ASSERT_NO_FATAL_FAILURE(StartAgent(database, {"CONFIG.DLL"}));
    }
    PrefsDialog Open() const {
        PostMessageA(engine, gMessages.configDlg, 0, 0);
        return PrefsDialog(agent->id());
    }
};

// A person's settings file and data file (a topic with a hint, one off, and a
// quote topic); a window of the test stands for the ticker.
class APersonsPrefs : public PrefsDialogTest {
protected:
    void SetUp() override {
        Start(
            "HttpProxy=old.test\r\nHttpProxyPort=8080\r\nHttpProxyEnabled=0\r\n"
            "BrowserPath=C:\\X\\iexplore.exe\r\nEdgeDockedOn=3\r\nAlwaysOnTop=0\r\nAutoHide=1\r\n",
            R"({"topics": [{"Title": "News / A", "Hint": "Harbour & coast"},
                  {"dwType": 3, "Title": "Stocks / Quotes", "messages": [{"ridMsg": 4, "Title": "BBB;1;2"}]},
                  {"Title": "News / B", "bActive": 0}]})");
        gHandedOver.clear();
        if (cfg) cfg->DisplayWindow = HwndToWord(display.window);
    }
    WindowGuard display{MakeWindowOfClass("Tidewell test ticker", RecordHandedOver)};
};

}  // namespace

// The pages show what the agent holds (the display page, without settings yet, the settings file's); each invalid
// value is refused on its page while the dialog stays; Esc then changes nothing.
TEST_F(APersonsPrefs, ShowsWhatTheAgentHoldsRefusesInvalidValuesAndEscChangesNothing) {
    CConfigData before = *cfg;
    PrefsDialog dialog = Open();
    ASSERT_NE(nullptr, dialog.window);
    EXPECT_EQ("old.test|8080|0|C:\\X\\iexplore.exe", dialog.Text(IDC_PROXY_HOST) + "|" + dialog.Text(IDC_PROXY_PORT) +
                                                         "|" + std::to_string(dialog.Checked(IDC_PROXY_ON)) + "|" +
                                                         dialog.Text(IDC_BROWSER_PATH));
    EXPECT_EQ(3, dialog.Send(IDC_EDGE, CB_GETCURSEL));
    EXPECT_FALSE(dialog.Checked(IDC_ON_TOP));
    EXPECT_TRUE(dialog.Checked(IDC_AUTO_HIDE));
    EXPECT_EQ("80", dialog.Text(IDC_SPEED));
    EXPECT_TRUE(dialog.Checked(IDC_SHOW_QUOTES));
    // The quote topic is edited by its symbols; the ad stream has no switch
    // that would not stop the ads: the display page's "Show ads" does that.
    ASSERT_EQ(2, dialog.Send(IDC_TOPICS, LB_GETCOUNT));
    EXPECT_EQ("On\tNews / A|Off\tNews / B", dialog.ListItem(IDC_TOPICS, 0) + "|" + dialog.ListItem(IDC_TOPICS, 1));
    EXPECT_EQ("Harbour & coast", dialog.Text(IDC_TOPIC_HINT));
    EXPECT_EQ("BBB", dialog.ListItem(IDC_SYMBOLS, 0));
    EXPECT_EQ("1 of 1 symbols fit the quote address.", dialog.Text(IDC_SYMBOLS_FIT));
    EXPECT_EQ("1", dialog.Text(IDC_PACE));
    EXPECT_EQ(0u, dialog.Text(IDC_PACE_MEANING).find("News is asked for at most every 3 s"));

    dialog.Click(IDC_PROXY_ON);  // a proxy needs a host
    struct Refused {
        int page, item;
        const char* bad;
        int press;
        const char* message;
    } refusals[] = {
        {kConnectionPage, IDC_PROXY_PORT, "70000", IDOK, "The proxy port must be a number from 1 to 65535."},
        {kConnectionPage, IDC_PROXY_HOST, "", IDOK, "Please enter the proxy server's name or address."},
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

    dialog.Type(IDC_PROXY_HOST, "nowhere.test");
    dialog.Click(IDC_TOPIC_ON);
    dialog.Type(IDC_PACE, "9");
    dialog.Key(IDC_PACE, VK_ESCAPE);
    ASSERT_TRUE(dialog.WaitClosed());
    PumpMessages(500);
    EXPECT_EQ(0, memcmp(&before, cfg, sizeof before));
    EXPECT_TRUE(gHandedOver.empty());
}

// Every page changed, then Enter: the agent takes it all, hands the display settings to the ticker, and keeps
// them when it is closed with the dialog open again.
TEST_F(APersonsPrefs, EnterHandsEveryPageToTheAgentAndTheTicker) {
    PrefsDialog dialog = Open();
    ASSERT_NE(nullptr, dialog.window);
    dialog.Click(IDC_PROXY_ON);
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

    ASSERT_TRUE(WaitFor([&] { return gHandedOver.size() == 2; }, kDialogTimeoutMs));
    EXPECT_EQ("configupdate", gHandedOver[1]);
    const std::string kCopied = "1:";
    ASSERT_EQ(kCopied.size() + 388, gHandedOver[0].size()) << gHandedOver[0];
    const auto* words = reinterpret_cast<const uint8_t*>(gHandedOver[0].data() + kCopied.size());
    display::Settings shown = display::Decode(words);
    EXPECT_EQ(display::kDisplayMark, display::Word(words, display::kWordMark));
    EXPECT_EQ("edge 0 on top 1 auto-hide 1 speed 120",
              "edge " + std::to_string(shown.edge) + " on top " + std::to_string(shown.onTop) + " auto-hide " +
                  std::to_string(shown.autoHide) + " speed " + std::to_string(shown.speed));
    EXPECT_EQ("proxy.test:3128 on 1, C:\\Apps\\Netscape\\netscape.exe as NETSCAPE, pace 14, preference 3",
              std::string(cfg->HttpProxy) + ":" + std::to_string(cfg->HttpProxyPort) + " on " +
                  std::to_string(cfg->HttpProxyEnabled) + ", " + cfg->BrowserPath + " as " + cfg->BrowserDdeService +
                  ", pace " + std::to_string(cfg->Pace) + ", preference " + std::to_string(cfg->DisplayPreference));
    std::string json = folder.DumpDatabase();
    for (const char* pattern : {R"("bActive": 0,[^}]*"Title": "News / A")", R"("bActive": 1,[^}]*"Title": "News / B")",
                                R"("Title": "AAA;0;0")", R"("Title": "CCC;0;0")", R"(quotes.csv\?s=AAA\+CCC&)"})
        EXPECT_TRUE(std::regex_search(json, std::regex(pattern))) << pattern << "\n" << json;
    EXPECT_EQ(std::string::npos, json.find("BBB")) << json;

    PrefsDialog open = Open();
    ASSERT_NE(nullptr, open.window);
    EXPECT_EQ(0u, agent->Close());
    EXPECT_FALSE(IsWindow(open.window));
    std::string ini = folder.Read("Tidewell.ini");
    for (const char* line : {"HttpProxy=proxy.test", "HttpProxyPort=3128", "HttpProxyEnabled=1",
                             "BrowserPath=C:\\Apps\\Netscape\\netscape.exe", "BrowserDdeService=NETSCAPE"})
        EXPECT_NE(std::string::npos, ini.find(line)) << line << "\n" << ini;
}

namespace {

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

char MnemonicIn(const std::string& text) {
    size_t at = text.find('&');
    return at + 1 < text.size() ? static_cast<char>(tolower(static_cast<unsigned char>(text[at + 1]))) : 0;
}

// The page's Tab stops in order, each with the letter that reaches it (a button's own, else the label's
// before it; 0 if none).
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

// Without a mouse: pages by Ctrl+Tab, controls by Tab and by their letter (unique on a page), Enter for OK.
// With no ticker running, the display page's settings must reach the settings file all the same.
TEST_F(PrefsDialogTest, KeyboardAloneAndNoTicker) {
    ASSERT_NO_FATAL_FAILURE(
        Start("HttpProxy=proxy.test\r\nHttpProxyPort=8080\r\nHttpProxyEnabled=1\r\n"
              "EdgeDockedOn=3\r\nAlwaysOnTop=1\r\nAutoHide=0\r\n",
              R"({"topics": [{"Title": "News / A"}]})"));
    const int buttons[] = {IDOK, IDCANCEL, IDC_TABS};
    const int kOnPage[] = {IDC_PROXY_ON, IDC_BROWSER_PATH, IDC_EDGE, IDC_TOPICS, IDC_SYMBOLS, IDC_PACE};
    PrefsDialog dialog = Open();
    ASSERT_NE(nullptr, dialog.window);
    ASSERT_TRUE(dialog.WaitForFocus(IDC_TABS));
    for (int page = 0; page < 6; page++) {
        ASSERT_TRUE(WaitFor([&] { return dialog.CurrentPage() == page; }, kDialogTimeoutMs)) << "Ctrl+Tab to " << page;
        ASSERT_TRUE(dialog.WaitForFocus(IDC_TABS)) << "the keyboard left on a hidden page before " << page;
        std::vector<std::pair<int, char>> stops = TabStops(GetParent(dialog.Item(kOnPage[page])));
        std::string letters;
        for (const auto& [id, letter] : stops) {
            EXPECT_NE(0, letter) << "page " << page << ": control " << id << " has no underlined letter";
            EXPECT_EQ(std::string::npos, letters.find(letter)) << "page " << page << ": '" << letter << "' twice";
            letters += letter;
        }
        // Tab walks the page's controls, OK, Cancel and back to the tabs.
        std::vector<int> order;
        for (const auto& stop : stops) order.push_back(stop.first);
        order.insert(order.end(), std::begin(buttons), std::end(buttons));
        for (int id : order) {
            PostMessageA(dialog.Focus(), WM_KEYDOWN, VK_TAB, 0);
            EXPECT_TRUE(dialog.WaitForFocus(id)) << "Tab to " << id << " on page " << page;
        }
        // Each letter reaches its control (push buttons' would act: left). Last to first: the proxy's
        // switch, which disables its host and port, comes last.
        for (auto stop = stops.rbegin(); stop != stops.rend(); ++stop) {
            auto [id, letter] = *stop;
            if (ClassOf(dialog.Item(id)) == "Button" && !(GetWindowLongA(dialog.Item(id), GWL_STYLE) & BS_CHECKBOX))
                continue;
            PostMessageA(dialog.Focus(), WM_SYSCHAR, letter, 1 << 29);
            EXPECT_TRUE(dialog.WaitForFocus(id)) << "Alt+" << letter << " on page " << page;
        }
        if (page == kDisplayPage) PostMessageA(dialog.Item(IDC_EDGE), WM_KEYDOWN, VK_HOME, 0);  // the left edge
        PressCtrlTab();
    }
    ASSERT_TRUE(WaitFor([&] { return dialog.CurrentPage() == 0; }, kDialogTimeoutMs)) << "Ctrl+Tab round";
    EXPECT_FALSE(dialog.Checked(IDC_SHOW_QUOTES) || dialog.Checked(IDC_SHOW_ADS));
    PostMessageA(dialog.Focus(), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(dialog.WaitClosed());
    EXPECT_TRUE(WaitFor([&] { return cfg->DisplayPreference == display::kHideAds; }, kDialogTimeoutMs))
        << cfg->DisplayPreference;
    EXPECT_EQ(0u, agent->Close());

    // The letters toggled every switch once: the proxy off, always on top
    // off, sliding away on, quotes and ads off, News / A off.
    std::string ini = folder.Read("Tidewell.ini");
    for (const char* line : {"HttpProxyEnabled=0", "EdgeDockedOn=0", "AlwaysOnTop=0", "AutoHide=1"})
        EXPECT_NE(std::string::npos, ini.find(line)) << line << "\n" << ini;
    std::string json = folder.DumpDatabase();
    EXPECT_TRUE(std::regex_search(json, std::regex(R"("bActive": 0,[^}]*"Title": "News / A")"))) << json;
}
