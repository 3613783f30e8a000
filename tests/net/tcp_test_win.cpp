// The asynchronous socket: connecting, failing, stale events, the drain at
// close, and the watch that closes stalled connections.
#include <gtest/gtest.h>

#include "base/os.h"
#include "net_fixture_win.h"
#include "os_override.h"

namespace {

// Counts the base notifications.
class CountingTcp : public CTcp {
public:
    explicit CountingTcp(HWND ownerWindow) : CTcp(ownerWindow, 0) {}
    void OnConnect(BOOL success) override { (success ? connected : failed)++; }
    void OnDisconnect() override { disconnected++; }
    int OnRead() override {
        reads++;
        char buffer[100];
        int got = Recv(buffer, sizeof buffer);
        received.append(buffer, got > 0 ? got : 0);
        return got > 0;
    }
    int connected = 0, failed = 0, disconnected = 0, reads = 0;
    std::string received;
};

using TcpTest = NetTest;

}  // namespace

TEST_F(TcpTest, AddressesConnectAtOnceAndNamesAfterALookup) {
    ScriptServer server({{"hello"}});
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        bool dotted = host[0] == '1';
        CountingTcp tcp(owner_);
        ASSERT_EQ(1, tcp.Connect(host, server.port(), 7));
        EXPECT_EQ(dotted ? TCPSTATE_CONNECTING : TCPSTATE_RESOLVING, tcp.state);
        EXPECT_EQ(dotted, tcp.lookupHandle == nullptr);
        EXPECT_EQ(0, tcp.Connect("127.0.0.1", server.port(), 7));  // busy: refused, nothing disturbed
        ASSERT_TRUE(WaitFor([&] { return tcp.connected == 1; }, kNetTimeoutMs));
        tcp.Send("x\r\n\r\n", 5);
        ASSERT_TRUE(WaitFor([&] { return tcp.disconnected == 1; }, kNetTimeoutMs));
        EXPECT_EQ("hello", tcp.received);
        EXPECT_TRUE(tcp.closedByPeer);
        EXPECT_EQ(TCPSTATE_IDLE, tcp.state);
        EXPECT_EQ(7u, tcp.userValue);
    }
}

TEST_F(TcpTest, RefusedConnectionAndUnknownHostFailOnceWithoutDisconnect) {
    for (const char* host : {"127.0.0.1", "no-such-host.invalid"}) {
        SCOPED_TRACE(host);
        CountingTcp tcp(owner_);
        ASSERT_EQ(1, tcp.Connect(host, RefusingPort(), 0));
        ASSERT_TRUE(WaitFor([&] { return tcp.failed > 0; }, kNetTimeoutMs));
        PumpMessages(300);
        EXPECT_EQ(1, tcp.failed);
        EXPECT_EQ(0, tcp.connected + tcp.disconnected);
        EXPECT_EQ(TCPSTATE_IDLE, tcp.state);
        EXPECT_EQ(INVALID_SOCKET, tcp.socket);
    }
}

TEST_F(TcpTest, StaleEventsChangeNothingAndCloseHandsWaitingDataToOnReadFirst) {
    ScriptServer server({{std::string(5000, 'd')}}, ScriptServer::kStall);
    CountingTcp tcp(owner_);
    ASSERT_EQ(1, tcp.Connect("127.0.0.1", server.port(), 0));
    ASSERT_TRUE(WaitFor([&] { return tcp.connected == 1; }, kNetTimeoutMs));
    tcp.Send("x\r\n\r\n", 5);
    // From here no message is handled: the data waits in the socket.
    for (int i = 0; i < 100 && tcp.BytesAvailable() < 5000; i++) Sleep(20);
    ASSERT_GT(tcp.BytesAvailable(), 0u);
    SOCKET stale = tcp.socket + 4;
    SendMessageA(tcp.window, kSocketEventMessage, stale, WSAMAKESELECTREPLY(FD_CLOSE, 0));
    SendMessageA(tcp.window, kSocketEventMessage, stale, WSAMAKESELECTREPLY(FD_READ, 0));
    SendMessageA(tcp.window, kSocketEventMessage, stale, WSAMAKESELECTREPLY(FD_CONNECT, WSAECONNREFUSED));
    EXPECT_EQ(TCPSTATE_CONNECTED, tcp.state);
    EXPECT_FALSE(tcp.closedByPeer);
    EXPECT_EQ(0, tcp.reads + tcp.failed);
    tcp.Close();
    EXPECT_EQ(std::string(5000, 'd'), tcp.received);
    EXPECT_EQ(1, tcp.disconnected);
    EXPECT_EQ(INVALID_SOCKET, tcp.socket);
}

TEST_F(TcpTest, StalledConnectionIsClosedByTheWatch) {
    OsOverride restore;
    static int32_t offset;
    offset = 0;
    gOs.Now = [] { return static_cast<int32_t>(time(nullptr)) + offset; };
    ScriptServer server({}, ScriptServer::kStall);
    RecordingHttp http(owner_);
    ASSERT_EQ(1, http.Get("127.0.0.1", "/stall", server.port(), 0));
    ASSERT_TRUE(WaitFor([&] { return http.iHttpState == HTTPSTATE_HEADER; }, kNetTimeoutMs));
    NetworkWatchTick();  // not long enough yet
    EXPECT_EQ(HTTPSTATE_HEADER, http.iHttpState);
    offset = kStalledConnectedSeconds + 2;
    NetworkWatchTick();
    EXPECT_EQ(1, http.completions);
    EXPECT_TRUE(http.timedOutAtComplete);  // the handlers already see why it ended
    EXPECT_EQ(HTTPSTATE_IDLE, http.iHttpState);
    EXPECT_EQ(TCPSTATE_IDLE, http.state);

    ScriptServer healthy({{"HTTP/1.0 200 OK\r\n\r\nback"}});
    ASSERT_TRUE(http.GetFrom(healthy));  // and the object works again
    EXPECT_EQ("back", http.body);
    EXPECT_FALSE(http.timedOut);
}
