#include "news/topic_array.h"

TopicArray gTopicArray;

void TopicArray::Reset() {
    Size = 0;
    MaxAvail = kCapacity;
    cursor_ = 0;
    for (CTopic*& slot : slots_) slot = nullptr;
}

int TopicArray::Add(CTopic* topic) {
    if (Size == kCapacity) throw "Array Full!";
    if (MaxAvail == 0) throw "Array is full (1)";
    int cursor = cursor_;
    for (uint32_t probe = 0; probe < kCapacity; probe++) {
        if (!slots_[cursor]) {
            cursor_ = cursor;
            slots_[cursor] = topic;
            Size++;
            MaxAvail--;
            topic->ridTopic = static_cast<uint32_t>(cursor);
            return cursor;
        }
        cursor = (cursor + 1) % static_cast<int>(kCapacity);
    }
    throw "Array is corrupted";
}

void TopicArray::Clear() {
    for (CTopic*& slot : slots_) {
        delete slot;
        slot = nullptr;
    }
    Size = 0;
    MaxAvail = kCapacity;
}

int TopicArray::Next(int position) const {
    for (int slot = position == kEnd ? 0 : position + 1; slot < kEnd; slot++) {
        if (slots_[slot]) return slot;
    }
    return kEnd;
}

int TopicArray::Prev(int position) const {
    for (int slot = position - 1; slot >= 0; slot--) {
        if (slots_[slot]) return slot;
    }
    return kEnd;
}

CTopic* TopicArray::At(int position) const {
    return position >= 0 && position < kEnd ? slots_[position] : nullptr;
}

int TopicArray::Find(uint32_t ridTopic) const {
    for (int position = Begin(); position != kEnd; position = Next(position)) {
        if (slots_[position]->ridTopic == ridTopic) return position;
    }
    return kEnd;
}

CTopic* TopicArray::FirstOfType(uint32_t type) const {
    for (int position = Begin(); position != kEnd; position = Next(position)) {
        if (slots_[position]->dwType == type) return slots_[position];
    }
    return nullptr;
}

CTopic* TopicArray::NextInTurn(uint32_t lastId, const std::function<bool(const CTopic&)>& eligible) const {
    // Start after the topic served last: at the first topic with a greater
    // id, or just past the one with that id.
    int position = Begin();
    if (lastId != kNoId) {
        for (; position != kEnd; position = Next(position)) {
            uint32_t id = slots_[position]->ridTopic;
            if (id > lastId) break;
            if (id == lastId) {
                position = Next(position);
                break;
            }
        }
    }
    for (uint32_t examined = 0; examined < Size; examined++) {
        if (position == kEnd) position = Begin();  // the end is no topic: go round
        if (eligible(*slots_[position])) return slots_[position];
        position = Next(position);
    }
    return nullptr;
}
