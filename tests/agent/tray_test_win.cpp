// Engine.exe with a notification area (Xvfb, Wine's X11 driver), where Wine
// shows its own tray window while any icon is in it.
#include <gtest/gtest.h>

#include "agent_process_win.h"

namespace {

bool WineTrayShowing() {
    HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
    return tray && IsWindowVisible(tray);
}

}  // namespace

TEST(TrayIcon, AddedWhileTheAgentRunsWithTheWindowHidden) {
    // Wine's explorer makes the notification area a moment after the desktop,
    // longer in a prefix just made on a busy machine.
    ASSERT_TRUE(WaitFor([] { return FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }, 30000))
        << "this test needs a notification area";
    ASSERT_FALSE(WineTrayShowing());

    InstallFolder folder("tray");
    AgentProcess agent(folder);
    HWND window = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(WaitFor(WineTrayShowing, 10000));
    EXPECT_FALSE(IsWindowVisible(window));  // behind the icon, neither shown nor minimised
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(0u, agent.Close());
    EXPECT_TRUE(WaitFor([] { return !WineTrayShowing(); }, 10000));  // the icon went with the agent
}
