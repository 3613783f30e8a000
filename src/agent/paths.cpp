#include "agent/paths.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/strutil.h"
#include "shared/names.h"

namespace {

bool Store(const std::string& path, char* out, size_t size) {
    if (path.size() >= size) return false;
    memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

bool ForwardingGlancerPath(const char* modulePath, char* out, size_t size) {
    std::string upper(modulePath);
    StrToUpper(&upper[0]);
    size_t at = upper.find("ENGINE.EXE");
    if (at == std::string::npos) return false;
    return Store(upper.substr(0, at) + "GLANCER.EXE", out, size);
}

bool InstallGlancerPath(const char* installDir, char* out, size_t size) {
    return Store(std::string(installDir) + "\\" + kGlancerProgram, out, size);
}

bool RepairInstallerPath(const char* modulePath, char* out, size_t size) {
    std::string path(modulePath);
    size_t slash = path.rfind('\\');
    path.erase(slash == std::string::npos ? 0 : slash + 1);
    return Store(path + kInstallerProgram, out, size);
}
