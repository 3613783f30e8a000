// The probes against real windows and processes, and the tray menu in both
// of its forms.
#include <gtest/gtest.h>

#include <string>

#include "agent/engine_window_win.h"
#include "agent/probes_win.h"
#include "agent/resource.h"
#include "agent/tray_win.h"
#include "agent_process_win.h"
#include "base/strutil.h"
#include "shared/names.h"

namespace {

const char kPlainClass[] = "Tidewell test window";

HWND MakeWindow(const char* className, DWORD style, int x, int y, int width, int height, HWND parent = nullptr,
                DWORD exStyle = 0) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);  // already registered is fine
    return CreateWindowExA(exStyle, className, "", style, x, y, width, height, parent, nullptr, wc.hInstance, nullptr);
}

int ScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int ScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

// Destroys a test window when the test ends.
struct WindowGuard {
    HWND window;
    ~WindowGuard() {
        if (IsWindow(window)) DestroyWindow(window);
    }
};

}  // namespace

TEST(FullScreen, OnlyAVisibleUnminimisedWindowCoveringTheScreen) {
    WindowGuard full{MakeWindow(kPlainClass, WS_POPUP | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight())};
    EXPECT_EQ(1, IsFullScreenWindow(full.window));
    WindowGuard larger{MakeWindow(kPlainClass, WS_POPUP | WS_VISIBLE, -10, -10, ScreenWidth() + 20, ScreenHeight() + 20)};
    EXPECT_EQ(1, IsFullScreenWindow(larger.window));
    WindowGuard small{MakeWindow(kPlainClass, WS_POPUP | WS_VISIBLE, 0, 0, ScreenWidth() - 1, ScreenHeight())};
    EXPECT_EQ(0, IsFullScreenWindow(small.window));
    WindowGuard hidden{MakeWindow(kPlainClass, WS_POPUP, 0, 0, ScreenWidth(), ScreenHeight())};
    EXPECT_EQ(0, IsFullScreenWindow(hidden.window));

    WindowGuard once{MakeWindow(kPlainClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight())};
    EXPECT_EQ(1, IsFullScreenWindow(once.window));
    ShowWindow(once.window, SW_MINIMIZE);  // a minimised window that once covered the screen
    EXPECT_EQ(0, IsFullScreenWindow(once.window));
}

TEST(ScreenSaverWindow, TopLevelTopmostOrCoveringButNotAPreview) {
    WindowGuard top{MakeWindow(kPlainClass, WS_POPUP, 10, 10, 50, 50)};
    EXPECT_EQ(1, IsScreenSaverWindow(top.window));

    WindowGuard settings{MakeWindow(kPlainClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300)};
    WindowGuard preview{MakeWindow(kPlainClass, WS_CHILD | WS_VISIBLE, 10, 10, 150, 100, settings.window)};
    EXPECT_EQ(0, IsScreenSaverWindow(preview.window));  // the preview inside the display settings

    WindowGuard host{MakeWindow(kPlainClass, WS_POPUP | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight())};
    WindowGuard covering{
        MakeWindow(kPlainClass, WS_CHILD | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight(), host.window)};
    EXPECT_EQ(1, IsScreenSaverWindow(covering.window));

    HWND gone = MakeWindow(kPlainClass, WS_POPUP, 0, 0, 10, 10);
    DestroyWindow(gone);
    EXPECT_EQ(0, IsScreenSaverWindow(gone));
    EXPECT_EQ(0, IsScreenSaverWindow(nullptr));
}

TEST(ScreenSaverActive, FollowsTheScreenSaverWindow) {
    EXPECT_EQ(0, ScreenSaverActive());
    HWND saver = MakeWindow("WindowsScreenSaverClass", WS_POPUP, 0, 0, 10, 10);
    ASSERT_NE(nullptr, saver);
    EXPECT_EQ(1, ScreenSaverActive());
    DestroyWindow(saver);
    EXPECT_EQ(0, ScreenSaverActive());
}

TEST(ProcessList, NamesTheExecutableBehindAWindow) {
    WindowGuard mine{MakeWindow(kPlainClass, WS_POPUP, 0, 0, 10, 10)};
    char name[MAX_PATH] = "";
    ASSERT_TRUE(WindowProcessExeName(mine.window, name, sizeof name));
    EXPECT_TRUE(StrEndsWithNoCase(name, "probes_test.exe")) << name;
}

