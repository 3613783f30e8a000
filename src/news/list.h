// CList: the program's own doubly linked list of pointers. The list owns its
// nodes, not the values: erasing a node leaves the value to the caller, who
// frees it. A sentinel node inside the list object marks both ends.
#pragma once

#include <cstdint>
#include <new>

template <typename T>
class CList {
public:
    struct Node {
        Node* next;
        Node* prev;
        T value;
    };
    using I = Node*;

    CList() : head_(&sentinel_) {
        sentinel_.next = sentinel_.prev = &sentinel_;
        sentinel_.value = T();
    }
    ~CList() {
        while (count_) Erase(begin());
    }
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;

    I begin() const { return head_->next; }
    I end() const { return head_; }
    I last() const { return head_->prev; }
    static I next(I node) { return node->next; }
    static I prev(I node) { return node->prev; }
    uint32_t count() const { return count_; }

    // Links a new node right after the given one (after end(), the new node
    // becomes the first; after last(), it is appended) and returns it.
    I InsertHead(I after, T value) {
        Node* node = new (std::nothrow) Node{after->next, after, value};
        if (!node) throw "CList<T>::InsertHead(): Our of Memory";
        after->next->prev = node;
        after->next = node;
        count_++;
        return node;
    }

    // Unlinks and frees the node; returns the node that followed it.
    I Erase(I node) {
        if (count_ == 0) throw "CList::Erase(I): List already empty";
        if (node == head_) throw "CList::Erase(I): Not an element";
        I following = node->next;
        node->prev->next = following;
        following->prev = node->prev;
        delete node;
        count_--;
        return following;
    }

private:
    Node sentinel_;
    Node* head_;
    uint32_t count_ = 0;
};
