// The agent's Windows layer in this process: probes, the tray menu, Engine.exe's
// resources, and the handlers' untrusted input and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent/clock_win.h"
#include "agent/engine_window_win.h"
#include "agent/probes_win.h"
#include "agent/resource.h"
#include "agent/tray_win.h"
#include "base/strutil.h"
#include "os_override.h"
#include "shared/config_data.h"
#include "process_win.h"
#include "shared/names.h"
#include "shared/pace.h"
#include "test_window_win.h"

namespace {

const char kPlainClass[] = "Tidewell test window";

// Each item of the menu: its text and its command (or submenu).
std::vector<std::string> Items(HMENU menu) {
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        char text[100] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        HMENU sub = GetSubMenu(menu, i);
        items.push_back(text + (" " + (sub ? "sub" : std::to_string(GetMenuItemID(menu, i)))));
    }
    return items;
}

}  // namespace

TEST(Probes, FullScreenAndScreenSaverWindows) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    WindowGuard host{MakeTestWindow(kPlainClass, WS_POPUP | WS_VISIBLE, 0, 0, w, h)};
    WindowGuard settings{MakeTestWindow(kPlainClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300)};
    struct Case {
        const char* name;
        DWORD style;
        int x, y, width, height;
        HWND parent;
        int fullScreen, screenSaver;  // what each probe says
    } cases[] = {
        {"covering", WS_POPUP | WS_VISIBLE, 0, 0, w, h, nullptr, 1, 1},
        {"larger", WS_POPUP | WS_VISIBLE, -10, -10, w + 20, h + 20, nullptr, 1, 1},
        {"a pixel short", WS_POPUP | WS_VISIBLE, 0, 0, w - 1, h, nullptr, 0, 1},
        {"hidden", WS_POPUP, 0, 0, w, h, nullptr, 0, 1},
        {"small top-level", WS_POPUP, 10, 10, 50, 50, nullptr, 0, 1},
        {"preview in the display settings", WS_CHILD | WS_VISIBLE, 10, 10, 150, 100, settings.window, 0, 0},
        {"child covering the screen", WS_CHILD | WS_VISIBLE, 0, 0, w, h, host.window, 1, 1},
    };
    for (const Case& c : cases) {
        WindowGuard window{MakeTestWindow(kPlainClass, c.style, c.x, c.y, c.width, c.height, c.parent)};
        EXPECT_EQ(c.fullScreen, IsFullScreenWindow(window.window)) << c.name;
        EXPECT_EQ(c.screenSaver, IsScreenSaverWindow(window.window)) << c.name;
    }
    WindowGuard once{MakeTestWindow(kPlainClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, w, h)};
    EXPECT_EQ(1, IsFullScreenWindow(once.window));
    ShowWindow(once.window, SW_MINIMIZE);  // a minimised window that once covered the screen
    EXPECT_EQ(0, IsFullScreenWindow(once.window));
    DestroyWindow(once.window);
    EXPECT_EQ(0, IsScreenSaverWindow(once.window));  // gone
    EXPECT_EQ(0, IsScreenSaverWindow(nullptr));

    char name[MAX_PATH] = "";
    ASSERT_TRUE(WindowProcessExeName(host.window, name, sizeof name));
    EXPECT_TRUE(StrEndsWithNoCase(name, "window_test.exe")) << name;
}

TEST(Probes, ProcessClassAndThreadPriorityFollowThePace) {
    const int kNormal = NORMAL_PRIORITY_CLASS, kIdle = IDLE_PRIORITY_CLASS;
    const int kCases[][3] = {// the pace, the process class, the thread priority
                             {-7, kNormal, THREAD_PRIORITY_NORMAL},       {1, kNormal, THREAD_PRIORITY_NORMAL},
                             {11, kNormal, THREAD_PRIORITY_NORMAL},       {12, kNormal, THREAD_PRIORITY_BELOW_NORMAL},
                             {13, kNormal, THREAD_PRIORITY_BELOW_NORMAL}, {14, kIdle, THREAD_PRIORITY_BELOW_NORMAL},
                             {15, kIdle, THREAD_PRIORITY_BELOW_NORMAL},   {16, kIdle, THREAD_PRIORITY_LOWEST},
                             {5000, kIdle, THREAD_PRIORITY_LOWEST}};
    CConfigData cfg = {};
    for (const auto& c : kCases) {
        cfg.Pace = c[0];
        ApplyPacePriority(cfg);
        EXPECT_EQ(c[1], static_cast<int>(GetPriorityClass(GetCurrentProcess()))) << "pace " << c[0];
        EXPECT_EQ(c[2], GetThreadPriority(GetCurrentThread())) << "pace " << c[0];
    }
}

TEST(TrayMenu, ExitOnlyWithANotificationAreaAndTheSystemMenuOnlyWithout) {
    for (bool tray : {false, true}) {
        SCOPED_TRACE(tray);
        WindowGuard engine{MakeTestWindow(kPlainClass, WS_CAPTION | WS_SYSMENU, 0, 0, 300, 128)};
        std::vector<std::string> system = Items(GetSystemMenu(engine.window, FALSE));
        HMENU menu = CreateTrayMenu(engine.window, GetModuleHandleA(nullptr), tray);
        ASSERT_NE(nullptr, menu);
        std::vector<std::string> expected = {"Ticker 40005", "Preferences 40006"};
        if (tray) expected.push_back("E&xit Agent 40001");
        EXPECT_EQ(expected, Items(menu));
        if (!tray) system.insert(system.end(), {" 0", std::string(kEngineWindowTitle) + " sub"});
        EXPECT_EQ(system, Items(GetSystemMenu(engine.window, FALSE)));
        if (tray) {
            TrayIconDelete(engine.window, kTrayIconId);
            DestroyMenu(menu);
        } else {
            EXPECT_EQ(menu, GetSubMenu(GetSystemMenu(engine.window, FALSE), static_cast<int>(system.size()) - 1));
        }
    }
}

