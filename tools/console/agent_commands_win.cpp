// The commands that watch and steer the agent itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/scoped_win.h"
#include "base/strutil.h"
#include "console_win.h"
#include "shared/global_block_view_win.h"
#include "shared/messages_win.h"
#include "shared/names.h"

namespace {

constexpr DWORD kTickWaitMs = 12000;  // more than two clock periods
constexpr DWORD kCloseWaitMs = 30000;

// Every tick of the agent rewrites ScreenSaverOn with 0 or 1; a value that
// is neither is gone after the next tick.
constexpr uint32_t kTickSentinel = 0xFFFFFFFF;

// Waits up to timeoutMs for an agent to be running; its window, or 0.
HWND WaitForAgent(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        GlobalBlockView block;
        if (HWND window = block.EngineWindow()) return window;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(100);
    }
}

std::string Field(const char* text, size_t size) {
    char copy[1100];
    StrCopyField(copy, sizeof copy, text, size);
    return copy;
}

#define PRINT_TEXT(cfg, field) printf("  %-18s %s\n", #field, Field(cfg.field, sizeof cfg.field).c_str())
#define PRINT_NUMBER(cfg, field) printf("  %-18s %ld\n", #field, static_cast<long>(cfg.field))
#define PRINT_HEX(cfg, field) printf("  %-18s 0x%08lX\n", #field, static_cast<unsigned long>(cfg.field))

}  // namespace

HWND RequireAgent() {
    GlobalBlockView block;
    HWND window = block.EngineWindow();
    if (!window) fprintf(stderr, "twl: no agent is running\n");
    return window;
}

int ShowSettings(int, char**) {
    GlobalBlockView block;
    if (!block.valid()) {
        fprintf(stderr, "twl: no Tidewell global block: is the agent running?\n");
        return kNoAgent;
    }
    const CConfigData& cfg = block.config();
    printf("Shared record of \"%s\"%s\n", kGlobalMappingName, block.EngineWindow() ? "" : " (no agent running)");
    PRINT_TEXT(cfg, InstallDir);
    PRINT_TEXT(cfg, DataDir);
    PRINT_HEX(cfg, EngineWindow);
    PRINT_HEX(cfg, DisplayWindow);
    PRINT_HEX(cfg, PageWindow);
    PRINT_NUMBER(cfg, StartCount);
    PRINT_NUMBER(cfg, StartTime);
    PRINT_NUMBER(cfg, Passive);
    PRINT_NUMBER(cfg, JobsHeld);
    PRINT_NUMBER(cfg, ScreenSaverOn);
    PRINT_NUMBER(cfg, Pace);
    PRINT_NUMBER(cfg, DisplayPreference);
    PRINT_TEXT(cfg, AccountId);
    PRINT_NUMBER(cfg, HttpProxyEnabled);
    PRINT_TEXT(cfg, HttpProxy);
    PRINT_NUMBER(cfg, HttpProxyPort);
    PRINT_TEXT(cfg, BrowserPath);
    PRINT_TEXT(cfg, BrowserDdeService);
    PRINT_NUMBER(cfg, EdgeDockedOn);
    PRINT_NUMBER(cfg, AlwaysOnTop);
    PRINT_NUMBER(cfg, AutoHide);
    PRINT_NUMBER(cfg, MsgExpire);
    PRINT_NUMBER(cfg, MsgPurge);
    PRINT_HEX(cfg, AdTopicId);
    PRINT_NUMBER(cfg, OsPlatformId);
    PRINT_NUMBER(cfg, OsMajorVersion);
    PRINT_NUMBER(cfg, OsMinorVersion);
    PRINT_NUMBER(cfg, TrayPresent);
    PRINT_NUMBER(cfg, PaletteDisplay);
    return kOk;
}

int WaitForStart(int argc, char** argv) {
    DWORD seconds = argc > 0 ? static_cast<DWORD>(atoi(argv[0])) : 30;
    if (!WaitForAgent(seconds * 1000)) {
        fprintf(stderr, "twl: no agent started within %lu seconds\n", static_cast<unsigned long>(seconds));
        return kNoAgent;
    }
    printf("The agent is running.\n");
    return kOk;
}

int WaitForTick(int, char**) {
    if (!RequireAgent()) return kNoAgent;
    GlobalBlockView block;
    volatile uint32_t& word = block.config().ScreenSaverOn;
    word = kTickSentinel;
    for (DWORD waited = 0; waited < kTickWaitMs; waited += 50) {
        if (word != kTickSentinel) {
            printf("The agent's clock ticked (screen saver %s).\n", word ? "running" : "off");
            return kOk;
        }
        Sleep(50);
    }
    fprintf(stderr, "twl: the agent's clock did not tick within %lu seconds\n",
            static_cast<unsigned long>(kTickWaitMs / 1000));
    return kFailed;
}

int CloseAgent(int, char**) {
    HWND window = RequireAgent();
    if (!window) return kNoAgent;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId));
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD exitCode = STILL_ACTIVE;
    if (process && WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.get(), &exitCode);
    }
    if (exitCode == STILL_ACTIVE) {
        fprintf(stderr, "twl: the agent did not exit within %lu seconds\n",
                static_cast<unsigned long>(kCloseWaitMs / 1000));
        return kFailed;
    }
    printf("The agent exited with code %lu.\n", static_cast<unsigned long>(exitCode));
    return exitCode == 0 ? kOk : kFailed;
}

int Subscribe(int argc, char** argv) {
    if (argc < 1) return kUsage;
    HWND window = RequireAgent();
    if (!window) return kNoAgent;
    char fullPath[MAX_PATH];
    if (!GetFullPathNameA(argv[0], sizeof fullPath, fullPath, nullptr)) return kFailed;
    COPYDATASTRUCT data = {0, static_cast<DWORD>(strlen(fullPath) + 1), fullPath};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, kCloseWaitMs,
                             &result)) {
        fprintf(stderr, "twl: the agent did not take the file\n");
        return kFailed;
    }
    printf("Handed %s to the agent.\n", fullPath);
    return kOk;
}

int OpenPreferences(int, char**) {
    HWND window = RequireAgent();
    if (!window) return kNoAgent;
    // Posted, not sent: the dialog runs inside the agent until the user closes it.
    if (!PostMessageA(window, gMessages.configDlg, 0, 0)) return kFailed;
    printf("Asked the agent to open its preferences.\n");
    return kOk;
}
