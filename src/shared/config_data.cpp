#include "shared/config_data.h"

#include "base/strutil.h"

CConfigData* gConfig = nullptr;

std::string DataDirPath(const CConfigData& cfg, const std::string& name) {
    char dir[sizeof cfg.DataDir];
    StrCopyField(dir, sizeof dir, cfg.DataDir, sizeof cfg.DataDir);
    return std::string(dir) + "\\" + name;
}
