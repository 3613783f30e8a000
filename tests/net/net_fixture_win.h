// The socket layer started once for the test program, an owner window for
// the hidden socket windows, and HTTP clients that note what they are told.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "net/http_file_win.h"
#include "process_win.h"
#include "script_server_win.h"
#include "temp_dir.h"
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
    static inline HWND owner_ = nullptr;
};

// An HTTP client that notes each notification in order: "connected" or "not
// connected", "[line]" for each header line, "<bytes>" for each body chunk,
// "complete".
class RecordingHttp : public CHttp {
public:
    explicit RecordingHttp(HWND ownerWindow) : CHttp(ownerWindow, 0, 1000, nullptr) {}

    void OnHeader(const char* line) override { log += "[" + std::string(line) + "]"; }
    void OnData(const char* data, int length) override {
        log += "<" + std::string(data, length) + ">";
        body.append(data, length);
    }
    void OnConnected(BOOL success) override { log += success ? "connected" : "not connected"; }
    int OnWrite() override {
        writes++;
        return CHttp::OnWrite();
    }
    void OnComplete() override {
        log += "complete";
        completions++;
        stateAtComplete = iHttpState;
        timedOutAtComplete = timedOut;
    }

    // Forgets what was noted, starts a request and waits until the response
    // is complete or the connection failed.
    bool Run(const std::function<int()>& start) {
        log.clear();
        body.clear();
        completions = writes = 0;
        return start() && WaitDone();
    }
    bool WaitDone() {
        return WaitFor([&] { return completions > 0 || log == "not connected"; }, kNetTimeoutMs);
    }
    bool GetFrom(const ScriptServer& server, const char* path = "/feed.twl") {
        return Run([&] { return Get("127.0.0.1", path, server.port(), 0); });
    }

    std::string log, body;
    int completions = 0;
    int writes = 0;
    int stateAtComplete = -1;
    BOOL timedOutAtComplete = FALSE;
};

// Completions of every download's own handler, also of those already destroyed.
inline int gFileCompletions = 0;

// A download that notes the header lines, and the end of the source header
// and the body's writes in order ("end 999 999 502").
template <typename Base>
class WatchedFile : public Base {
public:
    explicit WatchedFile(HWND ownerWindow) : Base(ownerWindow, WM_USER + 1) {}
    void OnHeader(const char* line) override {
        headers.push_back(line);
        Base::OnHeader(line);
    }
    void WriteHeaderEnd() override {
        steps += "end";
        Base::WriteHeaderEnd();
    }
    void OnData(const char* data, int length) override {
        Base::OnData(data, length);
        steps += " " + std::to_string(length);
    }
    void OnFileComplete() override {
        complete++;
        gFileCompletions++;
    }
    // Downloads into dir\name and returns what the file holds afterwards.
    std::string Fetch(const TempDir& dir, const char* name, const char* host, const char* path, int targetPort) {
        EXPECT_EQ(1, this->Get(host, path, targetPort, dir.File(name).c_str(), 0));
        EXPECT_TRUE(WaitFor([&] { return complete > 0; }, kNetTimeoutMs));
        return dir.Read(name);
    }

    std::vector<std::string> headers;
    std::string steps;
    int complete = 0;
};
