// The record of a new block and the settings file, through the platform's profile functions.
#include "shared/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "os_override.h"
#include "temp_dir.h"

using namespace std::string_literals;

TEST(RegistryInitRecord, ClearsTheRecordAndSetsDirectoriesDefaultsAndFacts) {
    OsOverride restore;
    static std::string created;
    gOs.Now = [] { return int32_t{1700000000}; };
    gOs.CreateDir = [](const char* path) {
        created += path;
        return 0;  // as if it existed: the record is made all the same
    };
    const std::string deep = std::string(300, 'd') + "\\Engine.exe";
    // The agent's path, the install and data directories made of it, the system's facts, IsWin32s and NewShell.
    const std::tuple<std::string, std::string, std::string, SystemFacts, uint32_t, uint32_t> cases[] = {
        {"C:\\Tidewell\\Engine.exe", "C:\\Tidewell", "C:\\Tidewell\\Data", {2, 6, 1, true, false}, 0, 1},
        {"Engine.exe", "Engine.exe", "Engine.exe\\Data", {0, 3, 10, false, true}, 1, 0},  // no directory at all
        // Cut to its field, the path has no backslash left to cut at; the data directory takes 259 characters of it.
        {deep, std::string(260, 'd'), std::string(259, 'd') + "\\Data", {1, 4, 0, true, true}, 0, 1},
        {"C:\\" + deep, "C:", "C:\\Data", {1, 4, 10, false, false}, 0, 1},  // the cut path's last backslash
    };
    for (const auto& [modulePath, installDir, dataDir, facts, win32s, newShell] : cases) {
        SCOPED_TRACE(modulePath.substr(0, 40));
        created.clear();
        CConfigData cfg;
        memset(&cfg, 0xAB, sizeof cfg);  // what a reused block could hold
        CRegistry::InitRecord(cfg, modulePath.c_str(), facts);
        EXPECT_EQ(installDir, cfg.InstallDir);
        EXPECT_EQ(dataDir, cfg.DataDir);
        EXPECT_EQ(0, memcmp(&gDirs, cfg.InstallDir, sizeof gDirs));  // the agent's own copy is the same
        EXPECT_EQ(dataDir, created);
        CConfigData expected = {};  // and beside the directories, every byte as a new record has it
        memcpy(expected.InstallDir, cfg.InstallDir, sizeof cfg.InstallDir);
        memcpy(expected.DataDir, cfg.DataDir, sizeof cfg.DataDir);
        expected.PageWindow = expected.EngineWindow = expected.DisplayWindow = kNoWindow;
        expected.StartTime = 1700000000;
        expected.PageParam1 = expected.PageParam2 = -1;
        expected.AdTopicId = kNoTopic;
        expected.Pace = expected.DisplayPreference = 1;
        expected.OsPlatformId = facts.platformId;
        expected.OsMajorVersion = facts.majorVersion;
        expected.OsMinorVersion = facts.minorVersion;
        expected.TrayPresent = facts.trayPresent;
        expected.PaletteDisplay = facts.paletteDisplay;
        expected.IsWin32s = win32s;
        expected.NewShell = newShell;
        const char *made = reinterpret_cast<char*>(&cfg), *wanted = reinterpret_cast<char*>(&expected);
        size_t differs = std::mismatch(made, made + sizeof cfg, wanted).first - made;
        EXPECT_EQ(sizeof cfg, differs) << "the first byte that differs";
    }
}

namespace {

class RegistryTest : public ::testing::Test {
protected:
    // The ten settings read into a record full of leftovers.
    std::string Read() {
        memset(&cfg_, 0xAB, sizeof cfg_);  // what a reused block could hold
        strcpy(gDirs.InstallDir, dir_.path().c_str());
        EXPECT_EQ(1, CRegistry::ReadSettingsFile(cfg_));
        // The account identifier comes with the data file, not from here.
        EXPECT_EQ(std::string(sizeof cfg_.AccountId, '\0'), std::string(cfg_.AccountId, sizeof cfg_.AccountId));
        return std::to_string(cfg_.HttpProxyEnabled) + "|" + cfg_.HttpProxy + "|" + std::to_string(cfg_.HttpProxyPort) +
               "|" + cfg_.BrowserPath + "|" + cfg_.BrowserDdeService + "|" + std::to_string(cfg_.EdgeDockedOn) + "|" +
               std::to_string(cfg_.AlwaysOnTop) + "|" + std::to_string(cfg_.AutoHide) + "|" +
               std::to_string(cfg_.MsgExpire) + "|" + std::to_string(cfg_.MsgPurge);
    }

