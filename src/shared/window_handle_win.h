// Window handles travel through shared memory as 32-bit words. Windows keeps
// every handle within 32 bits so that 32-bit and 64-bit processes can share
// them; the sign extension on the way back is the documented conversion.
#pragma once

#include <windows.h>

#include <cstdint>

inline uint32_t HwndToWord(HWND hwnd) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd));
}

inline HWND WordToHwnd(uint32_t word) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(word)));
}
