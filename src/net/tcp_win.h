// CTcp: a TCP client connection that never blocks. Host lookup, connecting,
// reading, writing and closing run on Windows Sockets 1.1 in its
// window-message form: every socket event arrives as a message at a hidden,
// message-only window that belongs to the object, which turns it into a call
// of a virtual handler; every host lookup ends at the layer's own window.
// Everything runs on the one GUI thread.
#pragma once

#include <winsock.h>
#include <windows.h>

#include <cstdint>

enum : int {
    TCPSTATE_INVALID = 0,    // the hidden window was not created: unusable
    TCPSTATE_IDLE = 1,       // Connect may be called
    TCPSTATE_RESOLVING = 2,  // the host name is being looked up
    TCPSTATE_CONNECTING = 3,
    TCPSTATE_CONNECTED = 4,  // data flows
    TCPSTATE_CLOSING = 5,    // Close is running
};

// The messages of the hidden windows.
constexpr UINT kSocketEventMessage = WM_USER;     // a socket event, at an object's window
constexpr UINT kLookupDoneMessage = WM_USER + 1;  // a host lookup ended, at the layer's window

// Seconds without a byte sent or received after which a connection in each
// state is closed.
constexpr int32_t kStalledResolvingSeconds = 60;
constexpr int32_t kStalledConnectingSeconds = 60;
constexpr int32_t kStalledConnectedSeconds = 60;
// How often the watch looks, and how long a connection may last from Connect
// on, whatever the server does: with the watch's period it ends within 120 s.
constexpr UINT kWatchPeriodMs = 5000;
constexpr uint64_t kConnectionDeadlineMs = 115000;
// Host lookups under way at once, also those whose connection was closed
// meanwhile (their answer still has to arrive).
constexpr int kMostLookups = 8;
// Write events re-posted for one connection; a request needs about twenty.
constexpr int kMostWritePosts = 64;

// Starts the layer once, before any CTcp exists: the watch timer, the hidden
// window class, the lookup window and (when asked) Windows Sockets 1.1,
// which must be granted exactly. Non-zero on success.
int NetworkInit(HINSTANCE instance, int startWinsock);

// Closes every object still watched, stops the timer, destroys the lookup
// window, unregisters the class and ends Windows Sockets.
void NetworkTerm();

// Walks the watched objects and closes those stalled beyond the limit of
// their state or open beyond the deadline; the watch timer runs it.
void NetworkWatchTick();

// Host lookups whose answer has not arrived yet.
int NetworkLookupsPending();

// The layer's window, where host lookups end.
HWND NetworkLookupWindow();

struct HostLookup;

class CTcp {
public:
    // owner receives Notify; the hidden window is message-only.
    CTcp(HWND owner, UINT notifyMessage);
    virtual ~CTcp();
    CTcp(const CTcp&) = delete;
    CTcp& operator=(const CTcp&) = delete;

    // The handlers, in this order. OnRead returns non-zero when it consumed
    // data and more may follow; OnWrite 1 while it has more to send, 0 when
    // it is done or waits for room, -1 when sending failed (the connection is
    // then closed). An object may be deleted from inside OnConnect(FALSE) or
    // OnDisconnect: the layer touches it no more after calling either.
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

    // Bytes accepted or received; 0 when the socket has no room or no data
    // now; Send gives -1 when the connection failed.
    int Send(const void* data, int length);
    int Recv(void* buffer, int length);
    uint32_t BytesAvailable();

    // Sends notifyMessage to the owner with the code and the user value.
    void Notify(WPARAM code);

    SOCKET socket = INVALID_SOCKET;
    sockaddr_in address = {};
    HostLookup* lookup = nullptr;  // the lookup under way for this object
    int32_t port = 0;
    int state = TCPSTATE_INVALID;
    int writeResult = 0;        // what OnWrite returned last
    int writePosts = 0;         // write events re-posted for this connection
    BOOL closedByPeer = FALSE;  // FD_CLOSE arrived: the server closed
    BOOL resetByPeer = FALSE;   // ... with an error: the connection broke
    HWND window = nullptr;
    HWND owner;
    uint32_t userValue = 0;
    UINT notifyMessage;
    CTcp* next = nullptr;       // the watch list
    uint64_t startedAt = 0;     // gOs.Monotonic() at Connect
    uint64_t lastActivity = 0;  // gOs.Monotonic() at the last byte moved
    BOOL timedOut = FALSE;      // the watch closed it

private:
    friend LRESULT CALLBACK TcpWindowProc(HWND, UINT, WPARAM, LPARAM);
    friend void NetworkWatchTick();
    friend void NetworkTerm();
    friend void OnLookupMessage(WPARAM, LPARAM);
    void ResetConnection();
    void Drain();
    int StartLookup(const char* host);
    int StartConnection(u_long ipv4);
    void FailConnection();
    void OnSocketEvent(WORD event, WORD error);
    void OnLookupDone(bool found, u_long ipv4);
    void SetState(int newState);
};
