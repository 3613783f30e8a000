// The record of a newly created block and the settings file, through the
// real profile functions of the platform (GetPrivateProfileStringA under
// Wine, the portable reader natively).
#include "shared/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "os_override.h"
#include "temp_dir.h"

namespace {

constexpr SystemFacts kFacts = {2, 6, 1, true, false};

class RegistryTest : public ::testing::Test {
protected:
    RegistryTest() : dir_("registry") {
        memset(&cfg_, 0xAB, sizeof cfg_);  // what a reused block could hold
        CRegistry::InitRecord(cfg_, (dir_.path() + "\\Engine.exe").c_str(), kFacts);
    }

    std::string ReadBack(const char* key) {
        char value[300];
        gOs.GetProfileString(kSettingsSection, key, "<missing>", value, sizeof value, dir_.File(kSettingsFileName).c_str());
        return value;
    }

    TempDir dir_;
    CConfigData cfg_;
};

}  // namespace

TEST_F(RegistryTest, NewRecordTakesItsDirectoriesFromTheExecutable) {
    EXPECT_EQ(dir_.path(), cfg_.InstallDir);
    EXPECT_EQ(dir_.path() + "\\Data", cfg_.DataDir);
    EXPECT_TRUE(dir_.Exists("Data"));
    EXPECT_EQ(kNoWindow, cfg_.PageWindow);
    EXPECT_EQ(kNoWindow, cfg_.EngineWindow);
    EXPECT_EQ(kNoWindow, cfg_.DisplayWindow);
    EXPECT_EQ(-1, cfg_.PageParam1);
    EXPECT_EQ(-1, cfg_.PageParam2);
    EXPECT_EQ(kNoTopic, cfg_.AdTopicId);
    EXPECT_EQ(1, cfg_.Pace);
    EXPECT_EQ(1, cfg_.DisplayPreference);
    EXPECT_EQ(0u, cfg_.StartCount);
    EXPECT_EQ(0u, cfg_.Passive);
    EXPECT_EQ(0u, cfg_.JobsHeld);
    EXPECT_STREQ("", cfg_.PageUrl);
    EXPECT_EQ(std::vector<uint8_t>(388, 0), std::vector<uint8_t>(cfg_.DisplaySettings, cfg_.DisplaySettings + 388));
    EXPECT_EQ(2u, cfg_.OsPlatformId);
    EXPECT_EQ(0u, cfg_.IsWin32s);
    EXPECT_EQ(6u, cfg_.OsMajorVersion);
    EXPECT_EQ(1u, cfg_.OsMinorVersion);
    EXPECT_EQ(1u, cfg_.NewShell);
    EXPECT_EQ(1u, cfg_.TrayPresent);
    EXPECT_EQ(0u, cfg_.PaletteDisplay);
}

TEST(RegistryInitRecord, StampsTheStartTimeAndCreatesTheDataDirectoryOnce) {
    OsOverride restore;
    static std::vector<std::string> created;
    created.clear();
    gOs.Now = [] { return int32_t{1700000000}; };
    gOs.CreateDir = [](const char* path) {
        created.push_back(path);
        return 0;  // as if it existed: the record is made all the same
    };
    CConfigData cfg;
    CRegistry::InitRecord(cfg, "C:\\Programs\\Tidewell\\Engine.exe", SystemFacts{1, 4, 10, false, true});
    EXPECT_EQ(1700000000, cfg.StartTime);
    ASSERT_EQ(1u, created.size());
    EXPECT_EQ("C:\\Programs\\Tidewell\\Data", created[0]);
    EXPECT_STREQ("C:\\Programs\\Tidewell", cfg.InstallDir);
    EXPECT_EQ(1u, cfg.NewShell);
    EXPECT_EQ(1u, cfg.PaletteDisplay);
    EXPECT_EQ(0u, cfg.TrayPresent);
}

TEST(RegistryInitRecord, LongAndOddModulePathsStayWithinTheirFields) {
    OsOverride restore;
    gOs.CreateDir = [](const char*) { return 1; };
    CConfigData cfg;
    std::string deep = std::string(300, 'd') + "\\Engine.exe";
    CRegistry::InitRecord(cfg, deep.c_str(), kFacts);
    EXPECT_EQ(260u, strlen(cfg.InstallDir));  // cut to the field; no backslash left in it to cut at
    EXPECT_EQ(259u + 5u, strlen(cfg.DataDir));  // 259 characters of it and "\Data"
    CRegistry::InitRecord(cfg, ("C:\\" + deep).c_str(), kFacts);
    EXPECT_STREQ("C:", cfg.InstallDir);  // the cut path's last backslash

    CRegistry::InitRecord(cfg, "Engine.exe", kFacts);  // no directory at all
    EXPECT_STREQ("Engine.exe", cfg.InstallDir);
    EXPECT_STREQ("Engine.exe\\Data", cfg.DataDir);
}

TEST_F(RegistryTest, MissingFileGivesTheDefaults) {
    strcpy(cfg_.AccountId, "left over");
    EXPECT_EQ(1, CRegistry::ReadSettingsFile(cfg_));
    EXPECT_EQ(0, cfg_.HttpProxyEnabled);
    EXPECT_STREQ("", cfg_.HttpProxy);
    EXPECT_EQ(0, cfg_.HttpProxyPort);
    EXPECT_STREQ("", cfg_.BrowserPath);
    EXPECT_STREQ("", cfg_.BrowserDdeService);
    EXPECT_EQ(1, cfg_.EdgeDockedOn);
    EXPECT_EQ(0, cfg_.AlwaysOnTop);
    EXPECT_EQ(0, cfg_.AutoHide);
    EXPECT_EQ(0, cfg_.MsgExpire);
    EXPECT_EQ(0, cfg_.MsgPurge);
    EXPECT_EQ(std::string(101, '\0'), std::string(cfg_.AccountId, 101));  // comes with the data file, not from here
}

