#include "net/http_win.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/trace.h"
#include "net/http_request.h"
#include "net/url.h"

CHttp::CHttp(HWND ownerWindow, UINT message, int32_t bufferSize, char* buffer) : CTcp(ownerWindow, message) {
    if (!buffer && bufferSize > 0) {
        buffer = new (std::nothrow) char[bufferSize];
        ownsBuffer = buffer != nullptr;
    }
    if (!buffer) return;
    bodyBuffer = buffer;
    bodyBufferSize = bufferSize;
    iHttpState = HTTPSTATE_IDLE;
}

CHttp::~CHttp() {
    free(proxyHost);
    if (ownsBuffer) delete[] bodyBuffer;
}

void CHttp::SetProxy(const char* host, int32_t hostPort) {
    free(proxyHost);
    proxyHost = host ? strdup(host) : nullptr;
    proxyPort = proxyHost ? hostPort : 0;
}

int CHttp::Get(const char* host, const char* path, int32_t targetPort, uint32_t value) {
    return StartRequest("GET", host, path, nullptr, targetPort, value);
}

int CHttp::Post(const char* host, const char* path, const char* body, int32_t targetPort, uint32_t value) {
    return StartRequest("POST", host, path, body, targetPort, value);
}

int CHttp::StartRequest(const char* method, const char* host, const char* path, const char* body, int32_t targetPort,
                        uint32_t value) {
    if (iHttpState != HTTPSTATE_IDLE) return 0;
    if (!host || !*host) {
        Trace("CHttp::Get(): Error - NULL host name");
        return 0;
    }
    if (proxyHost && !IsAddressText(proxyHost)) {
        Trace("CHttp::Get(): Error - the proxy's name holds a blank or control byte");
        return 0;
    }
    memset(bodyBuffer, 0, bodyBufferSize);
    bodyFill = 0;
    memset(headerBuffer, 0, sizeof headerBuffer);
    requestSent = 0;
    HttpRequest request = {method, host, targetPort, path, body, proxyHost != nullptr};
    requestLength = static_cast<int32_t>(BuildHttpRequest(request, headerBuffer, kHeaderBufferSize));
    if (requestLength == 0) {
        Trace("CHttp::Get(): Error - the request was refused or is longer than %u bytes", kHeaderHeldMax);
        return 0;
    }
    iHttpState = HTTPSTATE_CONNECTING;
    iStatusCode = 0;
    iBodyBytes = 0;
    iContentLength = 0;
    iFault = HTTPFAULT_NONE;
    header_ = HttpHeaderState();
    if (Connect(proxyHost ? proxyHost : host, proxyHost ? proxyPort : targetPort, value)) return 1;
    iHttpState = HTTPSTATE_IDLE;
    return 0;
}

void CHttp::OnConnect(BOOL success) {
    if (iHttpState != HTTPSTATE_CONNECTING)
        Trace("CHttp::OnConnect(): Error expected iHttpState==HTTPSTATE_CONNECTING");
    if (success) {
        iHttpState = HTTPSTATE_SENDING;
    } else {
        iHttpState = HTTPSTATE_IDLE;
        Fail(HTTPFAULT_CONNECT);
        Trace("CHttp::OnConnect(): Connect Failed!");
    }
    OnConnected(success);
}

int CHttp::OnWrite() {
    if (iHttpState != HTTPSTATE_SENDING) {
        Trace("CHttp::OnWrite(): iHttpState==%d", iHttpState);
        return 0;
    }
    if (requestSent < requestLength) {
        int piece = requestLength - requestSent;
        if (piece > static_cast<int>(kSocketChunk)) piece = kSocketChunk;
        int sent = Send(headerBuffer + requestSent, piece);
        if (sent < 0) {
            Trace("CHttp::OnWrite(): Error - the request could not be sent");
            Fail(HTTPFAULT_SEND);
            return -1;
        }
        requestSent += sent;
        if (sent == 0) return 0;  // no room now: the socket signals again when there is
    }
    if (requestSent < requestLength) return 1;
    iHttpState = HTTPSTATE_HEADER;
    memset(headerBuffer, 0, sizeof headerBuffer);
    requestLength = 0;
    return 0;
}

int CHttp::OnRead() {
    if (iFault != HTTPFAULT_NONE) return 0;  // what follows a failure is not read
    if (iHttpState == HTTPSTATE_HEADER) return ReadHeader();
    if (iHttpState == HTTPSTATE_BODY) return ReadBody();
    Trace("CHttp::OnRead(): iHttpState==%d", iHttpState);
    return 0;
}

