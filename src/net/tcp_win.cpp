#include "net/tcp_win.h"

#include <cstring>
#include <new>

#include "base/os.h"
#include "base/trace.h"
#include "shared/names.h"

// Host lookups write their answer into a buffer from another thread, then
// post their completion. Wine's WSACancelAsyncRequest does nothing (it
// returns 0, and the lookup still writes and posts), while Windows' really
// cancels, so no lookup is ever cancelled: each buffer is a slot of a table
// that lives as long as the program, taken until its own completion arrives.
struct HostLookup {
    HANDLE task;
    CTcp* owner;  // null once its connection was closed or destroyed
    bool busy;
    char buffer[MAXGETHOSTSTRUCT];
};

namespace {

constexpr char kTcpWindowClass[] = "CTcp Winsock Class - " TIDEWELL_VERSION;
// How often Close still calls OnRead before it gives up on a peer that keeps
// sending (some megabytes at the HTTP client's 100 bytes a read).
constexpr uint32_t kMostDrainReads = 100000;

// The layer's process-wide state.
struct NetworkLayer {
    HINSTANCE instance;
    bool winsockStarted;
    UINT_PTR watchTimer;
    HWND lookupWindow;
    CTcp* watched;  // head of the watch list
    HostLookup lookups[kMostLookups];
} gNetwork;

void CALLBACK WatchTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    NetworkWatchTick();
}

bool IsWatchedState(int state) {
    return state == TCPSTATE_RESOLVING || state == TCPSTATE_CONNECTING || state == TCPSTATE_CONNECTED;
}

void Watch(CTcp* tcp) {
    for (CTcp* watched = gNetwork.watched; watched; watched = watched->next) {
        if (watched == tcp) return;
    }
    tcp->next = gNetwork.watched;
    gNetwork.watched = tcp;
}

void Unwatch(CTcp* tcp) {
    for (CTcp** link = &gNetwork.watched; *link; link = &(*link)->next) {
        if (*link == tcp) {
            *link = tcp->next;
            tcp->next = nullptr;
            return;
        }
    }
}

uint64_t StalledLimitMs(int state) {
    switch (state) {
        case TCPSTATE_RESOLVING: return kStalledResolvingSeconds * 1000ull;
        case TCPSTATE_CONNECTING: return kStalledConnectingSeconds * 1000ull;
        default: return kStalledConnectedSeconds * 1000ull;
    }
}

// Milliseconds from then to now; none when a replaced clock went back.
uint64_t Elapsed(uint64_t now, uint64_t then) {
    return now > then ? now - then : 0;
}

HostLookup* FindLookup(HANDLE task) {
    for (HostLookup& lookup : gNetwork.lookups) {
        if (lookup.busy && lookup.task == task) return &lookup;
    }
    return nullptr;
}

// The address of a host entry the lookup wrote into buffer, length bytes
// long by its own account. The entry's pointers must all lead into those
// bytes: an answer that is not the lookup's own (a message from another
// program) finds the buffer still zero.
bool ReadHostEntry(const char* buffer, uint32_t length, u_long* ipv4) {
    if (length > sizeof(HostLookup::buffer)) return false;
    if (length < sizeof(hostent)) return false;
    hostent entry;
    memcpy(&entry, buffer, sizeof entry);
    if (entry.h_addrtype != AF_INET || entry.h_length != sizeof *ipv4) return false;
    auto inside = [&](const void* at, size_t size) {
        uintptr_t offset = reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(buffer);
        return reinterpret_cast<uintptr_t>(at) >= reinterpret_cast<uintptr_t>(buffer) && offset <= length &&
               length - offset >= size;
    };
    if (!inside(entry.h_addr_list, sizeof(char*))) return false;
    const char* first;
    memcpy(&first, entry.h_addr_list, sizeof first);
    if (!first || !inside(first, sizeof *ipv4)) return false;
    memcpy(ipv4, first, sizeof *ipv4);
    return true;
}

}  // namespace

