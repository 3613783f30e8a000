#include "shared/shared_lock_win.h"

#include "shared/names.h"

CSharedLock gSharedLock(kSharedLockName);

CSharedLock::CSharedLock(const char* name)
    : noReaders_(CreateEventA(nullptr, TRUE, TRUE, name)), valid_(noReaders_ != nullptr) {
    if (!valid_) return;
    InitializeCriticalSection(&writerGate_);
    InitializeCriticalSection(&countGuard_);
}

CSharedLock::~CSharedLock() {
    if (!valid_) return;
    CloseHandle(noReaders_);
    DeleteCriticalSection(&writerGate_);
    DeleteCriticalSection(&countGuard_);
}

int CSharedLock::EnterReader() {
    if (!valid_) return 0;
    EnterCriticalSection(&writerGate_);
    EnterCriticalSection(&countGuard_);
    if (readers_++ == 0) ResetEvent(noReaders_);
    LeaveCriticalSection(&countGuard_);
    LeaveCriticalSection(&writerGate_);
    return 1;
}

void CSharedLock::LeaveReader() {
    if (!valid_) return;
    EnterCriticalSection(&countGuard_);
    if (--readers_ == 0) SetEvent(noReaders_);
    LeaveCriticalSection(&countGuard_);
}

int CSharedLock::EnterWriter() {
    if (!valid_) return 0;
    EnterCriticalSection(&writerGate_);
    if (WaitForSingleObject(noReaders_, INFINITE) == WAIT_OBJECT_0) return 1;
    LeaveCriticalSection(&writerGate_);
    return 0;
}

void CSharedLock::LeaveWriter() {
    if (!valid_) return;
    LeaveCriticalSection(&writerGate_);
}
