// A display program's side of a conversation with the agent: its own global
// atom, the mapping named after it, and the requests. The console display
// program and the tests speak to the agent through it, exactly as any
// display program does.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/scoped_win.h"
#include "shared/requests.h"
#include "shared/object_server_win.h"

class Conversation {
public:
    enum class Creator { DisplayProgram, Agent };  // who makes the mapping first

    // Opens a conversation on the channel (0 topics, 1 messages) with the
    // engine window; open() tells whether the agent accepted it.
    Conversation(HWND engine, uint16_t channel, Creator creator = Creator::DisplayProgram);
    // Closes the conversation if still open and gives everything back.
    ~Conversation();
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    bool open() const { return handle_ != 0; }
    uint16_t handle() const { return handle_; }
    ATOM atom() const { return atom_; }
    ConversationHeader* header() const { return static_cast<ConversationHeader*>(view_.get()); }

    // Sends a request code and returns the agent's answer (0 when it does not answer).
    LRESULT Request(uint16_t code);
    // Code 0; the conversation counts as closed afterwards.
    LRESULT Close();

    TopicArea& topics() const {
        return *reinterpret_cast<TopicArea*>(static_cast<char*>(view_.get()) + sizeof(ConversationHeader));
    }
    MsgArea& messages() const {
        return *reinterpret_cast<MsgArea*>(static_cast<char*>(view_.get()) + sizeof(ConversationHeader));
    }

private:
    bool MapView(Creator creator);

    HWND engine_;
    uint16_t channel_;
    ATOM atom_ = 0;
    MappedView view_;
    uint16_t handle_ = 0;
};

// The message that carries every request.
LRESULT SendRequestObject(HWND engine, WPARAM wParam, LPARAM lParam);
