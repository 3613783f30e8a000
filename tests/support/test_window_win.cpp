#include "test_window_win.h"

#include "shared/messages_win.h"

HWND MakeTestWindow(const char* className, DWORD style, int x, int y, int width, int height, HWND parent, WNDPROC proc,
                    DWORD exStyle) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);  // a class registered before keeps its first procedure
    return CreateWindowExA(exStyle, className, "", style, x, y, width, height, parent, nullptr, wc.hInstance, nullptr);
}

std::vector<std::string> gHandedOver;

LRESULT CALLBACK RecordHandedOver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        gHandedOver.push_back(std::to_string(data->dwData) + ":" +
                              std::string(static_cast<const char*>(data->lpData), data->cbData));
        return 1;
    }
    if (message == gMessages.configUpdate) gHandedOver.push_back("configupdate");
    return DefWindowProcA(window, message, wParam, lParam);
}