// A lookup's completion frees its slot; the connection that asked for it,
// if still there, goes on. A completion for no lookup under way is dropped.
void OnLookupMessage(WPARAM wParam, LPARAM lParam) {
    HostLookup* lookup = FindLookup(reinterpret_cast<HANDLE>(wParam));
    if (!lookup) {
        Trace("CTcp::OnLookupDone(): Warning - no such lookup under way");
        return;
    }
    u_long ipv4 = 0;
    bool found = !WSAGETASYNCERROR(lParam) && ReadHostEntry(lookup->buffer, WSAGETASYNCBUFLEN(lParam), &ipv4);
    CTcp* tcp = lookup->owner;
    lookup->busy = false;
    lookup->owner = nullptr;
    lookup->task = nullptr;
    if (tcp) tcp->OnLookupDone(found, ipv4);
}

// A handler that threw left its connection in a state nobody knows: it ends,
// as a failure, unless its object is gone or it has ended already.
void CloseAfterException(HWND window) {
    auto* tcp = IsWindow(window) ? reinterpret_cast<CTcp*>(GetWindowLongPtrA(window, 0)) : nullptr;
    if (!tcp || tcp->state == TCPSTATE_IDLE || tcp->state == TCPSTATE_CLOSING) return;
    try {
        tcp->Close();
    } catch (...) {
        Trace("CTcp::WindowProc(): Unhandled Exception while closing");
    }
}

// Whatever a handler throws ends here: the message loop must never see it.
LRESULT CALLBACK TcpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kSocketEventMessage && message != kLookupDoneMessage) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    try {
        auto* tcp = reinterpret_cast<CTcp*>(GetWindowLongPtrA(window, 0));
        // Events of an earlier socket are dropped.
        if (message == kSocketEventMessage && tcp && static_cast<SOCKET>(wParam) == tcp->socket) {
            tcp->OnSocketEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        }
        if (message == kLookupDoneMessage && window == gNetwork.lookupWindow) OnLookupMessage(wParam, lParam);
    } catch (const std::bad_alloc&) {
        Trace("CTcp::WindowProc(): Exception - out of memory");
        CloseAfterException(window);
    } catch (const char* text) {
        Trace("CTcp::WindowProc(): Exception %s", text);
        CloseAfterException(window);
    } catch (...) {
        Trace("CTcp::WindowProc(): Unhandled Exception");
        CloseAfterException(window);
    }
    return 0;
}

int NetworkInit(HINSTANCE instance, int startWinsock) {
    gNetwork.instance = instance;
    gNetwork.winsockStarted = false;
    gNetwork.watchTimer = SetTimer(nullptr, 0, kWatchPeriodMs, WatchTimerProc);
    if (!gNetwork.watchTimer) return 0;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TcpWindowProc;
    wc.cbWndExtra = sizeof(CTcp*);  // the owning object (a 32-bit word in 32-bit builds)
    wc.hInstance = instance;
    wc.lpszClassName = kTcpWindowClass;
    bool registered = RegisterClassA(&wc) != 0;
    if (registered) {
        gNetwork.lookupWindow =
            CreateWindowExA(0, kTcpWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    }
    if (gNetwork.lookupWindow && startWinsock) {
        WSADATA data;
        bool started = WSAStartup(MAKEWORD(1, 1), &data) == 0;
        gNetwork.winsockStarted = started && data.wVersion == MAKEWORD(1, 1);
        if (started && !gNetwork.winsockStarted) WSACleanup();
    }
    if (gNetwork.lookupWindow && (gNetwork.winsockStarted || !startWinsock)) return 1;
    if (gNetwork.lookupWindow) DestroyWindow(gNetwork.lookupWindow);
    gNetwork.lookupWindow = nullptr;
    if (registered) UnregisterClassA(kTcpWindowClass, instance);
    KillTimer(nullptr, gNetwork.watchTimer);
    gNetwork.watchTimer = 0;
    return 0;
}

void NetworkTerm() {
    while (CTcp* tcp = gNetwork.watched) {
        Unwatch(tcp);
        tcp->Close();
    }
    if (gNetwork.watchTimer) KillTimer(nullptr, gNetwork.watchTimer);
    gNetwork.watchTimer = 0;
    if (gNetwork.lookupWindow) DestroyWindow(gNetwork.lookupWindow);
    gNetwork.lookupWindow = nullptr;
    UnregisterClassA(kTcpWindowClass, gNetwork.instance);
    if (gNetwork.winsockStarted) WSACleanup();
    gNetwork.winsockStarted = false;
    // A late answer may still write into a slot: the table stays, only its
    // bookkeeping starts afresh.
    for (HostLookup& lookup : gNetwork.lookups) {
        lookup.busy = false;
        lookup.owner = nullptr;
    }
}

void NetworkWatchTick() {
    uint64_t now = gOs.Monotonic();
    for (CTcp* tcp = gNetwork.watched; tcp;) {
        CTcp* following = tcp->next;  // Close may delete the object
        if (!IsWatchedState(tcp->state)) {
            Unwatch(tcp);
            MessageBeep(MB_ICONEXCLAMATION);
        } else if (Elapsed(now, tcp->startedAt) >= kConnectionDeadlineMs) {
            Trace("CTcp::OnTimer(): Closing a connection open for %lu seconds",
                  static_cast<unsigned long>(Elapsed(now, tcp->startedAt) / 1000));
            tcp->timedOut = TRUE;  // before Close, so that its handlers see it
            Unwatch(tcp);
            tcp->Close();
        } else if (Elapsed(now, tcp->lastActivity) > StalledLimitMs(tcp->state)) {
            Trace("CTcp::OnTimer(): Closing a connection stalled for %lu seconds",
                  static_cast<unsigned long>(Elapsed(now, tcp->lastActivity) / 1000));
            tcp->timedOut = TRUE;
            Unwatch(tcp);
            tcp->Close();
        }
        tcp = following;
    }
}

int NetworkLookupsPending() {
    int pending = 0;
    for (const HostLookup& lookup : gNetwork.lookups) pending += lookup.busy;
    return pending;
}

HWND NetworkLookupWindow() {
    return gNetwork.lookupWindow;
}

CTcp::CTcp(HWND ownerWindow, UINT notifyMessageNumber) : owner(ownerWindow), notifyMessage(notifyMessageNumber) {
    // Message-only: no other program finds it among the windows it can list.
    window = CreateWindowExA(0, kTcpWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, gNetwork.instance, nullptr);
    if (!window) return;
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(this));
    state = TCPSTATE_IDLE;
}

