#include "shared/conversation_win.h"

#include <atomic>
#include <cstdio>

#include "shared/messages_win.h"

namespace {

// A display program waits for the agent, but not for ever.
constexpr UINT kRequestTimeoutMs = 30000;

uint32_t AreaSizeOf(uint16_t channel) {
    return channel == kTopicChannel ? sizeof(TopicArea) : sizeof(MsgArea);
}

ATOM AddOwnAtom() {
    static std::atomic<unsigned> counter{0};
    char name[64];
    snprintf(name, sizeof name, "Tidewell display %lu.%u", GetCurrentProcessId(), counter++);
    return GlobalAddAtomA(name);
}

}  // namespace

LRESULT SendRequestObject(HWND engine, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(engine, gMessages.requestObject, wParam, lParam, SMTO_NORMAL, kRequestTimeoutMs, &answer))
        return 0;
    return static_cast<LRESULT>(answer);
}

Conversation::Conversation(HWND engine, uint16_t channel, Creator creator) : engine_(engine), channel_(channel) {
    atom_ = AddOwnAtom();
    if (!atom_) return;
    if (creator == Creator::DisplayProgram && !MapView(creator)) return;
    if (!SendRequestObject(engine_, atom_, MAKELPARAM(channel_, 0))) return;
    if (creator == Creator::Agent && !MapView(creator)) return;
    handle_ = header()->handle;
}

Conversation::~Conversation() {
    if (open()) Close();
    if (atom_) GlobalDeleteAtom(atom_);
}

bool Conversation::MapView(Creator creator) {
    char name[64];
    snprintf(name, sizeof name, kConversationNameFormat, static_cast<unsigned long>(atom_));
    uint32_t size = AreaSizeOf(channel_) + sizeof(ConversationHeader);
    bool existed = false;
    view_ =
        creator == Creator::DisplayProgram ? MappedView::Create(name, size, &existed) : MappedView::Open(name, size);
    if (!view_) return false;
    if (creator == Creator::DisplayProgram) header()->refCount = 1;  // this program's own view
    return true;
}

LRESULT Conversation::Request(uint16_t code) {
    if (!open()) return 0;
    return SendRequestObject(engine_, code, MAKELPARAM(channel_, handle_));
}

LRESULT Conversation::Close() {
    LRESULT answer = Request(0);
    handle_ = 0;
    return answer;
}
