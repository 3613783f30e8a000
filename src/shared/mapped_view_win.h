// The check every view of a mapping another program may have made passes
// before it is read or written.
#pragma once

#include <windows.h>

#include <cstddef>

// True when size bytes from view are mapped and committed. A program that
// makes the mapping first decides its size, and with SEC_RESERVE it can leave
// the pages uncommitted: reading them would fault.
inline bool ViewHolds(const void* view, size_t size) {
    MEMORY_BASIC_INFORMATION info;
    return view && VirtualQuery(view, &info, sizeof info) == sizeof info && info.State == MEM_COMMIT &&
           info.RegionSize >= size;
}
