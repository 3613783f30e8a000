#include "script_server_win.h"

#include <winsock2.h>

namespace {

constexpr DWORD kRequestSilenceMs = 2000;  // a request that stalls this long is taken as complete
constexpr DWORD kStallLimitMs = 120000;    // a stalled connection is closed after this at the latest

// True once the request holds its empty line and the body its Content-length announces.
bool RequestComplete(const std::string& request) {
    size_t end = request.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    size_t length = request.find("Content-length: ");
    size_t body = length == std::string::npos || length > end ? 0 : atoi(request.c_str() + length + 16);
    return request.size() >= end + 4 + body;
}

bool WaitReadable(SOCKET socket, DWORD ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval limit = {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &limit) == 1;
}

// A socket bound to a free loopback port, and that port.
SOCKET BoundLoopbackSocket(uint16_t& port) {
    static WSADATA winsock;
    static int started = WSAStartup(MAKEWORD(2, 2), &winsock);
    (void)started;
    SOCKET bound = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(bound, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(bound, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return bound;
}

}  // namespace

ScriptServer::ScriptServer(std::vector<ServerPiece> reply, Ending ending) : reply_(std::move(reply)), ending_(ending) {
    SOCKET listener = BoundLoopbackSocket(port_);
    listen(listener, 8);
    listener_ = listener;
    thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
    stop_ = true;
    thread_.join();
    closesocket(listener_);
}

std::vector<std::string> ScriptServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<ServerPiece> ScriptServer::InPieces(const std::string& reply, size_t size, DWORD pauseMs) {
    std::vector<ServerPiece> pieces;
    for (size_t at = 0; at < reply.size(); at += size) pieces.push_back({reply.substr(at, size), pauseMs});
    return pieces;
}

void ScriptServer::Run() {
    while (!stop_) {
        if (!WaitReadable(listener_, 50)) continue;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        connections_++;
        Serve(client);
        closesocket(client);
    }
}

void ScriptServer::Serve(uintptr_t client) {
    BOOL noDelay = TRUE;  // pieces leave as they are written
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    std::string request;
    char chunk[4096];
    while (!stop_ && !RequestComplete(request) && WaitReadable(client, kRequestSilenceMs)) {
        int got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        request.append(chunk, got);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    for (const ServerPiece& piece : reply_) {
        if (stop_) return;
        if (!piece.bytes.empty()) send(client, piece.bytes.data(), static_cast<int>(piece.bytes.size()), 0);
        if (piece.pauseAfterMs) Sleep(piece.pauseAfterMs);
    }
    if (ending_ == kStall) {
        // Hold the connection until the client gives up or the test ends.
        for (DWORD waited = 0; !stop_ && waited < kStallLimitMs; waited += 50) {
            if (WaitReadable(client, 50) && recv(client, chunk, sizeof chunk, 0) <= 0) break;
        }
    }
}

uint16_t RefusingPort() {
    uint16_t port = 0;
    closesocket(BoundLoopbackSocket(port));  // bound once, never listened on: connections are refused
    return port;
}
