// CTcp: a TCP client connection that never blocks. Host lookup, connecting,
// reading, writing and closing run on Windows Sockets 1.1 in its
// window-message form: every event arrives as a message at a hidden window
// that belongs to the object, which turns it into a call of a virtual
// handler. Everything runs on the one GUI thread.
#pragma once

#include <winsock.h>
#include <windows.h>

#include <cstdint>

enum : int {
    TCPSTATE_INVALID = 0,     // the hidden window was not created: unusable
    TCPSTATE_IDLE = 1,        // Connect may be called
    TCPSTATE_RESOLVING = 2,   // the host name is being looked up
    TCPSTATE_CONNECTING = 3,
    TCPSTATE_CONNECTED = 4,   // data flows
    TCPSTATE_CLOSING = 5,     // Close is running
};

// The messages of the hidden window.
constexpr UINT kSocketEventMessage = WM_USER;       // a socket event
constexpr UINT kLookupDoneMessage = WM_USER + 1;    // a host lookup ended

// Seconds without activity after which a connection in each state is closed.
constexpr int32_t kStalledResolvingSeconds = 60;
constexpr int32_t kStalledConnectingSeconds = 60;
constexpr int32_t kStalledConnectedSeconds = 60;

// Starts the layer once, before any CTcp exists: the 30-second watch timer,
// the hidden window class and (when asked) Windows Sockets 1.1, which must
// be granted exactly. Non-zero on success.
int NetworkInit(HINSTANCE instance, int startWinsock);

// Closes every object still watched, stops the timer, unregisters the class
// and ends Windows Sockets.
void NetworkTerm();

// Walks the watched objects and closes those stalled beyond the limit of
// their state; the 30-second timer runs it.
void NetworkWatchTick();

class CTcp {
public:
    // The hidden window is a child of owner, which also receives Notify.
    CTcp(HWND owner, UINT notifyMessage);
    virtual ~CTcp();
    CTcp(const CTcp&) = delete;
    CTcp& operator=(const CTcp&) = delete;

    // The handlers, in this order. OnRead returns non-zero when it consumed
    // data and more may follow; OnWrite non-zero while it has more to send.
    // An object may be deleted from inside OnConnect(FALSE) or OnDisconnect:
    // the layer touches it no more after calling either.
    virtual void OnConnect(BOOL success);
    virtual void OnDisconnect();
    virtual int OnRead();
    virtual int OnWrite();

    // Starts a lookup (a name) or a connection (a dotted address); the
    // outcome comes through OnConnect. 0 when nothing could be started or
    // the object is not idle.
    int Connect(const char* host, int32_t port, uint32_t userValue);

    // Ends whatever is in progress: data already received still reaches
    // OnRead, then OnDisconnect is called. Allowed in any state.
    void Close();

    // Bytes accepted or received, 0 on an error.
    int Send(const void* data, int length);
    int Recv(void* buffer, int length);
    uint32_t BytesAvailable();

    // Sends notifyMessage to the owner with the code and the user value.
    void Notify(WPARAM code);

    SOCKET socket = INVALID_SOCKET;
    sockaddr_in address = {};
    char* hostBuffer = nullptr;   // the host entry of a pending lookup
    int32_t port = 0;
    HANDLE lookupHandle = nullptr;
    int state = TCPSTATE_INVALID;
    int writeResult = 0;          // what OnWrite returned last
    BOOL closedByPeer = FALSE;    // FD_CLOSE arrived: the server closed
    HWND window = nullptr;
    HWND owner;
    uint32_t userValue = 0;
    UINT notifyMessage;
    CTcp* next = nullptr;         // the watch list
    int32_t lastActivity = -1;    // seconds since 1970
    BOOL timedOut = FALSE;        // the watch closed it

private:
    friend LRESULT CALLBACK TcpWindowProc(HWND, UINT, WPARAM, LPARAM);
    friend void NetworkWatchTick();
    friend void NetworkTerm();
    void ResetConnection();
    int StartConnection(u_long ipv4);
    void FailConnection();
    void OnSocketEvent(WORD event, WORD error);
    void OnLookupDone(HANDLE task, WORD length, WORD error);
    void SetState(int newState);
};