TEST(PacePriority, ProcessClassAndThreadPriorityFollowThePace) {
    struct Case {
        int32_t pace;
        DWORD processClass;
        int thread;
    } cases[] = {
        {13, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {14, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {16, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST},
        {1, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL},
    };
    CConfigData cfg = {};
    for (const Case& c : cases) {
        cfg.Pace = c.pace;
        ApplyPacePriority(cfg);
        EXPECT_EQ(c.processClass, GetPriorityClass(GetCurrentProcess())) << "pace " << c.pace;
        EXPECT_EQ(c.thread, GetThreadPriority(GetCurrentThread())) << "pace " << c.pace;
    }
}

TEST(StartProcess, WaitsForTheExitCodeOrLeavesTheProgramRunning) {
    InstallFolder folder("start-process");
    folder.AddStandIn("helper.exe");
    std::string helper = "\"" + folder.File("helper.exe") + "\"";
    EXPECT_EQ(7u, StartProcess((helper + " --exit 7").c_str(), true));
    EXPECT_NE(0u, StartProcess((helper + " second").c_str(), false));
    EXPECT_TRUE(WaitFor([&] { return folder.StandInLog().find("helper.exe second") != std::string::npos; }, 10000));
    EXPECT_EQ(0u, StartProcess(("\"" + folder.File("missing.exe") + "\"").c_str(), true));
    EXPECT_EQ(0u, StartProcess(("\"" + folder.File("missing.exe") + "\"").c_str(), false));
}

namespace {

std::string MenuText(HMENU menu, int position) {
    char text[100] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

}  // namespace

TEST(TrayMenu, WithoutANotificationAreaTheMenuHangsInTheSystemMenu) {
    WindowGuard engine{MakeWindow(kPlainClass, WS_CAPTION | WS_SYSMENU, 0, 0, 300, 128)};
    int systemItems = GetMenuItemCount(GetSystemMenu(engine.window, FALSE));
    HMENU menu = CreateTrayMenu(engine.window, GetModuleHandleA(nullptr), false);
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(2, GetMenuItemCount(menu));
    EXPECT_EQ("Ticker", MenuText(menu, 0));
    EXPECT_EQ(static_cast<UINT>(IDM_TICKER), GetMenuItemID(menu, 0));
    EXPECT_EQ("Preferences", MenuText(menu, 1));
    EXPECT_EQ(static_cast<UINT>(IDM_PREFERENCES), GetMenuItemID(menu, 1));

    HMENU system = GetSystemMenu(engine.window, FALSE);
    ASSERT_EQ(systemItems + 2, GetMenuItemCount(system));
    EXPECT_TRUE(GetMenuState(system, systemItems, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(menu, GetSubMenu(system, systemItems + 1));
    EXPECT_EQ(kEngineWindowTitle, MenuText(system, systemItems + 1));
}

TEST(TrayMenu, WithANotificationAreaItOffersExitAndLeavesTheSystemMenu) {
    WindowGuard engine{MakeWindow(kPlainClass, WS_CAPTION | WS_SYSMENU, 0, 0, 300, 128)};
    int systemItems = GetMenuItemCount(GetSystemMenu(engine.window, FALSE));
    HMENU menu = CreateTrayMenu(engine.window, GetModuleHandleA(nullptr), true);
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(3, GetMenuItemCount(menu));
    EXPECT_EQ("E&xit Agent", MenuText(menu, 2));
    EXPECT_EQ(static_cast<UINT>(IDM_EXIT), GetMenuItemID(menu, 2));
    EXPECT_EQ(systemItems, GetMenuItemCount(GetSystemMenu(engine.window, FALSE)));
    TrayIconDelete(engine.window, kTrayIconId);
    DestroyMenu(menu);
}

TEST(CopyDataPath, AcceptsOnlyATerminatedNonEmptyText) {
    char path[] = "C:\\feeds\\news.twl";
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    char empty[] = "";
    COPYDATASTRUCT data = {0, sizeof path, path};
    EXPECT_STREQ(path, CopyDataPath(&data));
    data.cbData = 3;  // the terminator lies beyond what was sent
    EXPECT_EQ(nullptr, CopyDataPath(&data));
    data = {0, sizeof unterminated, unterminated};
    EXPECT_EQ(nullptr, CopyDataPath(&data));
    data = {0, sizeof empty, empty};
    EXPECT_EQ(nullptr, CopyDataPath(&data));
    data = {0, 0, path};
    EXPECT_EQ(nullptr, CopyDataPath(&data));
    data = {0, 10, nullptr};
    EXPECT_EQ(nullptr, CopyDataPath(&data));
    EXPECT_EQ(nullptr, CopyDataPath(nullptr));
}
