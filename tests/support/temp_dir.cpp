#include "temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string HostPath(const std::string& path) {
    std::string host = path;
#ifndef _WIN32
    std::replace(host.begin(), host.end(), '\\', '/');
#endif
    return host;
}

namespace {

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(ticks % 1000000007) + "-" + std::to_string(counter++);
}

}  // namespace

TempDir::TempDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / "tidewell-tests" / (name + "-" + UniqueSuffix());
    fs::create_directories(dir);
    path_ = dir.string();
    std::replace(path_.begin(), path_.end(), '/', '\\');
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(HostPath(path_), ignored);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(HostPath(File(name)), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string TempDir::Read(const std::string& name) const {
    std::ifstream in(HostPath(File(name)), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool TempDir::Exists(const std::string& name) const {
    return fs::exists(HostPath(File(name)));
}
