// A CONFIG.DLL without ConfigDialog: the agent must only trace it.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI SomethingElse() {
    return 0;
}
