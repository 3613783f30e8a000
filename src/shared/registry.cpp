#include "shared/registry.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/os.h"
#include "base/profile.h"
#include "base/strutil.h"
#include "base/trace.h"

namespace {

// The settings file holds ten keys, read and written in this order. Text keys
// go straight into their field; integers are read like atol.
struct SettingKey {
    const char* name;
    size_t offset;    // of the field in CConfigData
    size_t textSize;  // size of a text field; 0 for an integer
    const char* fallback;
};

#define TEXT_KEY(field) \
    { #field, offsetof(CConfigData, field), sizeof(CConfigData::field), "" }
#define INT_KEY(field, fallback) \
    { #field, offsetof(CConfigData, field), 0, fallback }
constexpr SettingKey kSettingKeys[] = {
    INT_KEY(HttpProxyEnabled, "0"), TEXT_KEY(HttpProxy),         INT_KEY(HttpProxyPort, "0"), TEXT_KEY(BrowserPath),
    TEXT_KEY(BrowserDdeService),    INT_KEY(EdgeDockedOn, "99"),  // the invalid fallback becomes 1 below
    INT_KEY(AlwaysOnTop, "0"),      INT_KEY(AutoHide, "0"),      INT_KEY(MsgExpire, "0"),     INT_KEY(MsgPurge, "0"),
};
#undef TEXT_KEY
#undef INT_KEY

// Every value is read through a buffer of this size.
constexpr uint32_t kValueBufferSize = 260;
// The settings file is rewritten whole; what else it holds is kept up to
// this size (a bigger file is no settings file the agent wrote).
constexpr uint32_t kMostSettingsFileBytes = 1 << 20;

char* FieldOf(CConfigData& cfg, const SettingKey& key) {
    return reinterpret_cast<char*>(&cfg) + key.offset;
}

const char* FieldOf(const CConfigData& cfg, const SettingKey& key) {
    return reinterpret_cast<const char*>(&cfg) + key.offset;
}

// The file's text as it is, or empty when it is missing, unreadable or too big.
std::string ReadSettingsText(const char* path) {
    std::string text;
    OsFile* file = gOs.OpenRead(path);
    if (!file) return text;
    char piece[4096];
    uint32_t got = 0;
    for (;;) {
        if (!gOs.Read(file, piece, sizeof piece, &got) || text.size() + got > kMostSettingsFileBytes) {
            text.clear();
            break;
        }
        if (got == 0) break;
        text.append(piece, got);
    }
    gOs.Close(file);
    return text;
}

// Writes the text beside the file and puts it in the file's place in one
// step, so that a kill or a full disk leaves the old file whole.
bool ReplaceSettingsText(const char* path, const std::string& text) {
    std::string newPath = std::string(path) + ".new";
    OsFile* file = gOs.CreateWrite(newPath.c_str());
    if (!file) return false;
    uint32_t written = 0;
    bool ok = gOs.Write(file, text.data(), static_cast<uint32_t>(text.size()), &written) && written == text.size() &&
              gOs.Flush(file);
    gOs.Close(file);
    if (ok && gOs.ReplaceFile(newPath.c_str(), path)) return true;
    gOs.DeleteFile(newPath.c_str());
    return false;
}

int32_t ConvertSetting(const SettingKey& key, const char* value) {
    int32_t number = ParseLeadingInt(value);
    if (key.offset == offsetof(CConfigData, EdgeDockedOn) && static_cast<uint32_t>(number) > 3) return 1;
    return number;
}

}  // namespace

void CRegistry::InitDirs(const char* modulePath, LocalDirs& dirs) {
    memset(&dirs, 0, sizeof dirs);
    StrCopy(dirs.InstallDir, sizeof dirs.InstallDir, modulePath);
    if (char* slash = strrchr(dirs.InstallDir, '\\')) *slash = '\0';
    StrCopy(dirs.DataDir, 260, dirs.InstallDir);
    StrAppend(dirs.DataDir, sizeof dirs.DataDir, "\\");
    StrAppend(dirs.DataDir, sizeof dirs.DataDir, kDataDirName);
    gOs.CreateDir(dirs.DataDir);  // an existing directory is fine
}

void CRegistry::PublishDirs(const LocalDirs& dirs, CConfigData& cfg) {
    memcpy(cfg.InstallDir, dirs.InstallDir, sizeof cfg.InstallDir);
    memcpy(cfg.DataDir, dirs.DataDir, sizeof cfg.DataDir);
}

void CRegistry::InitRecord(CConfigData& cfg, const char* modulePath, const SystemFacts& facts) {
    memset(&cfg, 0, sizeof cfg);
    InitDirs(modulePath, gDirs);
    PublishDirs(gDirs, cfg);

    cfg.PageWindow = kNoWindow;
    cfg.EngineWindow = kNoWindow;
    cfg.DisplayWindow = kNoWindow;
    cfg.StartTime = gOs.Now();
    cfg.PageParam1 = -1;
    cfg.PageParam2 = -1;
    cfg.AdTopicId = kNoTopic;
    cfg.DisplayPreference = 1;
    cfg.Pace = 1;

    cfg.OsPlatformId = facts.platformId;
    cfg.IsWin32s = facts.platformId == 0;
    cfg.OsMajorVersion = facts.majorVersion;
    cfg.OsMinorVersion = facts.minorVersion;
    cfg.NewShell = facts.majorVersion >= 4;
    cfg.TrayPresent = facts.trayPresent;
    cfg.PaletteDisplay = facts.paletteDisplay;
}

void CRegistry::SettingsFilePath(char (&path)[kSettingsPathSize]) {
    StrCopyField(path, sizeof path, gDirs.InstallDir, sizeof gDirs.InstallDir);
    StrAppend(path, sizeof path, "\\");
    StrAppend(path, sizeof path, kSettingsFileName);
}

int CRegistry::ReadSettingsFile(CConfigData& cfg) {
    char path[kSettingsPathSize];
    SettingsFilePath(path);
    for (const SettingKey& key : kSettingKeys) {
        if (key.textSize) {
            uint32_t size = key.textSize < kValueBufferSize ? static_cast<uint32_t>(key.textSize) : kValueBufferSize;
            gOs.GetProfileString(kSettingsSection, key.name, key.fallback, FieldOf(cfg, key), size, path);
            continue;
        }
        char value[kValueBufferSize];
        gOs.GetProfileString(kSettingsSection, key.name, key.fallback, value, sizeof value, path);
        int32_t number = ConvertSetting(key, value);
        memcpy(FieldOf(cfg, key), &number, sizeof number);
    }
    // The account identifier is not a setting: it comes with the data file.
    memset(cfg.AccountId, 0, sizeof cfg.AccountId);
    return 1;
}

int CRegistry::WriteSettingsFile(const CConfigData& cfg) {
    char path[kSettingsPathSize];
    SettingsFilePath(path);
    std::string text = ReadSettingsText(path);
    for (const SettingKey& key : kSettingKeys) {
        char value[sizeof CConfigData::HttpProxy];
        if (key.textSize) {
            // Another process may have left the field unterminated.
            StrCopyField(value, sizeof value, FieldOf(cfg, key), key.textSize);
        } else {
            int32_t number;
            memcpy(&number, FieldOf(cfg, key), sizeof number);
            snprintf(value, sizeof value, "%ld", static_cast<long>(number));
        }
        text = ProfileSetString(text, kSettingsSection, key.name, value);
    }
    if (!ReplaceSettingsText(path, text)) Trace("CRegistry::WriteSettingsFile(): Could not write %s", path);
    return 1;
}
