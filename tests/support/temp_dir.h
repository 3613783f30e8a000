// A fresh directory for one test, removed when it ends; its path has
// backslashes, as the platform-free code expects.
#pragma once

#include <string>

class TempDir {
public:
    explicit TempDir(const std::string& name);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

private:
    std::string path_;
};

// The host file system's spelling of a path made by TempDir::File.
std::string HostPath(const std::string& path);
