#include "glancer/screen_win.h"

#include "base/scoped_win.h"

namespace glancer {

namespace {

constexpr int kMostMonitors = 16;
// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, not named by older headers.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

template <typename Function>
Function Lookup(const char* module, const char* name) {
    HMODULE h = GetModuleHandleA(module);
    if (!h) h = LoadLibraryA(module);  // kept loaded for the process's life
    return h ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(h, name))) : nullptr;
}

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT r, LPARAM list) {
    auto* monitors = reinterpret_cast<std::vector<Rect>*>(list);
    monitors->push_back({r->left, r->top, r->right, r->bottom});
    return monitors->size() < kMostMonitors;
}

int SystemDpi() {
    WindowDC screen(nullptr);
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

}  // namespace

void BecomeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    using SetAware = BOOL(WINAPI*)();
    if (auto set = Lookup<SetContext>("user32.dll", "SetProcessDpiAwarenessContext")) {
        if (set(kPerMonitorAwareV2)) return;
        if (GetLastError() == ERROR_ACCESS_DENIED) return;  // the manifest said so already
    }
    if (auto set = Lookup<SetAware>("user32.dll", "SetProcessDPIAware")) set();
}

std::vector<Rect> ListMonitors() {
    std::vector<Rect> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) monitors.push_back({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    return monitors;
}

int DpiOfArea(const Rect& area) {
    using GetForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    RECT r = {area.left, area.top, area.right, area.bottom};
    HMONITOR monitor = MonitorFromRect(&r, MONITOR_DEFAULTTOPRIMARY);
    UINT x = 0, y = 0;
    if (auto get = Lookup<GetForMonitor>("shcore.dll", "GetDpiForMonitor"))
        if (get(monitor, kEffectiveDpi, &x, &y) == S_OK && y > 0) return static_cast<int>(y);
    return SystemDpi();
}

}  // namespace glancer
