#include "shared/config_data.h"

#include "base/strutil.h"

CConfigData* gConfig = nullptr;
LocalDirs gDirs;

std::string DataDirPath(const std::string& name) {
    char dir[sizeof gDirs.DataDir];
    StrCopyField(dir, sizeof dir, gDirs.DataDir, sizeof gDirs.DataDir);
    return std::string(dir) + "\\" + name;
}
