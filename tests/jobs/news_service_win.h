// The local news service as a test sees it (see with_news_service.sh): the
// content folder it serves feeds from and its log of the requests it
// answered; and the fixture of the tests that run real agents beside it.
#pragma once

#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "agent_process_win.h"
#include "trace_capture_win.h"

struct ServiceRequest {
    double time;
    std::string path;
    std::string fault;  // the fault the service answered with, if any
};

class NewsService {
public:
    // A feed as newsd reads it (JSON), under feeds\<name>.json.
    void AddFeed(const std::string& name, const std::string& json) const {
        std::ofstream(content_ + "\\feeds\\" + name + ".json", std::ios::binary) << json;
    }

    // Makes every request fail that way from now on ("stall", "500", "refuse"...;
    // see newsd), or, with an empty kind, lets the service answer normally again.
    void SetFault(const std::string& kind) const {
        if (kind.empty()) DeleteFileA((content_ + "\\fault").c_str());
        if (!kind.empty()) std::ofstream(content_ + "\\fault", std::ios::binary) << kind;
    }

    // The GET and POST requests whose path starts with prefix, in order; and
    // those usage reports' bodies (their log lines read "report PATH body BODY").
    // Agents of other tests on this machine may send their usage reports here
    // too: a test counts only the paths of its own agents.
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

    // The body the news port answers to GET path (the whole response when it
    // has no header end), fetched with a blocking socket bounded to 10 s.
    static std::string Fetch(const std::string& path) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        DWORD timeoutMs = 10000;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(8642);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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

    // Where with_news_service.sh put them.
    static std::string Env(const char* variable) { return getenv(variable) ? getenv(variable) : ""; }
    const std::string content_ = Env("TIDEWELL_TEST_SERVICE_CONTENT");
    const std::string log_ = Env("TIDEWELL_TEST_SERVICE_LOG");
};

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
