// The socket and the HTTP client on loopback, against scripted servers and
// against Python's http.server and tinyproxy (started by http_test.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "net/http_file_win.h"
#include "os_override.h"
#include "process_win.h"
#include "script_server_win.h"
#include "shared/deployment.h"
#include "temp_dir.h"
#include "test_window_win.h"

namespace {

constexpr DWORD kNetTimeoutMs = 15000;

class HttpTest : public ::testing::Test {
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

// Notes each notification in order: "connected", "[header line]", "<body
// chunk>", "complete STATUS LENGTH BODYBYTES" and what was wrong by then.
class RecordingHttp : public CHttp {
public:
    explicit RecordingHttp(HWND ownerWindow) : CHttp(ownerWindow, 0, 1000, nullptr) {}

    void OnHeader(const char* line) override { log += "[" + std::string(line) + "]"; }
    void OnData(const char* data, int length) override {
        log += "<" + std::string(data, length) + ">";
        body.append(data, length);
    }
    void OnConnected(BOOL success) override { log += success ? "connected" : "not connected"; }
    void OnComplete() override {
        log += "complete " + std::to_string(iStatusCode) + " " + std::to_string(iContentLength) + " " +
               std::to_string(iBodyBytes) + (iHttpState == HTTPSTATE_IDLE ? "" : " busy");
        if (timedOut) log += " timed out";
        if (iFault) log += " fault " + std::to_string(iFault);
        completions++;
    }

    // Starts a request afresh and waits until it completed or failed to connect.
    bool Run(const std::function<int()>& start) {
        log.clear();
        body.clear();
        completions = writes = 0;
        return start() && WaitFor([&] { return completions > 0 || log == "not connected"; }, kNetTimeoutMs);
    }
    bool GetFrom(const ScriptServer& server, const char* path = "/feed.twl") {
        return Run([&] { return Get("127.0.0.1", path, server.port(), 0); });
    }

    std::string log, body;
    int completions = 0;
    int writes = 0;
};

// Completions of every download's own handler, also of those already destroyed.
int gFileCompletions = 0;

// A download that notes the header lines, the source header's end, the body's writes and a failed one
// ("end 999 502 write fault 9").
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
        gFileCompletions++;
        if (Base::writeFailed) steps += " write fault " + std::to_string(Base::iFault);
    }

    std::vector<std::string> headers;
    std::string steps;
};

// Downloads 127.0.0.1/path into a new file, through the proxy unless its port
// is 0: "steps|the file's bytes"; lines gets the header lines seen.
template <typename Base>
std::string Download(HWND owner, const char* path, int port, int proxyPort, std::vector<std::string>* lines = nullptr) {
    TempDir dir("httpfile");
    WatchedFile<Base> download(owner);
    if (proxyPort) download.SetProxy("127.0.0.1", proxyPort);
    int before = gFileCompletions;
    EXPECT_EQ(1, download.Get("127.0.0.1", path, port, dir.File("file").c_str(), 0));
    EXPECT_TRUE(WaitFor([&] { return gFileCompletions > before; }, kNetTimeoutMs));
    EXPECT_EQ(nullptr, download.file);  // closed when complete
    if (lines) *lines = download.headers;
    return download.steps + "|" + dir.Read("file");
}

// The file holds exactly the source header (each line the client saw, in the
// file's comment syntax) and the feed.
template <typename Base>
void ExpectDownload(HWND owner, const char* start, const char* linePrefix, const char* end, bool proxied) {
    const std::string feed = "[General]\r\nConfigVersion=1\r\n\r\n[Subscription1]\r\nTitle=News / World\r\n";
    auto port = [](const char* name) { return getenv(name) ? atoi(getenv(name)) : 0; };
    int webPort = port("TIDEWELL_TEST_WEB_PORT"), proxyPort = port("TIDEWELL_TEST_PROXY_PORT");
    ASSERT_TRUE(webPort && proxyPort) << "run this through http_test.sh";
    std::ofstream("Z:" + std::string(getenv("TIDEWELL_TEST_WEB_ROOT")) + "/feed.twl", std::ios::binary) << feed;
    std::vector<std::string> lines;
    std::string file = Download<Base>(owner, "/feed.twl", webPort, proxied ? proxyPort : 0, &lines);
    std::string expected = "end " + std::to_string(feed.size()) + "|" + start +
                           "http://127.0.0.1:" + std::to_string(webPort) + "/feed.twl\r\n";
    for (const std::string& line : lines) expected += linePrefix + line + "\r\n";
    EXPECT_EQ(expected + end + feed, file);
    EXPECT_EQ(proxied, file.find("tinyproxy") != std::string::npos) << file;  // the proxy leaves its mark
}

}  // namespace

