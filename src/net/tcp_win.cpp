#include "net/tcp_win.h"

#include <cstring>
#include <new>

#include "base/os.h"
#include "base/trace.h"
#include "shared/names.h"

namespace {

constexpr char kTcpWindowClass[] = "CTcp Winsock Class - " TIDEWELL_VERSION;
constexpr UINT kWatchPeriodMs = 30000;
constexpr int kHostBufferSize = MAXGETHOSTSTRUCT;  // 1024
// How often Close still calls OnRead before it gives up on a peer that keeps
// sending (some megabytes at the HTTP client's 100 bytes a read).
constexpr uint32_t kMostDrainReads = 100000;

// The layer's process-wide state.
struct NetworkLayer {
    HINSTANCE instance;
    bool winsockStarted;
    UINT_PTR watchTimer;
    CTcp* watched;  // head of the watch list
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

int32_t StalledLimit(int state) {
    switch (state) {
        case TCPSTATE_RESOLVING: return kStalledResolvingSeconds;
        case TCPSTATE_CONNECTING: return kStalledConnectingSeconds;
        default: return kStalledConnectedSeconds;
    }
}

}  // namespace

LRESULT CALLBACK TcpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: return TRUE;
        case WM_CREATE: return 0;
        case kSocketEventMessage:
        case kLookupDoneMessage: {
            auto* tcp = reinterpret_cast<CTcp*>(GetWindowLongPtrA(window, 0));
            if (!tcp) return 0;
            if (message == kLookupDoneMessage) {
                tcp->OnLookupDone(reinterpret_cast<HANDLE>(wParam), WSAGETASYNCBUFLEN(lParam), WSAGETASYNCERROR(lParam));
            } else if (static_cast<SOCKET>(wParam) == tcp->socket) {  // events of an earlier socket are dropped
                tcp->OnSocketEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
            }
            return 0;
        }
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
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
    if (!RegisterClassA(&wc)) {
        KillTimer(nullptr, gNetwork.watchTimer);
        gNetwork.watchTimer = 0;
        return 0;
    }
    if (!startWinsock) return 1;
    WSADATA data;
    bool started = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    gNetwork.winsockStarted = started && data.wVersion == MAKEWORD(1, 1);
    if (started && !gNetwork.winsockStarted) WSACleanup();
    if (gNetwork.winsockStarted) return 1;
    UnregisterClassA(kTcpWindowClass, instance);
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
    UnregisterClassA(kTcpWindowClass, gNetwork.instance);
    if (gNetwork.winsockStarted) WSACleanup();
    gNetwork.winsockStarted = false;
}

void NetworkWatchTick() {
    int32_t now = gOs.Now();
    for (CTcp* tcp = gNetwork.watched; tcp;) {
        CTcp* following = tcp->next;  // Close may delete the object
        if (!IsWatchedState(tcp->state)) {
            Unwatch(tcp);
            MessageBeep(MB_ICONEXCLAMATION);
        } else if (now - tcp->lastActivity > StalledLimit(tcp->state)) {
            Trace("CTcp::OnTimer(): Closing a connection stalled for %ld seconds",
                  static_cast<long>(now - tcp->lastActivity));
            tcp->timedOut = TRUE;  // before Close, so that its handlers see it
            Unwatch(tcp);
            tcp->Close();
        }
        tcp = following;
    }
}

CTcp::CTcp(HWND ownerWindow, UINT notifyMessageNumber) : owner(ownerWindow), notifyMessage(notifyMessageNumber) {
    window = CreateWindowExA(0, kTcpWindowClass, "", WS_CHILD, 0, 0, 0, 0, owner, nullptr, gNetwork.instance, nullptr);
    if (!window) return;
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(this));
    state = TCPSTATE_IDLE;
}

CTcp::~CTcp() {
    // The derived parts are gone by now, so Close reaches only this class's handlers.
    if (state != TCPSTATE_INVALID) Close();
    Unwatch(this);
    if (window && IsWindow(window)) {
        SetWindowLongPtrA(window, 0, 0);
        DestroyWindow(window);
    }
    delete[] hostBuffer;
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
        if (lastActivity == -1) lastActivity = gOs.Now();
        Watch(this);
    } else {
        Unwatch(this);
    }
}

void CTcp::ResetConnection() {
    socket = INVALID_SOCKET;
    memset(&address, 0, sizeof address);
    closedByPeer = FALSE;
    lastActivity = -1;
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
    if (!hostBuffer) hostBuffer = new (std::nothrow) char[kHostBufferSize];
    if (!hostBuffer) {
        WSASetLastError(WSAEINVAL);
        SetState(TCPSTATE_IDLE);
        return 0;
    }
    lookupHandle = WSAAsyncGetHostByName(window, kLookupDoneMessage, host, hostBuffer, kHostBufferSize);
    if (!lookupHandle) {
        SetState(TCPSTATE_IDLE);
        return 0;
    }
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

void CTcp::OnLookupDone(HANDLE task, WORD length, WORD error) {
    // The answer to a lookup that was cancelled or replaced is not ours.
    if (state != TCPSTATE_RESOLVING || task != lookupHandle) return;
    lookupHandle = nullptr;
    const hostent* entry = reinterpret_cast<const hostent*>(hostBuffer);
    bool found = !error && length >= 16 && entry->h_length == 4 && entry->h_addr_list && entry->h_addr_list[0];
    u_long ipv4 = 0;
    if (found) memcpy(&ipv4, entry->h_addr_list[0], sizeof ipv4);
    delete[] hostBuffer;
    hostBuffer = nullptr;
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
            SetState(TCPSTATE_CONNECTED);
            OnConnect(TRUE);
            return;
        case FD_WRITE:
            lastActivity = gOs.Now();
            writeResult = OnWrite();
            // Windows signals FD_WRITE once; while there is more to send, the
            // next piece is asked for through the message loop.
            if (writeResult) PostMessageA(window, kSocketEventMessage, socket, WSAMAKESELECTREPLY(FD_WRITE, 0));
            return;
        case FD_READ:
            lastActivity = gOs.Now();
            OnRead();
            return;
        case FD_CLOSE:
            closedByPeer = TRUE;
            if (state != TCPSTATE_CLOSING) Close();
            return;
        default: return;
    }
}

void CTcp::Close() {
    SetState(TCPSTATE_CLOSING);
    if (lookupHandle) WSACancelAsyncRequest(lookupHandle);
    if (socket != INVALID_SOCKET) {
        if (IsWindow(window)) WSAAsyncSelect(socket, window, 0, 0);
        shutdown(socket, 1);
        for (uint32_t reads = 0; reads < kMostDrainReads && BytesAvailable() && OnRead(); reads++) {
        }
        closesocket(socket);
        socket = INVALID_SOCKET;
    }
    delete[] hostBuffer;
    hostBuffer = nullptr;
    lookupHandle = nullptr;
    SetState(TCPSTATE_IDLE);
    OnDisconnect();
}

int CTcp::Send(const void* data, int length) {
    int sent = send(socket, static_cast<const char*>(data), length, 0);
    if (sent == SOCKET_ERROR) {
        WSAGetLastError();  // read and dropped
        return 0;
    }
    lastActivity = gOs.Now();
    return sent;
}

int CTcp::Recv(void* buffer, int length) {
    int got = recv(socket, static_cast<char*>(buffer), length, 0);
    if (got == SOCKET_ERROR) {
        WSAGetLastError();
        return 0;
    }
    if (got > 0) lastActivity = gOs.Now();
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
