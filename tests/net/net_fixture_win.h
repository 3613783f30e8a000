// The socket layer started once for the test program, an owner window for
// the hidden socket windows, and an HTTP client that records what it is told.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_win.h"
#include "process_win.h"
#include "script_server_win.h"
#include "test_window_win.h"

// Bounds every wait of a network test.
constexpr DWORD kNetTimeoutMs = 15000;

class NetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        owner_ = MakeTestWindow("Tidewell net test owner", WS_POPUP, 0, 0, 10, 10);
        ASSERT_EQ(1, NetworkInit(GetModuleHandleA(nullptr), 1));
    }
    static void TearDownTestSuite() {
        NetworkTerm();
        DestroyWindow(owner_);
    }
    static HWND owner_;
};

// An HTTP client that notes each notification in order.
class RecordingHttp : public CHttp {
public:
    explicit RecordingHttp(HWND ownerWindow) : CHttp(ownerWindow, 0, 1000, nullptr) {}

    void OnHeader(const char* line) override { events.push_back("header " + std::string(line)); }
    void OnData(const char* data, int length) override {
        events.push_back("data " + std::to_string(length));
        body.append(data, length);
    }
    void OnConnected(BOOL success) override { events.push_back(success ? "connected" : "not connected"); }
    int OnWrite() override {
        writes++;
        return CHttp::OnWrite();
    }
    void OnComplete() override {
        events.push_back("complete");
        completions++;
        stateAtComplete = iHttpState;
        timedOutAtComplete = timedOut;
    }

    // Waits until the response is complete or the connection failed.
    bool WaitDone() {
        return WaitFor([&] { return completions > 0 || (!events.empty() && events.back() == "not connected"); },
                       kNetTimeoutMs);
    }
    // Starts a GET to the scripted server and waits for its end.
    bool GetFrom(const ScriptServer& server, const char* path = "/feed.twl") {
        events.clear();
        body.clear();
        completions = 0;
        return Get("127.0.0.1", path, server.port(), 0) && WaitDone();
    }
    int Count(const std::string& prefix) const {
        int count = 0;
        for (const std::string& event : events) count += event.compare(0, prefix.size(), prefix) == 0;
        return count;
    }

    std::vector<std::string> events;
    std::string body;
    int completions = 0;
    int writes = 0;
    int stateAtComplete = -1;
    BOOL timedOutAtComplete = FALSE;
};