// A GET differs only in its method and path, which the jobs' requests show
// (job_rules_test, also through a proxy) and the native request table.
TEST_F(HttpTest, RequestsLeaveByteForByte) {
    const std::string fixed = std::string("Accept: */*\r\nUser-Agent: Tidewell 1.1.1043.1\r\nFrom: ") + kFromAddress +
                              "\r\nReferer: " + kRefererUrl + "\r\n";
    const std::string body(450, 'b');  // longer than one write: it leaves in pieces, one per event
    const std::string post = "POST /Bin/Update.dll?TwlUpdate HTTP/1.0\r\n" + fixed + "Content-length: 450\r\n\r\n";
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n"}});
    RecordingHttp http(owner_);
    ASSERT_TRUE(
        http.Run([&] { return http.Post("127.0.0.1", "/Bin/Update.dll?TwlUpdate", body.c_str(), server.port(), 0); }));
    EXPECT_EQ(std::vector<std::string>{post + body}, server.Requests());
}

// Line ends and splits: the native header table; here what each ending makes of the transfer. A connection to an
// address or a name fails once, without a completion.
TEST_F(HttpTest, WholeShortCutOverlongAndFailedTransfers) {
    const std::string ok = "HTTP/1.0 200 OK\r\nContent-Length: 11\r\nServer: script\r\n\r\nhello world";
    const std::string okLog =
        "connected[HTTP/1.0 200 OK][Content-Length: 11][Server: script]<hello world>complete 200 11 11";
    const std::string failed = "CHttp::OnConnect(): Connect Failed!";
    const int refused = RefusingPort();
    struct {
        std::vector<ServerPiece> reply;  // none: the port refuses
        std::string log;
        std::string errors;
        bool closedByPeer;
        ScriptServer::Ending ending = ScriptServer::kClose;
        const char* host = "127.0.0.1";
    } cases[] = {
        {{{ok}}, okLog, "", true},
        {{{"HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\nshort"}},
         "connected[HTTP/1.0 200 OK][Content-Length: 50]<short>complete 200 50 5 fault 8",
         "CHttp::OnDisconnect() Error: Content-Length invalid",
         true},
        // Closed before the empty line: complete without a body, and cut short.
        {{{"HTTP/1.0 301 Moved\r\nLocation: x\r\n"}},
         "connected[HTTP/1.0 301 Moved]complete 301 0 0 fault 4",
         "CHttp::OnDisconnect(): Error - response not whole (4)",
         true},
        // A line longer than the buffer from a server that never closes: the client ends it.
        {{{"HTTP/1.0 200 OK\r\n" + std::string(2500, 'x')}},
         "connected[HTTP/1.0 200 OK]complete 200 0 0 fault 3",
         "CHttp::OnRead(): Receive header buffer overflow",
         false,
         ScriptServer::kStall},
        {{}, "not connected", failed, false},
        {{}, "not connected", failed, false, ScriptServer::kClose, "no-such-host.invalid"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.host + (" " + c.log));
        TraceRecorder trace;
        ScriptServer server(c.reply, c.ending);
        RecordingHttp http(owner_);
        ASSERT_TRUE(http.Run([&] { return http.Get(c.host, "/", c.reply.empty() ? refused : server.port(), 7); }));
        PumpMessages(300);
        EXPECT_EQ(c.log, http.log);
        EXPECT_TRUE(c.errors.empty() ? !trace.Contains("Error") && !trace.Contains(failed) : trace.Contains(c.errors))
            << c.errors;
        EXPECT_EQ(std::make_tuple(HTTPSTATE_IDLE, TCPSTATE_IDLE, INVALID_SOCKET, 7u, c.closedByPeer),
                  std::make_tuple(http.iHttpState, http.state, http.socket, http.userValue, http.closedByPeer != 0));
    }
}

