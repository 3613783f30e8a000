// The engine window's class, its creation, the tray menu in both of its
// forms and the check of untrusted copy-data, in this process.
#include <gtest/gtest.h>

#include <string>

#include "agent/engine_window_win.h"
#include "agent/resource.h"
#include "agent/tray_win.h"
#include "shared/names.h"
#include "test_window_win.h"

namespace {

const char kPlainClass[] = "Tidewell test window";

std::string MenuText(HMENU menu, int position) {
    char text[100] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

}  // namespace

TEST(EngineWindow, ClassAndPlacementAsTheDisplayProgramsExpect) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_NE(0, RegisterEngineClass(instance));
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(instance, kEngineWindowClass, &wc));
    EXPECT_EQ(static_cast<UINT>(CS_VREDRAW | CS_HREDRAW), wc.style);
    EXPECT_EQ(EngineWindowProc, wc.lpfnWndProc);
    EXPECT_EQ(0, wc.cbClsExtra);
    EXPECT_EQ(0, wc.cbWndExtra);
    EXPECT_EQ(nullptr, wc.hbrBackground);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
    EXPECT_NE(nullptr, wc.hCursor);

    WindowGuard engine{CreateEngineWindow(instance)};
    ASSERT_NE(nullptr, engine.window);
    RECT rect;
    GetWindowRect(engine.window, &rect);
    EXPECT_EQ(64, rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) - 320, rect.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) - 128, rect.right - rect.left);
    EXPECT_EQ(128, rect.bottom - rect.top);
    char title[64];
    GetWindowTextA(engine.window, title, sizeof title);
    EXPECT_STREQ("Tidewell Agent", title);
    EXPECT_EQ(static_cast<LONG>(WS_CAPTION | WS_SYSMENU),
              GetWindowLongA(engine.window, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CHILD));
    EXPECT_EQ(nullptr, GetParent(engine.window));
    EXPECT_FALSE(IsWindowVisible(engine.window));  // shown only once start-up knows about the tray
    DestroyWindow(engine.window);
    UnregisterClassA(kEngineWindowClass, instance);
}

TEST(TrayMenu, WithoutANotificationAreaTheMenuHangsInTheSystemMenu) {
    WindowGuard engine{MakeTestWindow(kPlainClass, WS_CAPTION | WS_SYSMENU, 0, 0, 300, 128)};
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
    WindowGuard engine{MakeTestWindow(kPlainClass, WS_CAPTION | WS_SYSMENU, 0, 0, 300, 128)};
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
