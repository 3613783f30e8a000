// The Windows half of the record's initialisation: where the executable lies
// and what the system is like.
#include <windows.h>

#include "base/trace.h"
#include "shared/registry.h"

namespace {

SystemFacts QuerySystemFacts() {
    SystemFacts facts = {};
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
    if (GetVersionExA(&version)) {
        facts.platformId = version.dwPlatformId;
        facts.majorVersion = version.dwMajorVersion;
        facts.minorVersion = version.dwMinorVersion;
    }
    facts.trayPresent = FindWindowA("Shell_TrayWnd", nullptr) != nullptr;
    HDC screen = GetDC(nullptr);
    facts.paletteDisplay = screen && GetDeviceCaps(screen, NUMCOLORS) != -1;
    if (screen) ReleaseDC(nullptr, screen);
    return facts;
}

// The executable's own path: the only source of the agent's folders.
void ModulePath(char (&path)[MAX_PATH]) {
    DWORD len = GetModuleFileNameA(nullptr, path, sizeof path);
    // A path that filled the buffer was cut: the directory would be wrong.
    if (len == 0 || len >= sizeof path) throw "CRegistry::ReadConfig() Could not determine install path";
}

}  // namespace

void CRegistry::ReadConfig(CConfigData& cfg) {
    char modulePath[MAX_PATH];
    ModulePath(modulePath);
    InitRecord(cfg, modulePath, QuerySystemFacts());
}

void CRegistry::ClaimDirs(CConfigData& cfg) {
    char modulePath[MAX_PATH];
    ModulePath(modulePath);
    InitDirs(modulePath, gDirs);
    PublishDirs(gDirs, cfg);
}
