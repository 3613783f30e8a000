// A scripted HTTP server on loopback: reads each request, answers with chosen
// pieces and pauses, then closes or stalls. Its own thread; every wait bounded.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ServerPiece {
    std::string bytes;
    DWORD pauseAfterMs = 0;
};

class ScriptServer {
public:
    enum Ending { kClose, kStall };

    // Serves the same reply to every connection.
    explicit ScriptServer(std::vector<ServerPiece> reply, Ending ending = kClose);
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    uint16_t port() const { return port_; }
    // The bytes of each request received so far, in order.
    std::vector<std::string> Requests() const;
    int Connections() const { return connections_; }

    // A reply in pieces of the given size, each followed by the pause.
    static std::vector<ServerPiece> InPieces(const std::string& reply, size_t size, DWORD pauseMs);

private:
    void Run();
    void Serve(uintptr_t client);

    std::vector<ServerPiece> reply_;
    Ending ending_;
    uintptr_t listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A loopback port that nothing listens on: a connection to it is refused.
uint16_t RefusingPort();
