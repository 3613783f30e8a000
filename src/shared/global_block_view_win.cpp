#include "shared/global_block_view_win.h"

#include <cstring>

#include "shared/mapped_view_win.h"
#include "shared/names.h"
#include "shared/window_handle_win.h"

GlobalBlockView::GlobalBlockView() {
    mapping_ = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kGlobalMappingName);
    if (!mapping_) return;
    view_ = MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
    if (view_ && !ViewHolds(view_, kGlobalMappingSize)) {
        UnmapViewOfFile(view_);
        view_ = nullptr;
    }
    if (!view_) {
        CloseHandle(mapping_);
        mapping_ = nullptr;
    }
}

GlobalBlockView::~GlobalBlockView() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
}

CConfigData& GlobalBlockView::config() const {
    return *reinterpret_cast<CConfigData*>(static_cast<char*>(view_) + kGlobalRecordOffset);
}

HWND GlobalBlockView::EngineWindow() const {
    if (!valid()) return nullptr;
    HWND window = WordToHwnd(config().EngineWindow);
    char className[sizeof kEngineWindowClass + 1];
    if (!IsWindow(window) || !GetClassNameA(window, className, sizeof className)) return nullptr;
    return strcmp(className, kEngineWindowClass) == 0 ? window : nullptr;
}
