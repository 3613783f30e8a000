// TopicArray: the news database in memory, a fixed array of 100 topic slots.
// A topic's id is the index of its slot. Positions are slot indexes; kEnd,
// after the last slot, is the end: stepping forward from it wraps to the
// first occupied slot, and stepping back from the first occupied slot gives it.
#pragma once

#include <cstdint>
#include <functional>

#include "news/topic.h"

class TopicArray {
public:
    static constexpr uint32_t kCapacity = 100;
    static constexpr int kEnd = 100;
    // Slots a subscription file may never take: start-up needs one for the
    // ad-stream topic, and topics are never removed, so a database filled by
    // subscriptions would never start again.
    static constexpr uint32_t kKeptForStartUp = 1;

    TopicArray() { Reset(); }
    ~TopicArray() { Clear(); }
    TopicArray(const TopicArray&) = delete;
    TopicArray& operator=(const TopicArray&) = delete;

    // Empties the slots without freeing anything.
    void Reset();

    // Takes the topic into the first free slot at or after the cursor and
    // makes that slot its id. Raises "Array Full!", "Array is full (1)" or
    // "Array is corrupted", leaving the array unchanged.
    int Add(CTopic* topic);

    // True while a subscription file may still add a topic.
    bool RoomForSubscription() const { return MaxAvail > kKeptForStartUp; }

    // Frees every topic with its messages.
    void Clear();

    // The next Add searches for a free slot from here on. Topics are never
    // removed one by one, so only this leaves slots free (tests use it).
    void SetCursor(int slot) { cursor_ = slot % static_cast<int>(kCapacity); }

    int Begin() const { return Next(kEnd); }
    int Last() const { return Prev(kEnd); }
    int Next(int position) const;
    int Prev(int position) const;
    // The topic at a position; null for the end or an empty slot.
    CTopic* At(int position) const;
    // The position of the first topic with the id, or kEnd.
    int Find(uint32_t ridTopic) const;
    // The first topic of the type in slot order (the ad stream, the stock
    // quotes), or null.
    CTopic* FirstOfType(uint32_t type) const;

    // The next topic in turn after the one with lastId (all bits set: from the
    // first) for which eligible holds, going round the array once at most;
    // null when there is none. The jobs serve their topics this way.
    CTopic* NextInTurn(uint32_t lastId, const std::function<bool(const CTopic&)>& eligible) const;

    template <typename Fn>
    void ForEach(Fn fn) const {
        for (int position = Begin(); position != kEnd; position = Next(position)) fn(*slots_[position]);
    }

    // The message data file "Msg.dat" in the data directory.
    int Load();
    int Save();

    uint32_t Size;      // topics held
    uint32_t MaxAvail;  // free slots

private:
    CTopic* slots_[kCapacity];
    int cursor_;
};

extern TopicArray gTopicArray;