CTcp::~CTcp() {
    // The derived parts are gone by now, so Close reaches only this class's handlers.
    if (state != TCPSTATE_INVALID) Close();
    Unwatch(this);
    if (lookup) lookup->owner = nullptr;
    if (window && IsWindow(window)) {
        SetWindowLongPtrA(window, 0, 0);
        DestroyWindow(window);
    }
}

void CTcp::OnConnect(BOOL) {}
void CTcp::OnDisconnect() {}
int CTcp::OnRead() {
    return 0;
}
int CTcp::OnWrite() {
    return 0;
}

void CTcp::SetState(int newState) {
    state = newState;
    if (IsWatchedState(newState)) {
        Watch(this);
    } else {
        Unwatch(this);
    }
}

void CTcp::ResetConnection() {
    socket = INVALID_SOCKET;
    memset(&address, 0, sizeof address);
    closedByPeer = FALSE;
    resetByPeer = FALSE;
    writePosts = 0;
    startedAt = lastActivity = gOs.Monotonic();
    timedOut = FALSE;
}

int CTcp::Connect(const char* host, int32_t targetPort, uint32_t value) {
    if (!host || state != TCPSTATE_IDLE) return 0;
    ResetConnection();
    port = targetPort;
    userValue = value;
    SetState(TCPSTATE_RESOLVING);
    u_long ipv4 = inet_addr(host);
    if (ipv4 != INADDR_NONE) return StartConnection(ipv4);
    if (StartLookup(host)) return 1;
    SetState(TCPSTATE_IDLE);
    return 0;
}

int CTcp::StartLookup(const char* host) {
    HostLookup* free = nullptr;
    for (HostLookup& candidate : gNetwork.lookups) {
        if (!candidate.busy) {
            free = &candidate;
            break;
        }
    }
    if (!free) {
        Trace("CTcp::Connect(): Error - %d host lookups under way", kMostLookups);
        WSASetLastError(WSAEINVAL);
        return 0;
    }
    memset(free->buffer, 0, sizeof free->buffer);
    free->task =
        WSAAsyncGetHostByName(gNetwork.lookupWindow, kLookupDoneMessage, host, free->buffer, sizeof free->buffer);
    if (!free->task) return 0;
    free->busy = true;
    free->owner = this;
    lookup = free;
    return 1;
}

