#include "shared/global_block_view_win.h"

#include <cstring>

#include "shared/names.h"
#include "shared/window_handle_win.h"

GlobalBlockView::GlobalBlockView() : view_(MappedView::Open(kGlobalMappingName, kGlobalMappingSize)) {}

CConfigData& GlobalBlockView::config() const {
    return *reinterpret_cast<CConfigData*>(static_cast<char*>(view_.get()) + kGlobalRecordOffset);
}

HWND GlobalBlockView::EngineWindow() const {
    if (!valid()) return nullptr;
    HWND window = WordToHwnd(config().EngineWindow);
    char className[sizeof kEngineWindowClass + 1];
    if (!IsWindow(window) || !GetClassNameA(window, className, sizeof className)) return nullptr;
    return strcmp(className, kEngineWindowClass) == 0 ? window : nullptr;
}
