#include "agent/preferences_win.h"

#include <windows.h>

#include <memory>
#include <new>
#include <string>

#include "agent/preferences.h"
#include "base/strutil.h"
#include "base/trace.h"
#include "news/topic_array.h"
#include "shared/messages_win.h"
#include "shared/window_handle_win.h"

namespace {

using ConfigDialogFn = int(WINAPI*)(ConfigExchange* exchange, DWORD reserved);

constexpr DWORD kDisplayUpdateTimeoutMs = 5000;

HMODULE gLibrary;  // loaded for each dialog, freed after it
bool gDialogRunning;

// Loaded by its full path in the agent's own folder: a CONFIG.DLL planted in
// the current directory, or a folder written into the shared record, must
// never be taken for the product's.
HMODULE LoadPreferencesLibrary() {
    char dir[sizeof gDirs.InstallDir];
    StrCopyField(dir, sizeof dir, gDirs.InstallDir, sizeof gDirs.InstallDir);
    return LoadLibraryA((std::string(dir) + "\\CONFIG.DLL").c_str());
}

// The display program's window, or null for none, the broadcast handle or a
// window that is gone: what goes to it must never go to every window.
HWND ExistingDisplayWindow(const CConfigData& cfg) {
    HWND display = WordToHwnd(cfg.DisplayWindow);
    if (cfg.DisplayWindow == 0 || cfg.DisplayWindow == kNoWindow || !IsWindow(display)) return nullptr;
    return display;
}

// The display program gets its settings by WM_COPYDATA; without one to send
// them to the shared record keeps them.
void HandOverDisplaySettings(const ConfigExchange& exchange, CConfigData& cfg) {
    HWND display = ExistingDisplayWindow(cfg);
    if (!display) {
        memcpy(cfg.DisplaySettings, exchange.displaySettings, sizeof cfg.DisplaySettings);
        return;
    }
    COPYDATASTRUCT data = {1, sizeof exchange.displaySettings, const_cast<uint8_t*>(exchange.displaySettings)};
    SendMessageTimeoutA(display, WM_COPYDATA, static_cast<WPARAM>(cfg.EngineWindow), reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, kDisplayUpdateTimeoutMs, nullptr);
}

void RunDialog(ConfigExchange& exchange) {
    gLibrary = LoadPreferencesLibrary();
    if (!gLibrary) throw "Could not load CONFIG.DLL";
    auto dialog = reinterpret_cast<ConfigDialogFn>(reinterpret_cast<void*>(GetProcAddress(gLibrary, "ConfigDialog")));
    if (!dialog) throw "GetProcAddress() Failed";
    FillExchange(*gConfig, exchange);
    dialog(&exchange, 0);
    if (!exchange.accepted) return;
    ApplyExchange(exchange, *gConfig);
    HandOverDisplaySettings(exchange, *gConfig);
    gTopicArray.Save();
    if (HWND display = ExistingDisplayWindow(*gConfig)) {
        SendMessageTimeoutA(display, gMessages.configUpdate, 0, 0, SMTO_ABORTIFHUNG, kDisplayUpdateTimeoutMs, nullptr);
    }
}

}  // namespace

int RunPreferences() {
    if (gLibrary || gDialogRunning || !gConfig) return 0;
    gDialogRunning = true;
    std::unique_ptr<ConfigExchange> exchange(new (std::nothrow) ConfigExchange());
    try {
        if (!exchange) throw "Out of memory";
        exchange->accepted = 0;
        RunDialog(*exchange);
    } catch (const char* text) {
        Trace("ConfigDialog(): Exception Caught: %s", text);
    } catch (const std::bad_alloc&) {
        Trace("ConfigDialog(): Out of memory");
    } catch (...) {
        Trace("ConfigDialog(): UnhandledException Caught()");
    }
    if (gLibrary) FreeLibrary(gLibrary);
    gLibrary = nullptr;
    gDialogRunning = false;
    return 1;
}
