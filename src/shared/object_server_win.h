// The agent's side of the display programs' request protocol. A display
// program adds a global atom and sends WM_REQUESTOBJECT with it to open a
// conversation; the agent maps "TWL SharedMem [%lX]" named after the atom
// and answers every request by copying a topic or a message into the area
// behind the mapping's 12-byte header. Channel 0 serves topics, channel 1
// messages; each has its own server with 19 conversation slots. When all
// are taken, those whose display program is gone are freed: its atom no
// longer exists, or no program but the agent holds the mapping open (a
// display program keeps its handle to the mapping while the conversation
// lasts, and the handle closes with its process; the atom does not).
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/scoped_win.h"
#include "shared/requests.h"

// The header at the start of every conversation mapping.
struct ConversationHeader {
    uint32_t refCount;  // views held on the mapping
    uint32_t areaSize;  // written by the agent only when the mapping was there before it
    uint16_t handle;    // the conversation handle
    uint16_t unused;
};
static_assert(sizeof(ConversationHeader) == 12, "the conversation header is 12 bytes");

constexpr char kConversationNameFormat[] = "TWL SharedMem [%lX]";
constexpr uint16_t kConversationSlots = 20;  // slot 0 is never used: handles are 1..19

// One conversation's mapping, as the agent holds it.
class CSharedMemory {
public:
    CSharedMemory() = default;
    ~CSharedMemory() { Release(); }
    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

    // Creates or opens the mapping of areaSize + 12 bytes and maps all of
    // it; the area, or null. A mapping another program made too small for
    // the area is refused.
    void* Create(const char* name, uint32_t areaSize);
    // Gives up the view: one reference less, unmapped, the handle closed.
    void Release();

    ConversationHeader* header() const { return static_cast<ConversationHeader*>(view.get()); }
    void* area() const { return static_cast<char*>(view.get()) + sizeof(ConversationHeader); }

    // False once the display program that opened the conversation is gone:
    // its atom was deleted, or its handle to the mapping was closed (as at
    // its end, however it ended).
    bool OwnerAlive() const;

    MappedView view;
    bool existed = false;  // the mapping was there before the agent opened it
    ATOM atom = 0;
    char atomName[100] = {};
    uint64_t openedAt = 0;  // on the monotonic clock
};

// One server per channel: opens, serves and closes conversations.
class CSharedMemoryServer {
public:
    using Lookup = int (*)(uint16_t code, void* area);

    CSharedMemoryServer(uint32_t areaSize, Lookup lookup) : areaSize_(areaSize), lookup_(lookup) {}
    // Releases the conversations still open, as at process exit.
    ~CSharedMemoryServer();
    CSharedMemoryServer(const CSharedMemoryServer&) = delete;
    CSharedMemoryServer& operator=(const CSharedMemoryServer&) = delete;

    // The answer to WM_REQUESTOBJECT: 1 done, 0 not done.
    LRESULT ProcessMessage(WPARAM wParam, LPARAM lParam);

private:
    LRESULT Open(ATOM atom);
    // Frees the slots of conversations whose owner is gone.
    void ReclaimAbandoned();
    LRESULT Request(uint16_t handle, uint16_t code);
    void ReleaseSlot(uint16_t slot);

    uint32_t areaSize_;
    Lookup lookup_;
    CSharedMemory* conversations_[kConversationSlots] = {};
    uint16_t freeCount_ = kConversationSlots - 1;
    uint16_t cursor_ = 1;
};
