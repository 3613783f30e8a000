// The local news service as a test sees it: the content folder it serves
// feeds from, and its log of the requests it answered (see with_news_service.sh).
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

struct ServiceRequest {
    double time;
    std::string method;
    std::string path;
    int status;
    std::string fault;  // the fault the service answered with, if any
};

class NewsService {
public:
    NewsService() : content_(WinePath("TIDEWELL_TEST_SERVICE_CONTENT")), log_(WinePath("TIDEWELL_TEST_SERVICE_LOG")) {}

    bool available() const { return content_.size() > 2; }

    // A feed as newsd reads it (JSON), under feeds\<name>.json.
    void AddFeed(const std::string& name, const std::string& json) const;

    std::vector<ServiceRequest> Requests() const;
    // The requests whose path starts with prefix.
    std::vector<ServiceRequest> RequestsFor(const std::string& prefix) const;
    // Makes every request fail that way from now on ("stall", "500", "refuse"...;
    // see newsd), or, with an empty kind, lets the service answer normally again.
    void SetFault(const std::string& kind) const;

    // The bodies of the usage reports, in the order they came.
    std::vector<std::string> ReportBodies() const;

private:
    // A Unix path from the environment, as Wine's Z: drive shows it.
    static std::string WinePath(const char* variable);

    std::string content_;
    std::string log_;
};