TEST_F(RegistryTest, ConvertsEachValueAsAtolWithTheDockedEdgeLimited) {
    struct Case {
        const char* dock;
        int32_t expected;
    } docks[] = {{"0", 0}, {"3", 3}, {"4", 1}, {"-1", 1}, {"2abc", 2}, {"x", 0}, {"", 0}};
    for (const Case& c : docks) {
        dir_.Write(kSettingsFileName, std::string("[Tidewell Settings]\r\nEdgeDockedOn=") + c.dock + "\r\n");
        CRegistry::ReadSettingsFile(cfg_);
        EXPECT_EQ(c.expected, cfg_.EdgeDockedOn) << "EdgeDockedOn=" << c.dock;
    }
    dir_.Write(kSettingsFileName,
               "[tidewell settings]\r\n"
               "HttpProxyPort=8080abc\r\n"
               "HttpProxyEnabled= 1\r\n"
               "MsgPurge=-1\r\n"
               "MsgExpire=yes\r\n"
               "AlwaysOnTop=99999999999\r\n"
               "AutoHide=+2\r\n");
    CRegistry::ReadSettingsFile(cfg_);
    EXPECT_EQ(8080, cfg_.HttpProxyPort);
    EXPECT_EQ(1, cfg_.HttpProxyEnabled);
    EXPECT_EQ(-1, cfg_.MsgPurge);
    EXPECT_EQ(0, cfg_.MsgExpire);
    EXPECT_EQ(INT32_MAX, cfg_.AlwaysOnTop);
    EXPECT_EQ(2, cfg_.AutoHide);
}

TEST_F(RegistryTest, OverlongTextsAreCutToTheirFields) {
    std::string longText(400, 'p');
    dir_.Write(kSettingsFileName, "[Tidewell Settings]\r\nHttpProxy=" + longText + "\r\nBrowserPath=" + longText +
                                      "\r\nBrowserDdeService=" + longText + "\r\n");
    CRegistry::ReadSettingsFile(cfg_);
    EXPECT_EQ(259u, strlen(cfg_.HttpProxy));  // every value passes a 260-byte buffer
    EXPECT_EQ(259u, strlen(cfg_.BrowserPath));
    EXPECT_EQ(100u, strlen(cfg_.BrowserDdeService));
}

TEST_F(RegistryTest, GarbageFilesAndMissingSectionsGiveDefaults) {
    static const char kJunk[] = "\x7f\x45LF\0\0\0[Other]\nEdgeDockedOn=2\n\xff\xfe=\n[Tidewell Settings";
    dir_.Write(kSettingsFileName, std::string(kJunk, sizeof kJunk - 1));
    EXPECT_EQ(1, CRegistry::ReadSettingsFile(cfg_));
    EXPECT_EQ(1, cfg_.EdgeDockedOn);
    EXPECT_EQ(0, cfg_.HttpProxyPort);
    EXPECT_STREQ("", cfg_.HttpProxy);
}

TEST_F(RegistryTest, WritesAllTenKeysAndReadsThemBack) {
    dir_.Write(kSettingsFileName, "");
    CRegistry::ReadSettingsFile(cfg_);
    strcpy(cfg_.HttpProxy, "proxy.local");
    cfg_.HttpProxyPort = 3128;
    cfg_.HttpProxyEnabled = 1;
    strcpy(cfg_.BrowserPath, "C:\\Browser\\browse.exe");
    strcpy(cfg_.BrowserDdeService, "IEXPLORE");
    cfg_.MsgPurge = -1;
    EXPECT_EQ(1, CRegistry::WriteSettingsFile(cfg_));

    const char* expected[][2] = {
        {"HttpProxyEnabled", "1"}, {"HttpProxy", "proxy.local"},    {"HttpProxyPort", "3128"},
        {"BrowserPath", "C:\\Browser\\browse.exe"},                 {"BrowserDdeService", "IEXPLORE"},
        {"EdgeDockedOn", "1"},     {"AlwaysOnTop", "0"},            {"AutoHide", "0"},
        {"MsgExpire", "0"},        {"MsgPurge", "-1"},
    };
    for (auto& pair : expected) EXPECT_EQ(pair[1], ReadBack(pair[0])) << pair[0];

    CConfigData again = cfg_;
    memset(again.HttpProxy, 0, sizeof again.HttpProxy);
    again.HttpProxyPort = 0;
    again.MsgPurge = 0;
    CRegistry::ReadSettingsFile(again);
    EXPECT_STREQ("proxy.local", again.HttpProxy);
    EXPECT_EQ(3128, again.HttpProxyPort);
    EXPECT_EQ(-1, again.MsgPurge);
}

TEST_F(RegistryTest, WritingAnUnterminatedFieldStaysWithinIt) {
    memset(cfg_.BrowserDdeService, 'n', sizeof cfg_.BrowserDdeService);  // no terminator
    memset(cfg_.AccountId, 'a', sizeof cfg_.AccountId);
    CRegistry::WriteSettingsFile(cfg_);
    EXPECT_EQ(std::string(101, 'n'), ReadBack("BrowserDdeService"));
}

TEST_F(RegistryTest, SettingsFileSitsBesideTheExecutable) {
    char path[kSettingsPathSize];
    CRegistry::SettingsFilePath(cfg_, path);
    EXPECT_EQ(dir_.path() + "\\Tidewell.ini", path);
    memset(cfg_.InstallDir, 'i', sizeof cfg_.InstallDir);  // unterminated
    CRegistry::SettingsFilePath(cfg_, path);
    EXPECT_EQ(std::string(261, 'i') + "\\Tidewell.ini", path);
}