TEST_F(HttpTest, BusyObjectsEmptyHostsAndStaleEventsLeaveTheRequestAloneAndCloseDrainsIt) {
    const std::string late(5000, 'd');
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n", 300}, {late}}, ScriptServer::kStall);
    RecordingHttp http(owner_);
    TraceRecorder trace;
    EXPECT_EQ(0, http.Get("", "/", server.port(), 0));
    EXPECT_EQ(0, http.Get(nullptr, "/", server.port(), 0));
    EXPECT_TRUE(trace.Contains("CHttp::Get(): Error - NULL host name"));
    ASSERT_EQ(1, http.Get("127.0.0.1", "/first", server.port(), 0));
    ASSERT_TRUE(WaitFor([&] { return http.iHttpState == HTTPSTATE_BODY; }, kNetTimeoutMs));
    EXPECT_EQ(0, http.Get("127.0.0.1", "/second", server.port(), 0));
    // No message is handled now: the rest of the body waits in the socket.
    for (int i = 0; i < 100 && http.BytesAvailable() < late.size(); i++) Sleep(20);
    ASSERT_GT(http.BytesAvailable(), 0u);
    SOCKET stale = http.socket + 4;
    SendMessageA(http.window, kSocketEventMessage, stale, WSAMAKESELECTREPLY(FD_CLOSE, 0));
    SendMessageA(http.window, kSocketEventMessage, stale, WSAMAKESELECTREPLY(FD_READ, 0));
    SendMessageA(http.window, kSocketEventMessage, stale, WSAMAKESELECTREPLY(FD_CONNECT, WSAECONNREFUSED));
    EXPECT_EQ(std::make_tuple(std::string("connected[HTTP/1.0 200 OK]"), TCPSTATE_CONNECTED, 0),
              std::make_tuple(http.log, http.state, static_cast<int>(http.closedByPeer)));
    http.Close();
    EXPECT_EQ(std::make_tuple(late, 1, INVALID_SOCKET, 1),
              std::make_tuple(http.body, http.completions, http.socket, server.Connections()));
}

static_assert(kConnectionDeadlineMs + kWatchPeriodMs <= 120000, "every connection ends within 120 s");

// The watch reads only the monotonic clock: calendar jumps change nothing. A
// silent server is left after a minute, a trickling one at the deadline, one
// sending past the body limit at once; a body of exactly the limit arrives whole.
TEST_F(HttpTest, SilentTricklingAndEndlessAnswersEndAsFailures) {
    OsOverride restore;
    static uint64_t jump;
    static int32_t calendar;
    jump = 0;
    gOs.Monotonic = [] { return static_cast<uint64_t>(GetTickCount64()) + jump; };
    gOs.Now = [] { return calendar; };
    ScriptServer silent({}, ScriptServer::kStall);
    RecordingHttp http(owner_);
    ASSERT_EQ(1, http.Get("127.0.0.1", "/stall", silent.port(), 0));
    ASSERT_TRUE(WaitFor([&] { return http.iHttpState == HTTPSTATE_HEADER; }, kNetTimeoutMs));
    for (int32_t now : {static_cast<int32_t>(time(nullptr)) - 365 * 86400, INT32_MIN + 10, INT32_MAX}) {
        calendar = now;
        NetworkWatchTick();
    }
    EXPECT_EQ(HTTPSTATE_HEADER, http.iHttpState);
    jump = (kStalledConnectedSeconds + 2) * 1000;
    NetworkWatchTick();
    EXPECT_EQ("connectedcomplete 0 0 0 timed out fault 6", http.log);
    EXPECT_EQ(TCPSTATE_IDLE, http.state);

    jump = 0;
    ScriptServer trickle(ScriptServer::InPieces("HTTP/1.0 200 OK\r\n\r\n" + std::string(400, 't'), 1, 50),
                         ScriptServer::kStall);
    http.log.clear();
    ASSERT_EQ(1, http.Get("127.0.0.1", "/trickle", trickle.port(), 0));
    ASSERT_TRUE(WaitFor([&] { return http.iHttpState == HTTPSTATE_BODY; }, kNetTimeoutMs));
    jump = kConnectionDeadlineMs - 15000;
    PumpMessages(300);  // bytes keep arriving: never stalled
    NetworkWatchTick();
    EXPECT_EQ(HTTPSTATE_BODY, http.iHttpState);
    jump = kConnectionDeadlineMs;
    NetworkWatchTick();
    EXPECT_EQ("connected[HTTP/1.0 200 OK]complete 200 0 " + std::to_string(http.iBodyBytes) + " timed out fault 6",
              http.log);

    const std::string body(2500, 'e');
    ScriptServer endless({{"HTTP/1.0 200 OK\r\n\r\n" + body + "more"}}, ScriptServer::kStall),
        exact({{"HTTP/1.0 200 OK\r\n\r\n" + body}});
    http.iBodyLimit = 2500;
    ASSERT_TRUE(http.GetFrom(endless));
    EXPECT_EQ(1, http.completions);
    EXPECT_EQ(std::make_tuple(HTTPFAULT_TOO_LONG, body.substr(0, 1998)), std::make_tuple(http.iFault, http.body));
    EXPECT_LE(http.iBodyBytes, 2500);  // the piece held back is dropped with the one past the limit
    ASSERT_TRUE(http.GetFrom(exact));
    EXPECT_EQ(std::make_tuple(2500, HTTPFAULT_NONE, body), std::make_tuple(http.iBodyBytes, http.iFault, http.body));
}

