// The local news service (with_news_service.sh) as a test sees it, and the
// fixture of the tests that run real agents beside it.
#pragma once

#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "agent_process_win.h"
#include "trace_capture_win.h"

struct ServiceRequest {
    double time;
    std::string path;
    std::string fault;
};

class NewsService {
public:
    // A feed as newsd reads it (JSON), under feeds\<name>.json.
    void AddFeed(const std::string& name, const std::string& json) const {
        std::ofstream(content_ + "\\feeds\\" + name + ".json", std::ios::binary) << json;
    }

    // Every request fails that way from now on (see newsd); "" heals the service.
    void SetFault(const std::string& kind) const {
        if (kind.empty())
            DeleteFileA((content_ + "\\fault").c_str());
        else
            std::ofstream(content_ + "\\fault", std::ios::binary) << kind;
    }

    // The GET and POST requests whose path starts with prefix, and those usage
    // reports' bodies. Agents of other tests may report here too: count only your own.
    std::vector<ServiceRequest> Requests(const std::string& prefix = "",
                                         std::vector<std::string>* bodies = nullptr) const {
        std::vector<ServiceRequest> requests;
        std::ifstream log(log_);
        for (std::string line; std::getline(log, line);) {
            std::istringstream fields(line);
            ServiceRequest request;
            std::string client, method, status, length, word;
            fields >> request.time >> client >> method;
            bool wanted = (client == "report" ? method : (fields >> request.path, request.path)).rfind(prefix, 0) == 0;
            if (client == "report" && wanted && bodies) bodies->push_back(line.substr(line.find(" body ") + 6));
            if (wanted && fields >> status && (method == "GET" || method == "POST")) {
                if (fields >> length >> word && word == "fault") fields >> request.fault;
                requests.push_back(request);
            }
        }
        return requests;
    }
    size_t Count(const std::string& prefix) const { return Requests(prefix).size(); }

    // The body the news port answers to GET path, within 10 s.
    static std::string Fetch(const std::string& path) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        DWORD timeoutMs = 10000;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(8642);
        address.sin_addr.s_addr = inet_addr(Host().c_str());
        std::string response;
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
            send(s, request.data(), static_cast<int>(request.size()), 0);
            char buffer[4096];
            for (int got; (got = recv(s, buffer, sizeof buffer, 0)) > 0;) response.append(buffer, got);
        }
        closesocket(s);
        WSACleanup();
        size_t end = response.find("\r\n\r\n");
        return end == std::string::npos ? response : response.substr(end + 4);
    }

    static std::string Env(const char* variable) { return getenv(variable) ? getenv(variable) : ""; }
    static std::string Host() {
        std::string host = Env("TIDEWELL_TEST_SERVICE_HOST");
        return host.empty() ? "127.0.0.1" : host;
    }
    const std::string content_ = Env("TIDEWELL_TEST_SERVICE_CONTENT");
    const std::string log_ = Env("TIDEWELL_TEST_SERVICE_LOG");
};

// The sample ads of newsd's content; ad n shows kAdNames[n % 3].
constexpr const char* kAdNames[] = {"ferry", "chandlery", "fishmarket"};

// A database for tests that run every job against the service: feed topics
// feedName(1..feeds), due again a second after each failed try, the quote
// topic and `ads` ads still to fetch. A negative pace runs every job on every tick.
inline std::string JobsDatabase(std::string (*feedName)(int), int feeds, int ads, const std::string& account) {
    const std::string service = "http://" + NewsService::Host();
    std::string topics, adList;
    for (int n = 1; n <= feeds; n++) {
        topics += R"({"Title": "News / )" + feedName(n) + R"(", "dwInterval": 1, "ConfigUrl": ")" + service +
                  ":8642/feeds/" + feedName(n) + R"(.twl"},)";
    }
    for (int n = 1; n <= ads; n++) {
        adList += std::string(n > 1 ? "," : "") + R"({"ridMsg": )" + std::to_string(n) + R"(, "Title": ")" + service +
                  ":8642/ads/" + kAdNames[n % 3] + R"(C.bmp"})";
    }
    return R"({"header": {"Pace": -5, "AccountId": ")" + account + R"("}, "topics": [)" + topics +
           R"({"dwType": 3, "Title": "Stocks / Quotes", "ConfigUrl": ")" + service +
           R"(:8643/d/quotes.csv?s=TIDE&f=sl1d1t1c1ohgv&e=.csv",
               "messages": [{"ridMsg": 1, "Title": "TIDE;0;0"}]},
              {"dwType": 4, "Title": "AdStream", "tmLastUpdate": )" +
           std::to_string(time(nullptr)) + R"(, "messages": [)" + adList + "]}]}";  // just asked
}

// That database, and settings that keep ten messages a topic.
inline bool PrepareJobsFolder(const InstallFolder& folder, std::string (*feedName)(int), int feeds, int ads,
                              const std::string& account) {
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    return folder.MakeDatabase(JobsDatabase(feedName, feeds, ads, account)) == 0;
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(service_.content_.empty()) << "run this through with_news_service.sh";
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    }
    void TearDown() override {
        service_.SetFault("");
        if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
    }

    NewsService service_;
    TraceCapture trace_;
};