    std::string ReadBack(const char* key, const char* section = kSettingsSection) {
        char value[300];
        gOs.GetProfileString(section, key, "<missing>", value, sizeof value, dir_.File(kSettingsFileName).c_str());
        return value;
    }

    TempDir dir_{"registry"};
    CConfigData cfg_;
};

}  // namespace

TEST_F(RegistryTest, ReadsEachValueAsAtolWithDefaultsAndLimitsAndWritesItBackSo) {
    const std::string defaults = "0||0|||1|0|0|0|0";
    EXPECT_EQ(defaults, Read());  // no file at all
    const std::string longText(400, 'p'), section = "[Tidewell Settings]\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"\x7f\x45LF\0\0\0[Other]\nEdgeDockedOn=2\n\xff\xfe=\n[Tidewell Settings"s, defaults},  // garbage, no section
        {"[tidewell settings]\r\nHttpProxyPort=8080abc\r\nHttpProxyEnabled= 1\r\nMsgPurge=-1\r\nMsgExpire=yes\r\n"
         "AlwaysOnTop=99999999999\r\nAutoHide=+2\r\n",
         "1||8080|||1|2147483647|2|0|-1"},
        // Every value passes a 260-byte buffer, and no field takes more than it holds.
        {section + "HttpProxy=" + longText + "\r\nBrowserPath=" + longText + "\r\nBrowserDdeService=" + longText +
             "\r\n",
         "0|" + std::string(259, 'p') + "|0|" + std::string(259, 'p') + "|" + std::string(100, 'p') + "|1|0|0|0|0"},
        // The docked edge is 0 to 3 (text reads as 0); any other number becomes 1.
        {section + "EdgeDockedOn=3", "0||0|||3|0|0|0|0"},
        {section + "EdgeDockedOn=4", "0||0|||1|0|0|0|0"},
        {section + "EdgeDockedOn=-1", "0||0|||1|0|0|0|0"},
        {section + "EdgeDockedOn=x", "0||0|||0|0|0|0|0"},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file.substr(0, 60));
        dir_.Write(kSettingsFileName, file);
        EXPECT_EQ(expected, Read());
        EXPECT_EQ(1, CRegistry::WriteSettingsFile(cfg_));
        EXPECT_EQ(expected, Read()) << "written back as read";
    }
}

// A full disk, or a profile write cut short, may not cost the settings written
// before (an empty file would read MsgPurge 0 and empty every topic).
TEST_F(RegistryTest, TheFileIsReplacedWholeOrNotAtAll) {
    const std::string old = "[Tidewell Settings]\r\nMsgPurge=7\r\n[Display]\r\nKeep=1\r\n";
    dir_.Write(kSettingsFileName, old);
    Read();
    cfg_.MsgPurge = 3;
    {
        OsOverride restore;
        gOs.Write = [](OsFile*, const void*, uint32_t, uint32_t* written) {
            *written = 0;
            return 0;
        };
        gOs.WriteProfileString = [](const char*, const char*, const char*, const char* path) {
            if (OsFile* file = gOs.CreateWrite(path)) gOs.Close(file);
            return 0;
        };
        EXPECT_EQ(1, CRegistry::WriteSettingsFile(cfg_));
    }
    EXPECT_EQ(old, dir_.Read(kSettingsFileName));
    EXPECT_FALSE(dir_.Exists(std::string(kSettingsFileName) + ".new"));
    EXPECT_EQ(1, CRegistry::WriteSettingsFile(cfg_));
    EXPECT_EQ("3", ReadBack("MsgPurge"));
    EXPECT_EQ("1", ReadBack("Keep", "Display"));

    // One byte over 1 MiB is no settings file the agent wrote: only the settings are kept.
    const std::string other = "[Display]\r\nKeep=1\r\n";
    dir_.Write(kSettingsFileName, other + std::string((1 << 20) + 1 - other.size(), ';'));
    EXPECT_EQ(1, CRegistry::WriteSettingsFile(cfg_));
    EXPECT_EQ(std::string::npos, dir_.Read(kSettingsFileName).find("Keep"));
}

TEST_F(RegistryTest, UnterminatedFieldsStayWithinThemWhenWritten) {
    Read();
    memset(cfg_.BrowserDdeService, 'n', sizeof cfg_.BrowserDdeService);  // no terminator
    memset(cfg_.AccountId, 'a', sizeof cfg_.AccountId);
    CRegistry::WriteSettingsFile(cfg_);
    EXPECT_EQ(std::string(101, 'n'), ReadBack("BrowserDdeService"));

    char path[kSettingsPathSize];
    memset(gDirs.InstallDir, 'i', sizeof gDirs.InstallDir);
    CRegistry::SettingsFilePath(path);
    EXPECT_EQ(std::string(261, 'i') + "\\Tidewell.ini", path);
}
