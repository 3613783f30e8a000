// CHttp: one HTTP/1.0 request at a time over its CTcp base, directly or
// through a proxy. Get and Post only start it; the socket events drive the
// rest, and the users learn how it went through the four notifications.
// The response ends when the server closes the connection.
#pragma once

#include "net/http_header.h"
#include "net/tcp_win.h"

enum : int {
    HTTPSTATE_NONE = 0,        // no body buffer: no request is accepted
    HTTPSTATE_CONNECTING = 1,
    HTTPSTATE_SENDING = 2,
    HTTPSTATE_HEADER = 3,      // the status line and header are being read
    HTTPSTATE_BODY = 4,
    HTTPSTATE_IDLE = 5,        // Get and Post may be called
};

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

    int32_t iBodyBytes = 0;
    char* proxyHost = nullptr;
    int32_t proxyPort = 0;
    int32_t requestLength = 0;   // the request text while sending, then the header bytes held
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
    void FlushBody();

    HttpHeaderState header_;
};