// A lookup cannot be cancelled: its answer is written into its buffer later,
// so a connection closed or destroyed meanwhile must not give the buffer
// back to the heap. A stray answer is dropped; socket windows are message-only.
TEST_F(HttpTest, LookupsOutliveTheirConnectionsAndStrayAnswersAreDropped) {
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\nhello"}});
    RecordingHttp closed(owner_);
    ASSERT_EQ(1, closed.Get("localhost", "/", server.port(), 0));
    closed.Close();
    EXPECT_EQ("complete 0 0 0 fault 4", closed.log);
    auto destroyed = std::make_unique<RecordingHttp>(owner_);
    ASSERT_EQ(1, destroyed->Get("localhost", "/", server.port(), 0));
    destroyed.reset();
    // Blocks where the heap would put freed lookup buffers.
    std::vector<std::vector<char>> blocks(8, std::vector<char>(MAXGETHOSTSTRUCT, 'z'));
    ASSERT_TRUE(WaitFor([] { return NetworkLookupsPending() == 0; }, kNetTimeoutMs));
    for (const auto& block : blocks) EXPECT_EQ(std::vector<char>(MAXGETHOSTSTRUCT, 'z'), block);

    TraceRecorder trace;
    ASSERT_TRUE(closed.Run([&] {
        int started = closed.Get("localhost", "/", server.port(), 0);
        SendMessageA(NetworkLookupWindow(), kLookupDoneMessage, 0x4321, WSAMAKEASYNCREPLY(sizeof(hostent), 0));
        SendMessageA(closed.window, kLookupDoneMessage, 0x4321, WSAMAKEASYNCREPLY(0, WSAHOST_NOT_FOUND));
        EXPECT_EQ(TCPSTATE_RESOLVING, closed.state);
        return started;
    }));
    EXPECT_EQ("connected[HTTP/1.0 200 OK]<hello>complete 200 0 5", closed.log);
    EXPECT_TRUE(trace.Contains("CTcp::OnLookupDone(): Warning - no such lookup under way"));

    char className[80] = {};
    GetClassNameA(closed.window, className, sizeof className);
    bool listed = false;
    for (HWND window = nullptr; (window = FindWindowExA(HWND_MESSAGE, window, className, nullptr));) {
        listed = listed || window == closed.window;
    }
    EXPECT_TRUE(listed);
    EXPECT_EQ(nullptr, FindWindowExA(owner_, nullptr, className, nullptr));
}

// Whatever a handler throws is caught and traced; the transfer fails, the program goes on.
TEST_F(HttpTest, ExceptionsFromHandlersEndTheTransferNotTheProgram) {
    struct ThrowingHttp : RecordingHttp {
        using RecordingHttp::RecordingHttp;
        void OnHeader(const char* line) override {
            RecordingHttp::OnHeader(line);
            thrower();
        }
        std::function<void()> thrower;
    };
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[] { throw std::bad_alloc(); }, "CTcp::WindowProc(): Exception - out of memory"},
        {[] { throw "no room"; }, "CTcp::WindowProc(): Exception no room"},
        {[] { throw 42; }, "CTcp::WindowProc(): Unhandled Exception"},
    };
    ScriptServer server({{"HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"}}, ScriptServer::kStall);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        TraceRecorder trace;
        ThrowingHttp http(owner_);
        http.thrower = c.first;
        ASSERT_TRUE(http.GetFrom(server));
        EXPECT_TRUE(trace.Contains(c.second));
        EXPECT_EQ(std::make_tuple(1, HTTPSTATE_IDLE, TCPSTATE_IDLE, false),
                  std::make_tuple(http.completions, http.iHttpState, http.state, http.ArrivedWhole()));
    }
}

