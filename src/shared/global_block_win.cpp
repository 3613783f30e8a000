// The global block on Windows: a named mapping backed by the paging file.
#include <windows.h>

#include <utility>

#include "base/scoped_win.h"
#include "base/trace.h"
#include "shared/global_block.h"
#include "shared/registry.h"

namespace {

// The process-local side of the attachment.
struct Attachment {
    MappedView view;
    bool existed = false;  // the block was there before this process opened it
};

Attachment gAttachment;

// Detaches once more at process exit; after a normal shutdown this finds
// nothing to do.
struct DetachAtExit {
    ~DetachAtExit() { GlobalDetach(); }
} gDetachAtExit;

// Another program may have created a mapping of this name, too small or
// uncommitted: refused rather than read past.
bool Attach() {
    bool existed = false;
    MappedView view = MappedView::Create(kGlobalMappingName, kGlobalMappingSize, &existed);
    if (!view) return false;
    auto* header = static_cast<GlobalBlockHeader*>(view.get());
    if (existed) {
        InterlockedIncrement(reinterpret_cast<volatile LONG*>(&header->attachCount));
        header->recordSize = kConfigDataSize;
    } else {
        header->attachCount = 1;
    }
    gConfig = reinterpret_cast<CConfigData*>(static_cast<char*>(view.get()) + kGlobalRecordOffset);
    gAttachment.view = std::move(view);
    gAttachment.existed = existed;
    return true;
}

}  // namespace

int GlobalInit() {
    gAttachment.view.Reset();
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
        auto* header = static_cast<GlobalBlockHeader*>(gAttachment.view.get());
        if (InterlockedDecrement(reinterpret_cast<volatile LONG*>(&header->attachCount)) == 0) {
            // The record lives in the mapping and has nothing to release.
            Trace("CConfigData::~CConfigData()");
        }
        gAttachment.view.Reset();
    }
    gConfig = nullptr;
}

GlobalBlockHeader* GlobalBlockHeaderView() {
    return static_cast<GlobalBlockHeader*>(gAttachment.view.get());
}
