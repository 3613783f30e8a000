#include "shared/page_request_win.h"

#include "base/strutil.h"
#include "shared/messages_win.h"
#include "shared/window_handle_win.h"

int RequestPage(CConfigData& cfg, const char* text, int32_t param1, int32_t param2) {
    if (text) StrCopy(cfg.PageUrl, sizeof cfg.PageUrl, text);
    cfg.PageParam1 = param1;
    cfg.PageParam2 = param2;
    return PostMessageA(WordToHwnd(cfg.PageWindow), gMessages.loadPage, 0, 0) ? 1 : 0;
}