// The version the shell shows is shipped_programs_test's.
TEST(EngineResources, IconsAndAccelerators) {
    std::string path = ProgramDir() + "\\Engine.exe";
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    auto resource = [&](int id, int type) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
        auto* bytes = found ? static_cast<const unsigned char*>(LockResource(LoadResource(module, found))) : nullptr;
        return std::vector<unsigned char>(bytes, bytes ? bytes + SizeofResource(module, found) : bytes);
    };
    auto word = [](const std::vector<unsigned char>& bytes, size_t at) { return bytes[at] | (bytes[at + 1] << 8); };

    // The icon group: six images, each its size (twice), its colours and its bits per pixel.
    std::vector<unsigned char> group = resource(IDI_ENGINE, 14);  // RT_GROUP_ICON
    ASSERT_EQ(6u + 6u * 14u, group.size());
    std::string images = std::to_string(word(group, 4)) + ":";
    for (size_t at = 6; at < group.size(); at += 14) {
        images += " " + std::to_string(group[at]) + "x" + std::to_string(group[at + 1]) + "/" +
                  std::to_string(group[at + 2]) + "/" + std::to_string(word(group, at + 6));
    }
    EXPECT_EQ("6: 32x32/16/4 16x16/16/4 48x48/0/8 16x16/0/8 32x32/0/8 48x48/16/4", images);
    EXPECT_NE(nullptr, LoadImageA(module, MAKEINTRESOURCEA(IDI_ENGINE), IMAGE_ICON, 16, 16, 0));

    // Ctrl+X exits, Ctrl+T toggles; 0x80 marks the last entry.
    std::vector<unsigned char> table = resource(IDR_ACCELERATORS, 9);  // RT_ACCELERATOR
    ASSERT_EQ(16u, table.size());
    const int kFlags = FVIRTKEY | FCONTROL | FNOINVERT;
    const int kEntries[] = {kFlags, 'X', IDM_EXIT, 0, kFlags | 0x80, 'T', IDM_TOGGLE};
    for (size_t i = 0; i < 7; i++) EXPECT_EQ(kEntries[i], word(table, 2 * i)) << i;
    FreeLibrary(module);
}

// An untrusted WM_COPYDATA is only traced; whatever a handler raises stays
// inside it, with a trace: leaving it would end the agent.
TEST(EngineWindow, UntrustedCopyDataAndFailuresOfEveryKindStayInsideTheHandlers) {
    TraceRecorder trace;
    CConfigData cfg = {};
    cfg.Pace = 1;
    CConfigData* saved = gConfig;
    gConfig = &cfg;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterEngineClass(instance);
    struct EngineWindow {
        HWND window;
        ~EngineWindow() {
            DestroyWindow(window);
            MSG quit;
            PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted by its WM_DESTROY
        }
    } engine{CreateEngineWindow(instance)};
    ASSERT_NE(nullptr, engine.window);

    // No terminator, an empty text, no data, another data word.
    char other[] = "C:\\feeds\\other.twl";
    COPYDATASTRUCT untrusted[] = {
        {0, 3, other}, {0, 1, other + sizeof other - 1}, {0, 0, nullptr}, {1, sizeof other, other}};
    for (COPYDATASTRUCT& data : untrusted)
        EngineWindowProc(engine.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(4, std::count_if(trace.lines().begin(), trace.lines().end(), [](const std::string& line) {
                  return line.find("WM_COPYDATA ignored") != std::string::npos;
              }));
    EXPECT_FALSE(trace.Contains("other.twl"));

    gOs.OpenRead = [](const char*) -> OsFile* { throw std::bad_alloc(); };
    const char path[] = "C:\\news.twl";
    COPYDATASTRUCT data = {0, sizeof path, const_cast<char*>(path)};
    EXPECT_NO_THROW(EngineWindowProc(engine.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));
    EXPECT_TRUE(trace.Contains("EngineWindowProc(): Out of memory"));
    gOs.OpenRead = [](const char*) -> OsFile* { throw "Array Full!"; };
    EXPECT_NO_THROW(EngineWindowProc(engine.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));
    EXPECT_TRUE(trace.Contains("EngineWindowProc(): Exception Array Full!"));

    gOs.Monotonic = []() -> uint64_t { throw std::runtime_error("no clock"); };  // the usage report's hour
    EXPECT_NO_THROW(ClockTick(nullptr, 0, 0, 0));
    EXPECT_TRUE(trace.Contains("ClockTick(): Unhandled Exception"));

    gOs.CreateWrite = [](const char*) -> OsFile* { throw std::bad_alloc(); };
    EXPECT_NO_THROW(EngineWindowProc(engine.window, WM_CLOSE, 0, 0));
    EXPECT_FALSE(IsWindow(engine.window));
    gConfig = saved;
}
