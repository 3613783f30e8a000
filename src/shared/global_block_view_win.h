// A look at the global block from outside: opens an existing block without
// attaching to it, so the attach count stays as the attached programs leave
// it and nothing is ever created. For display programs that only watch, and
// for tests.
#pragma once

#include <windows.h>

#include "base/scoped_win.h"
#include "shared/config_data.h"

class GlobalBlockView {
public:
    GlobalBlockView();

    bool valid() const { return static_cast<bool>(view_); }
    GlobalBlockHeader& header() const { return *static_cast<GlobalBlockHeader*>(view_.get()); }
    CConfigData& config() const;

    // The running agent's engine window as the record names it, or 0 when the
    // record names none or a window that is gone.
    HWND EngineWindow() const;

private:
    MappedView view_;
};
