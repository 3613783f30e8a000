#include "news_service_win.h"

#include <windows.h>

#include <fstream>
#include <sstream>

std::string NewsService::WinePath(const char* variable) {
    const char* value = getenv(variable);
    std::string path = std::string("Z:") + (value ? value : "");
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

void NewsService::AddFeed(const std::string& name, const std::string& json) const {
    std::ofstream(content_ + "\\feeds\\" + name + ".json", std::ios::binary) << json;
}

void NewsService::SetFault(const std::string& kind) const {
    std::string path = content_ + "\\fault";
    if (kind.empty()) {
        DeleteFileA(path.c_str());
        return;
    }
    std::ofstream(path, std::ios::binary) << kind;
}

std::vector<ServiceRequest> NewsService::Requests() const {
    std::vector<ServiceRequest> requests;
    std::ifstream log(log_);
    std::string line;
    while (std::getline(log, line)) {
        std::istringstream fields(line);
        ServiceRequest request;
        std::string client;
        if (fields >> request.time >> client >> request.method >> request.path >> request.status) {
            std::string word, length;
            if (fields >> length >> word && word == "fault") fields >> request.fault;
            if (request.method == "GET" || request.method == "POST") requests.push_back(request);
        }
    }
    return requests;
}

std::vector<ServiceRequest> NewsService::RequestsFor(const std::string& prefix) const {
    std::vector<ServiceRequest> matching;
    for (const ServiceRequest& request : Requests()) {
        if (request.path.compare(0, prefix.size(), prefix) == 0) matching.push_back(request);
    }
    return matching;
}

std::vector<std::string> NewsService::ReportBodies() const {
    std::vector<std::string> bodies;
    std::ifstream log(log_);
    std::string line;
    const std::string separator = " body ";
    while (std::getline(log, line)) {
        size_t body = line.find(separator);
        if (line.find(" report ") != std::string::npos && body != std::string::npos)
            bodies.push_back(line.substr(body + separator.size()));
    }
    return bodies;
}
