// CHttp: one HTTP/1.0 request at a time over its CTcp base, directly or
// through a proxy. Get and Post only start it; the socket events drive the
// rest, and the users learn how it went through the four notifications.
// The response ends when the server closes the connection; only a response
// whose header ended, whose body stayed within its limit and matched any
// Content-Length, and whose server closed in good order arrived whole.
#pragma once

#include "net/http_header.h"
#include "net/tcp_win.h"

enum : int {
    HTTPSTATE_NONE = 0,  // no body buffer: no request is accepted
    HTTPSTATE_CONNECTING = 1,
    HTTPSTATE_SENDING = 2,
    HTTPSTATE_HEADER = 3,  // the status line and header are being read
    HTTPSTATE_BODY = 4,
    HTTPSTATE_IDLE = 5,  // Get and Post may be called
};

// Why a response did not arrive whole (iFault); the first reason found counts.
enum : int {
    HTTPFAULT_NONE = 0,
    HTTPFAULT_CONNECT = 1,   // no connection was made
    HTTPFAULT_SEND = 2,      // the request could not be sent
    HTTPFAULT_HEADER = 3,    // a header line longer than the header buffer
    HTTPFAULT_CUT = 4,       // the connection ended before the header did
    HTTPFAULT_RESET = 5,     // the connection broke
    HTTPFAULT_TIMEOUT = 6,   // the watch closed it: stalled or past the deadline
    HTTPFAULT_TOO_LONG = 7,  // the body went past iBodyLimit
    HTTPFAULT_LENGTH = 8,    // the body's length is not the announced one
    HTTPFAULT_CLOSED = 9,    // closed from this side before the server closed
    HTTPFAULT_WRITE = 10,    // the body could not be stored
};

// The body limit of a client nobody gave one.
constexpr int32_t kDefaultBodyLimit = 1 << 20;

class CHttp : public CTcp {
public:
    // With no buffer given, the object allocates one of bufferSize bytes.
    CHttp(HWND ownerWindow, UINT message, int32_t bufferSize, char* buffer);
    ~CHttp() override;

    // An absent host clears the proxy.
    void SetProxy(const char* host, int32_t hostPort);

    // Non-zero when the request was started; 0 when the object is busy, the
    // host is absent or empty, the request does not fit, or no connection
    // could be started.
    int Get(const char* host, const char* path, int32_t targetPort, uint32_t value);
    int Post(const char* host, const char* path, const char* body, int32_t targetPort, uint32_t value);

    // The socket layer's handlers.
    void OnConnect(BOOL success) override;
    void OnDisconnect() override;
    int OnRead() override;
    int OnWrite() override;

    // What users override: each header line (the status line first), each
    // chunk of the body, the outcome of the connection, the end of the
    // response. The base versions only notify the owner.
    virtual void OnHeader(const char* line);
    virtual void OnData(const char* data, int length);
    virtual void OnConnected(BOOL success);
    virtual void OnComplete();

    // Marks the response as not whole, unless a reason was found already.
    void Fail(int fault) {
        if (iFault == HTTPFAULT_NONE) iFault = fault;
    }
    // Known once the response is complete (OnComplete) or failed (OnConnected).
    bool ArrivedWhole() const { return iFault == HTTPFAULT_NONE; }

    int32_t iBodyBytes = 0;  // never above iBodyLimit
    int32_t iBodyLimit = kDefaultBodyLimit;
    int iFault = HTTPFAULT_NONE;
    char* proxyHost = nullptr;
    int32_t proxyPort = 0;
    int32_t requestLength = 0;  // the request text while sending, then the header bytes held
    int32_t requestSent = 0;
    char headerBuffer[kHeaderBufferSize] = {};
    bool ownsBuffer = false;
    char* bodyBuffer = nullptr;
    int32_t bodyBufferSize = 0;
    int32_t bodyFill = 0;
    int iHttpState = HTTPSTATE_NONE;
    int32_t iStatusCode = 0;
    int32_t iContentLength = 0;

private:
    int StartRequest(const char* method, const char* host, const char* path, const char* body, int32_t targetPort,
                     uint32_t value);
    int ReadHeader();
    int ReadBody();
    bool CountBody(int32_t length);
    void FlushBody();
    void EndFailed(int fault);

    HttpHeaderState header_;
};
