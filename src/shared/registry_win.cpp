// The Windows half of the record's initialisation: where the executable lies
// and what the system is like.
#include <windows.h>

#include <string>

#include "base/program_win.h"
#include "base/scoped_win.h"
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
    WindowDC screen(nullptr);
    facts.paletteDisplay = screen.get() && GetDeviceCaps(screen.get(), NUMCOLORS) != -1;
    return facts;
}

// The executable's own path: the only source of the agent's folders.
std::string ModulePath() {
    std::string path = ProgramPath();
    if (path.empty()) throw "CRegistry::ReadConfig() Could not determine install path";
    return path;
}

}  // namespace

void CRegistry::ReadConfig(CConfigData& cfg) {
    InitRecord(cfg, ModulePath().c_str(), QuerySystemFacts());
}

void CRegistry::ClaimDirs(CConfigData& cfg) {
    InitDirs(ModulePath().c_str(), gDirs);
    PublishDirs(gDirs, cfg);
}
