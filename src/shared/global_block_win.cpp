// The global block on Windows: a named mapping backed by the paging file.
#include <windows.h>

#include "base/trace.h"
#include "shared/global_block.h"
#include "shared/mapped_view_win.h"
#include "shared/registry.h"

namespace {

// The process-local side of the attachment.
struct Attachment {
    void* view;
    bool existed;  // the block was there before this process opened it
    HANDLE mapping;
};

Attachment gAttachment;

// Detaches once more at process exit; after a normal shutdown this finds
// nothing to do.
struct DetachAtExit {
    ~DetachAtExit() { GlobalDetach(); }
} gDetachAtExit;

bool Attach() {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kGlobalMappingSize,
                                        kGlobalMappingName);
    if (!mapping) return false;
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
    // Another program may have created a mapping of this name, too small or
    // uncommitted: refused rather than read past.
    if (view && !ViewHolds(view, kGlobalMappingSize)) {
        UnmapViewOfFile(view);
        view = nullptr;
    }
    if (!view) {
        CloseHandle(mapping);
        return false;
    }
    auto* header = static_cast<GlobalBlockHeader*>(view);
    if (existed) {
        InterlockedIncrement(reinterpret_cast<volatile LONG*>(&header->attachCount));
        header->recordSize = kConfigDataSize;
    } else {
        header->attachCount = 1;
    }
    gAttachment = {view, existed, mapping};
    gConfig = reinterpret_cast<CConfigData*>(static_cast<char*>(view) + kGlobalRecordOffset);
    return true;
}

}  // namespace

int GlobalInit() {
    gAttachment = {};
    if (!Attach()) {
        Trace("GlobalInit(): Fatal Error - Could not attach to shared memory");
        MessageBeep(MB_ICONEXCLAMATION);
        return 0;
    }
    if (!gAttachment.existed) {
        CRegistry::ReadConfig(*gConfig);
        CRegistry::ReadSettingsFile(*gConfig);
    } else {
        CRegistry::ClaimDirs(*gConfig);
    }
    return 1;
}

void GlobalDetach() {
    if (gAttachment.view) {
        auto* header = static_cast<GlobalBlockHeader*>(gAttachment.view);
        if (InterlockedDecrement(reinterpret_cast<volatile LONG*>(&header->attachCount)) == 0) {
            // The record lives in the mapping and has nothing to release.
            Trace("CConfigData::~CConfigData()");
        }
        UnmapViewOfFile(gAttachment.view);
        CloseHandle(gAttachment.mapping);
        gAttachment.view = nullptr;
        gAttachment.mapping = nullptr;
    }
    gConfig = nullptr;
}

GlobalBlockHeader* GlobalBlockHeaderView() {
    return static_cast<GlobalBlockHeader*>(gAttachment.view);
}