int CHttp::ReadHeader() {
    uint32_t room = HeaderReceiveRoom(header_);
    if (room == 0) {
        // 1999 bytes without the end of a line: the response cannot go on.
        Trace("CHttp::OnRead(): Receive header buffer overflow");
        EndFailed(HTTPFAULT_HEADER);  // this may delete the object: touch nothing after it
        return 0;
    }
    int got = Recv(headerBuffer + header_.held, static_cast<int>(room));
    if (got <= 0) return 0;
    header_.held += static_cast<uint32_t>(got);
    HttpHeaderResult result = TakeHeaderLines(headerBuffer, header_, [this](const char* line) { OnHeader(line); });
    iStatusCode = header_.statusCode;
    iContentLength = header_.contentLength;
    requestLength = static_cast<int32_t>(header_.held);
    if (result.complete) {
        // Never more than one read and its look-ahead; the bound only keeps a
        // body buffer smaller than the header buffer safe.
        uint32_t length = result.bodyLength;
        if (length > static_cast<uint32_t>(bodyBufferSize - 1)) length = bodyBufferSize - 1;
        memmove(bodyBuffer, result.bodyStart, length);
        bodyBuffer[length] = '\0';
        bodyFill = static_cast<int32_t>(length);
        requestLength = 0;
        iHttpState = HTTPSTATE_BODY;
        if (!CountBody(static_cast<int32_t>(length))) {
            EndFailed(HTTPFAULT_TOO_LONG);
            return 0;
        }
    }
    return 1;
}

int CHttp::ReadBody() {
    int room = bodyBufferSize - 1 - bodyFill;
    if (room > 0) {
        if (room > static_cast<int>(kSocketChunk)) room = kSocketChunk;
        int got = Recv(bodyBuffer + bodyFill, room);
        if (got <= 0) return 0;
        if (!CountBody(got)) {
            EndFailed(HTTPFAULT_TOO_LONG);
            return 0;
        }
        bodyFill += got;
    }
    bodyBuffer[bodyFill] = '\0';
    if (bodyFill >= bodyBufferSize - 1) FlushBody();
    if (iFault == HTTPFAULT_NONE) return 1;
    EndFailed(iFault);  // the body could not be stored
    return 0;
}

// Adds length bytes to the body's count, unless they would take it past the limit.
bool CHttp::CountBody(int32_t length) {
    if (length > iBodyLimit - iBodyBytes) {
        Trace("CHttp::OnRead(): Error - body longer than %ld bytes", static_cast<long>(iBodyLimit));
        return false;
    }
    iBodyBytes += length;
    return true;
}

// Ends a response that cannot arrive whole; closing may delete the object.
void CHttp::EndFailed(int fault) {
    Fail(fault);
    if (state != TCPSTATE_CLOSING) Close();
}

void CHttp::FlushBody() {
    int length = bodyFill;
    bodyFill = 0;
    OnData(bodyBuffer, length);
    bodyBuffer[0] = '\0';
}

void CHttp::OnDisconnect() {
    if (timedOut) Fail(HTTPFAULT_TIMEOUT);  // what came before is not handed on
    if (iHttpState == HTTPSTATE_BODY && bodyFill > 0 && iFault == HTTPFAULT_NONE) FlushBody();
    if (iContentLength != 0 && iContentLength != iBodyBytes)
        Trace("CHttp::OnDisconnect() Error: Content-Length invalid");
    if (iHttpState == HTTPSTATE_NONE) return;  // without a body buffer the object stays unusable
    if (iHttpState != HTTPSTATE_BODY) Fail(HTTPFAULT_CUT);
    if (resetByPeer) Fail(HTTPFAULT_RESET);
    if (!closedByPeer) Fail(HTTPFAULT_CLOSED);
    if (iContentLength != 0 && iContentLength != iBodyBytes) Fail(HTTPFAULT_LENGTH);
    if (iFault != HTTPFAULT_NONE) Trace("CHttp::OnDisconnect(): Error - response not whole (%d)", iFault);
    iHttpState = HTTPSTATE_IDLE;
    OnComplete();
}

void CHttp::OnHeader(const char*) {
    Notify(0);
}

void CHttp::OnData(const char*, int) {
    Notify(0);
}

void CHttp::OnConnected(BOOL) {
    Notify(0);
}

void CHttp::OnComplete() {
    Notify(0);
}
