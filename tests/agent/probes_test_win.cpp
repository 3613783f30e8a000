// The probes against real windows and processes.
#include <gtest/gtest.h>

#include <string>

#include "agent/probes_win.h"
#include "shared/pace.h"
#include "agent_process_win.h"
#include "test_window_win.h"
#include "base/strutil.h"

namespace {

const char kPlainClass[] = "Tidewell test window";

int ScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int ScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

}  // namespace

TEST(FullScreen, OnlyAVisibleUnminimisedWindowCoveringTheScreen) {
    WindowGuard full{MakeTestWindow(kPlainClass, WS_POPUP | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight())};
    EXPECT_EQ(1, IsFullScreenWindow(full.window));
    WindowGuard larger{MakeTestWindow(kPlainClass, WS_POPUP | WS_VISIBLE, -10, -10, ScreenWidth() + 20, ScreenHeight() + 20)};
    EXPECT_EQ(1, IsFullScreenWindow(larger.window));
    WindowGuard small{MakeTestWindow(kPlainClass, WS_POPUP | WS_VISIBLE, 0, 0, ScreenWidth() - 1, ScreenHeight())};
    EXPECT_EQ(0, IsFullScreenWindow(small.window));
    WindowGuard hidden{MakeTestWindow(kPlainClass, WS_POPUP, 0, 0, ScreenWidth(), ScreenHeight())};
    EXPECT_EQ(0, IsFullScreenWindow(hidden.window));

    WindowGuard once{MakeTestWindow(kPlainClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight())};
    EXPECT_EQ(1, IsFullScreenWindow(once.window));
    ShowWindow(once.window, SW_MINIMIZE);  // a minimised window that once covered the screen
    EXPECT_EQ(0, IsFullScreenWindow(once.window));
}

TEST(ScreenSaverWindow, TopLevelTopmostOrCoveringButNotAPreview) {
    WindowGuard top{MakeTestWindow(kPlainClass, WS_POPUP, 10, 10, 50, 50)};
    EXPECT_EQ(1, IsScreenSaverWindow(top.window));

    WindowGuard settings{MakeTestWindow(kPlainClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300)};
    WindowGuard preview{MakeTestWindow(kPlainClass, WS_CHILD | WS_VISIBLE, 10, 10, 150, 100, settings.window)};
    EXPECT_EQ(0, IsScreenSaverWindow(preview.window));  // the preview inside the display settings

    WindowGuard host{MakeTestWindow(kPlainClass, WS_POPUP | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight())};
    WindowGuard covering{
        MakeTestWindow(kPlainClass, WS_CHILD | WS_VISIBLE, 0, 0, ScreenWidth(), ScreenHeight(), host.window)};
    EXPECT_EQ(1, IsScreenSaverWindow(covering.window));

    HWND gone = MakeTestWindow(kPlainClass, WS_POPUP, 0, 0, 10, 10);
    DestroyWindow(gone);
    EXPECT_EQ(0, IsScreenSaverWindow(gone));
    EXPECT_EQ(0, IsScreenSaverWindow(nullptr));
}

TEST(ScreenSaverActive, FollowsTheScreenSaverWindow) {
    EXPECT_EQ(0, ScreenSaverActive());
    HWND saver = MakeTestWindow("WindowsScreenSaverClass", WS_POPUP, 0, 0, 10, 10);
    ASSERT_NE(nullptr, saver);
    EXPECT_EQ(1, ScreenSaverActive());
    DestroyWindow(saver);
    EXPECT_EQ(0, ScreenSaverActive());
}

TEST(ProcessList, NamesTheExecutableBehindAWindow) {
    WindowGuard mine{MakeTestWindow(kPlainClass, WS_POPUP, 0, 0, 10, 10)};
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
        {11, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL},
        {12, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {13, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {14, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {15, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {16, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST},
        {5000, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST},
        {-7, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL},
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

