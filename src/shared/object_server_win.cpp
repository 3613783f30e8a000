#include "shared/object_server_win.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "base/os.h"
#include "base/trace.h"

namespace {

// A display program that lets the agent make the mapping opens it only once
// its open request has been answered: until then the agent's handle is the
// only one, and the program is not taken for gone.
constexpr uint64_t kOwnerAttachGraceMs = 5000;

// The number of handles open on the object, in every process; 0 when the
// system does not tell.
unsigned long HandleCount(HANDLE object) {
    struct BasicInformation {  // the documented start of PUBLIC_OBJECT_BASIC_INFORMATION
        ULONG attributes;
        ACCESS_MASK grantedAccess;
        ULONG handleCount;
        ULONG pointerCount;
        ULONG reserved[10];
    };
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    constexpr int kObjectBasicInformation = 0;
    BasicInformation info = {};
    if (!query || query(object, kObjectBasicInformation, &info, sizeof info, nullptr) < 0) return 0;
    return info.handleCount;
}

}  // namespace

void* CSharedMemory::Create(const char* name, uint32_t areaSize) {
    view = MappedView::Create(name, areaSize + sizeof(ConversationHeader), &existed);
    if (!view) {
        // A display program may have made it smaller than the area, or left
        // it uncommitted: writing the answer would run past it.
        Trace("CSharedMemory::Create(): %s could not be mapped whole", name);
        return nullptr;
    }
    if (existed) {
        InterlockedIncrement(reinterpret_cast<volatile LONG*>(&header()->refCount));
        header()->areaSize = areaSize;
    } else {
        header()->refCount = 1;
    }
    return area();
}

// Global atoms outlive the program that added them, so the atom alone would
// keep the conversation of a program that crashed for ever.
bool CSharedMemory::OwnerAlive() const {
    char name[sizeof atomName];
    if (!GlobalGetAtomNameA(atom, name, sizeof name) || strcmp(name, atomName) != 0) return false;
    if (!existed && gOs.Monotonic() - openedAt < kOwnerAttachGraceMs) return true;
    return HandleCount(view.mapping()) != 1;  // 1: the agent's own; 0: unknown, so alive
}

void CSharedMemory::Release() {
    if (view) InterlockedDecrement(reinterpret_cast<volatile LONG*>(&header()->refCount));
    view.Reset();
}

CSharedMemoryServer::~CSharedMemoryServer() {
    for (uint16_t slot = 1; slot < kConversationSlots; slot++) {
        if (conversations_[slot]) ReleaseSlot(slot);
    }
}

void CSharedMemoryServer::ReleaseSlot(uint16_t slot) {
    delete conversations_[slot];  // releases its view
    conversations_[slot] = nullptr;
    freeCount_++;
}

LRESULT CSharedMemoryServer::ProcessMessage(WPARAM wParam, LPARAM lParam) {
    uint16_t handle = HIWORD(lParam);
    try {
        return handle == 0 ? Open(LOWORD(wParam)) : Request(handle, LOWORD(wParam));
    } catch (...) {
        Trace("CSharedMemoryServer::ProcessMessage() Exception Caught");
        return 0;
    }
}

void CSharedMemoryServer::ReclaimAbandoned() {
    for (uint16_t slot = 1; slot < kConversationSlots; slot++) {
        if (conversations_[slot] && !conversations_[slot]->OwnerAlive()) {
            Trace("CSharedMemoryServer::Open(): conversation %u abandoned by its program", static_cast<unsigned>(slot));
            ReleaseSlot(slot);
        }
    }
}

LRESULT CSharedMemoryServer::Open(ATOM atom) {
    if (freeCount_ == 0) ReclaimAbandoned();
    if (freeCount_ == 0) return 0;
    uint16_t slot = 0;
    for (int probe = 0; probe < kConversationSlots; probe++) {
        if (cursor_ != 0 && !conversations_[cursor_]) {
            slot = cursor_;
            break;
        }
        cursor_ = (cursor_ + 1) % kConversationSlots;
    }
    if (!slot) return 0;
    CSharedMemory* conversation = new (std::nothrow) CSharedMemory();
    if (!conversation) return 0;
    conversations_[slot] = conversation;
    freeCount_--;

    // Only a program's own atom opens a conversation; it stays the sign that
    // the program is still there.
    if (!GlobalGetAtomNameA(atom, conversation->atomName, sizeof conversation->atomName)) {
        ReleaseSlot(slot);
        return 0;
    }
    conversation->atom = atom;
    conversation->openedAt = gOs.Monotonic();
    char name[64];
    snprintf(name, sizeof name, kConversationNameFormat, static_cast<unsigned long>(atom));
    if (!conversation->Create(name, areaSize_)) {
        ReleaseSlot(slot);
        return 0;
    }
    conversation->header()->handle = slot;
    return 1;
}

LRESULT CSharedMemoryServer::Request(uint16_t handle, uint16_t code) {
    if (handle >= kConversationSlots || !conversations_[handle]) return 0;
    CSharedMemory* conversation = conversations_[handle];
    if (!conversation->view) {
        ReleaseSlot(handle);
        return 0;
    }
    if (code == FETCH_CLOSE) {
        ReleaseSlot(handle);
        return 1;
    }
    return lookup_(code, conversation->area());
}