int CTcp::StartConnection(u_long ipv4) {
    SetState(TCPSTATE_CONNECTING);
    writeResult = 0;
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ipv4;
    address.sin_port = htons(static_cast<u_short>(port));
    socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket == INVALID_SOCKET) {
        SetState(TCPSTATE_IDLE);
        return 0;
    }
    BOOL dontLinger = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&dontLinger), sizeof dontLinger);
    bool started = WSAAsyncSelect(socket, window, kSocketEventMessage, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) == 0;
    if (started) {
        started = connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
                  WSAGetLastError() == WSAEWOULDBLOCK;
    }
    if (started) return 1;
    closesocket(socket);
    socket = INVALID_SOCKET;
    SetState(TCPSTATE_IDLE);
    return 0;
}

// A connection that could not be made: the only notice is OnConnect(FALSE).
void CTcp::FailConnection() {
    if (socket != INVALID_SOCKET) closesocket(socket);
    socket = INVALID_SOCKET;
    SetState(TCPSTATE_IDLE);
    OnConnect(FALSE);
}

void CTcp::OnLookupDone(bool found, u_long ipv4) {
    lookup = nullptr;
    if (state != TCPSTATE_RESOLVING) return;
    if (!found) {
        FailConnection();
        return;
    }
    if (!StartConnection(ipv4)) OnConnect(FALSE);
}

void CTcp::OnSocketEvent(WORD event, WORD error) {
    switch (event) {
        case FD_CONNECT:
            if (state != TCPSTATE_CONNECTING) return;
            if (error) {
                FailConnection();
                return;
            }
            lastActivity = gOs.Monotonic();
            SetState(TCPSTATE_CONNECTED);
            OnConnect(TRUE);
            return;
        case FD_WRITE:
            if (state != TCPSTATE_CONNECTED) return;
            writeResult = OnWrite();
            // A failed send, or more to send than any request needs, ends the
            // connection. Closing may delete the object: nothing follows it.
            if (writeResult < 0 || (writeResult > 0 && ++writePosts > kMostWritePosts)) {
                if (writeResult > 0) Trace("CTcp::OnWrite(): Error - still sending after %d writes", kMostWritePosts);
                Close();
                return;
            }
            // Windows signals FD_WRITE once; while there is more to send, the
            // next piece is asked for through the message loop.
            if (writeResult) PostMessageA(window, kSocketEventMessage, socket, WSAMAKESELECTREPLY(FD_WRITE, 0));
            return;
        case FD_READ: OnRead(); return;
        case FD_CLOSE:
            closedByPeer = TRUE;
            resetByPeer = error != 0;
            if (state != TCPSTATE_CLOSING) Close();
            return;
        default: return;
    }
}

void CTcp::Close() {
    SetState(TCPSTATE_CLOSING);
    // A lookup under way keeps its slot until its answer arrives, for nobody.
    if (lookup) lookup->owner = nullptr;
    lookup = nullptr;
    if (socket != INVALID_SOCKET) {
        if (IsWindow(window)) WSAAsyncSelect(socket, window, 0, 0);
        shutdown(socket, 1);
        Drain();
        closesocket(socket);
        socket = INVALID_SOCKET;
    }
    SetState(TCPSTATE_IDLE);
    OnDisconnect();
}

// Hands the data still waiting to OnRead; a handler that throws ends it, so
// that Close always completes.
void CTcp::Drain() {
    try {
        for (uint32_t reads = 0; reads < kMostDrainReads && BytesAvailable() && OnRead(); reads++) {}
    } catch (...) {
        Trace("CTcp::Close(): Exception - the data still waiting is dropped");
    }
}

int CTcp::Send(const void* data, int length) {
    int sent = send(socket, static_cast<const char*>(data), length, 0);
    if (sent == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    if (sent > 0) lastActivity = gOs.Monotonic();
    return sent;
}

int CTcp::Recv(void* buffer, int length) {
    int got = recv(socket, static_cast<char*>(buffer), length, 0);
    if (got == SOCKET_ERROR) {
        WSAGetLastError();
        return 0;
    }
    if (got > 0) lastActivity = gOs.Monotonic();
    return got;
}

uint32_t CTcp::BytesAvailable() {
    u_long available = 0;
    if (ioctlsocket(socket, FIONREAD, &available) != 0) return 0;
    return available;
}

void CTcp::Notify(WPARAM code) {
    if (notifyMessage) SendMessageA(owner, notifyMessage, code, userValue);
}
