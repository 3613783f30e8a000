#include "temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string HostPath(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    std::string host = path;
    for (char& c : host) {
        if (c == '\\') c = '/';
    }
    return host;
#endif
}

namespace {

std::string PlatformPath(const fs::path& path) {
    std::string text = path.string();
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    return text;
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(ticks % 1000000007) + "-" + std::to_string(counter++);
}

}  // namespace

TempDir::TempDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / "tidewell-tests" / (name + "-" + UniqueSuffix());
    fs::create_directories(dir);
    path_ = PlatformPath(dir);
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