// A failed send ends the transfer; an endless writer's event is re-posted only so often.
TEST_F(HttpTest, FailedSendsAndEndlessWritersEndTheTransfer) {
    struct BrokenWriter : RecordingHttp {
        using RecordingHttp::RecordingHttp;
        int OnWrite() override {
            writes++;
            if (!breakSocket) return 1;
            closesocket(socket);  // the connection is gone under the writer
            return CHttp::OnWrite();
        }
        bool breakSocket = true;
    };
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\nnever read"}}, ScriptServer::kStall);
    BrokenWriter http(owner_);
    ASSERT_TRUE(http.GetFrom(server));
    EXPECT_EQ(std::make_tuple(1, HTTPFAULT_SEND, 1), std::make_tuple(http.writes, http.iFault, http.completions));
    http.breakSocket = false;
    ASSERT_TRUE(http.GetFrom(server));
    EXPECT_EQ(std::make_tuple(kMostWritePosts + 1, HTTPFAULT_CUT, 1),
              std::make_tuple(http.writes, http.iFault, http.completions));
}

// A full disk after the first write (999 bytes) ends the transfer, though the server goes on.
TEST_F(HttpTest, AFailedFileWriteEndsTheTransfer) {
    OsOverride restore;
    static decltype(gOs.Write) realWrite;
    static int writesLeft;
    realWrite = gOs.Write;
    writesLeft = 1;
    gOs.Write = [](OsFile* file, const void* data, uint32_t size, uint32_t* written) {
        if (writesLeft-- > 0) return realWrite(file, data, size, written);
        *written = 0;
        return 0;
    };
    const std::string body(2500, 'b');
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n" + body}}, ScriptServer::kStall);
    EXPECT_EQ("end 999 999 write fault " + std::to_string(HTTPFAULT_WRITE) + "|" + body.substr(0, 999),
              Download<CHttpFile>(owner_, "/A0000001.bmp", server.port(), 0));
}

TEST_F(HttpTest, FilesAreEmptiedEvenWhenTheRequestFailsAndClosedWhenDestroyed) {
    TempDir dir("httpfile");
    dir.Write("Config.twl", "the previous subscription file");
    uint16_t refused = RefusingPort();
    {
        WatchedFile<CHttpIniFile> ini(owner_);
        ASSERT_EQ(1, ini.Get("127.0.0.1", "/x", refused, dir.File("Config.twl").c_str(), 0));
        ASSERT_TRUE(WaitFor([&] { return ini.iHttpState == HTTPSTATE_IDLE; }, kNetTimeoutMs));
        EXPECT_NE(nullptr, ini.file);  // a failed connection leaves the file to the destructor
    }
    EXPECT_EQ("; http://127.0.0.1:" + std::to_string(refused) + "/x\r\n", dir.Read("Config.twl"));

    WatchedFile<CHttpIniFile> ini(owner_);
    EXPECT_EQ(0, ini.Get("", "/y", 80, dir.File("Config.twl").c_str(), 0));  // refused at once
    EXPECT_EQ(nullptr, ini.file);
    EXPECT_EQ("; http://:80/y\r\n", dir.Read("Config.twl"));
    EXPECT_EQ(0, ini.Get("h", "/y", 80, dir.File("no\\such\\dir\\f.twl").c_str(), 0));
    // Without a body the source header is never ended.
    ScriptServer empty({{"HTTP/1.0 200 OK\r\n\r\n"}});
    EXPECT_EQ("|<!--\r\nhttp://127.0.0.1:" + std::to_string(empty.port()) + "/e\r\nHTTP/1.0 200 OK\r\n",
              Download<CHttpHtmlFile>(owner_, "/e", empty.port(), 0));

    // Destroyed mid-transfer: closed without the user's handler.
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\npart"}}, ScriptServer::kStall);
    auto slow = std::make_unique<WatchedFile<CHttpIniFile>>(owner_);
    ASSERT_EQ(1, slow->Get("127.0.0.1", "/slow", server.port(), dir.File("slow.twl").c_str(), 0));
    ASSERT_TRUE(WaitFor([&] { return slow->iHttpState == HTTPSTATE_BODY; }, kNetTimeoutMs));
    PumpMessages(200);
    int completionsBefore = gFileCompletions;
    slow.reset();
    EXPECT_EQ(completionsBefore, gFileCompletions);
    HANDLE reopened =
        CreateFileA(dir.File("slow.twl").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, reopened) << "the file is still held open";
    CloseHandle(reopened);
    EXPECT_EQ("; http://127.0.0.1:" + std::to_string(server.port()) + "/slow\r\n; HTTP/1.0 200 OK\r\n\r\npart",
              dir.Read("slow.twl"));
}

TEST_F(HttpTest, RealServersHtmlDownloadDirectAndIniThroughTinyproxy) {
    ExpectDownload<CHttpHtmlFile>(owner_, "<!--\r\n", "", "-->\r\n", false);
    ExpectDownload<CHttpIniFile>(owner_, "; ", "; ", "\r\n", true);
}
