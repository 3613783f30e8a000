// Plays the user in front of the agent's fatal-error box: waits for it,
// checks its caption and text, and presses OK. Exit code 0 when the box was
// as it must be, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
    char text[256] = "";
    GetWindowTextA(child, text, sizeof text);
    *reinterpret_cast<std::string*>(param) += std::string(text) + "\n";
    return TRUE;
}

}  // namespace

int main() {
    HWND box = nullptr;
    for (int waited = 0; !box && waited < 30000; waited += 100) {
        box = FindWindowA("#32770", "Tidewell Agent");
        if (!box) Sleep(100);
    }
    if (!box) {
        fprintf(stderr, "fatal_box: no box titled \"Tidewell Agent\" appeared\n");
        return 1;
    }
    std::string texts;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
    bool right = texts.find("Fatal error during initialization\n") != std::string::npos;
    if (!right) fprintf(stderr, "fatal_box: the box says:\n%s", texts.c_str());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return right ? 0 : 1;
}
