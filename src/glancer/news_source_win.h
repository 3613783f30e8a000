// Where the ticker's items come from: the running agent, asked through the
// global block, the registered request message and two conversations (one
// for topics, one for messages), exactly as any display program asks.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "glancer/ticker_model.h"
#include "shared/conversation_win.h"
#include "shared/global_block_view_win.h"

namespace glancer {

class NewsSource {
public:
    // Opens the block and both conversations; false while no agent answers.
    bool Connect();
    // Gives everything back. Every request waits for the agent, and while it
    // waits the window may be told to close: a disconnect asked for during a
    // walk stops the walk and happens when it has unwound.
    void Disconnect();
    bool connected() const { return messages_ != nullptr; }
    // The last Connect found an agent that refused a conversation or did not
    // answer; until the next Connect.
    bool refused() const { return refused_; }
    // The agent still runs (its engine window is there).
    bool AgentAlive() const;
    // The shared record while connected, else null.
    CConfigData* config() const { return block_ ? &block_->config() : nullptr; }
    HWND engine() const { return engine_; }

    // The whole loop in order: each active topic's title and headlines (the
    // quotes when preference asks for them), with places for ads (IsAdSlot)
    // between headlines when it asks for those.
    std::vector<Item> Build(int32_t preference);
    // The next ad after the last one fetched, or false when there is none.
    // Every ad fetched counts a view: fetch one only to show it.
    bool NextAd(Item* ad);
    // What arrived since the loop was built: headlines newer than the
    // newest the loop holds of their topic, and topics it does not hold.
    std::vector<Item> NewSince(const Loop& loop, int32_t preference);

private:
    class Busy;
    void Release();

    // Each wanted topic, until f answers false.
    template <typename F>
    void ForEachTopic(int32_t preference, F f);
    // The topic's messages after `after` (kNoId: from the oldest), oldest
    // first, until f answers false.
    template <typename F>
    void ForEachMessage(const TopicRecord& topic, uint32_t after, F f);
    std::unique_ptr<GlobalBlockView> block_;
    std::unique_ptr<Conversation> topics_, messages_;
    HWND engine_ = nullptr;
    uint32_t lastAd_ = kNoId;
    int busy_ = 0;
    bool stop_ = false;
    bool refused_ = false;
};

Item TitleItem(const TopicRecord& topic);
Item MessageItem(const TopicRecord& topic, const MsgRecord& msg);

}  // namespace glancer
