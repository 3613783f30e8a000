// CSharedLock: a multiple-reader, single-writer lock around the global block,
// made of a named manual-reset event (signalled while there are no readers),
// a reader count, a writer gate and a guard for the count. The agent creates
// it at start-up for the display programs; it never takes it itself.
#pragma once

#include <windows.h>

class CSharedLock {
public:
    explicit CSharedLock(const char* name);
    ~CSharedLock();
    CSharedLock(const CSharedLock&) = delete;
    CSharedLock& operator=(const CSharedLock&) = delete;

    // Each enter returns non-zero on success and 0 when the lock is invalid.
    int EnterReader();
    void LeaveReader();
    int EnterWriter();
    void LeaveWriter();

    bool IsValid() const { return valid_; }

private:
    HANDLE noReaders_;  // the named event
    LONG readers_ = 0;
    CRITICAL_SECTION writerGate_;
    CRITICAL_SECTION countGuard_;
    bool valid_;
};

extern CSharedLock gSharedLock;
