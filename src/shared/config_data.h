// CConfigData, the settings and run-time state that the agent and the display
// programs share through the named global block. The layout is a cross-process
// format and binding byte for byte; every offset is checked below. Window
// handles are kept as 32-bit words (Windows keeps them within 32 bits for the
// sake of 32-bit processes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct CConfigData {
    char InstallDir[261];    // directory of the executable, no trailing backslash
    char DataDir[267];       // InstallDir + "\Data"
    uint32_t PageWindow;     // receives WM_LOADPAGE
    uint32_t EngineWindow;   // the agent's hidden window
    uint32_t DisplayWindow;  // receives the display settings after the preferences dialog
    uint32_t Reserved540;
    uint32_t StartCount;     // persisted; one more at every load of the data file
    int32_t StartTime;       // seconds since 1970
    uint32_t Passive;        // persisted; stops the jobs and the data file writes
    uint32_t JobsHeld;       // set by other processes; stops the jobs
    int32_t DisplayValue;    // persisted for the display programs
    uint32_t ScreenSaverOn;  // published on every clock tick
    int32_t PageParam1;
    int32_t PageParam2;
    char PageUrl[1024];
    uint32_t Reserved1600;
    uint8_t DisplaySettings[388];  // persisted, opaque to the agent
    char HttpProxy[1028];
    int32_t HttpProxyPort;
    int32_t HttpProxyEnabled;
    char BrowserPath[261];
    char BrowserDdeService[101];
    char AccountId[101];  // persisted
    char Reserved3491;
    int32_t EdgeDockedOn;
    uint32_t Reserved3496;
    int32_t AlwaysOnTop;
    int32_t AutoHide;
    int32_t DisplayPreference;  // persisted
    int32_t Pace;               // persisted; spaces the jobs and sets the priority
    int32_t MsgExpire;
    int32_t MsgPurge;
    uint32_t AdTopicId;  // all bits set while there is no ad-stream topic
    uint32_t OsMajorVersion;
    uint32_t OsMinorVersion;
    uint32_t OsPlatformId;  // 0 Win32s, 1 Windows 95/98, 2 Windows NT
    uint32_t IsWin32s;
    uint32_t TrayPresent;  // a notification area exists
    uint32_t NewShell;
    uint32_t PaletteDisplay;  // 256 colours or fewer
};

#define CONFIG_OFFSET(field, offset) \
    static_assert(offsetof(CConfigData, field) == (offset), "CConfigData::" #field " must sit at " #offset)
CONFIG_OFFSET(InstallDir, 0);
CONFIG_OFFSET(DataDir, 261);
CONFIG_OFFSET(PageWindow, 528);
CONFIG_OFFSET(EngineWindow, 532);
CONFIG_OFFSET(DisplayWindow, 536);
CONFIG_OFFSET(Reserved540, 540);
CONFIG_OFFSET(StartCount, 544);
CONFIG_OFFSET(StartTime, 548);
CONFIG_OFFSET(Passive, 552);
CONFIG_OFFSET(JobsHeld, 556);
CONFIG_OFFSET(DisplayValue, 560);
CONFIG_OFFSET(ScreenSaverOn, 564);
CONFIG_OFFSET(PageParam1, 568);
CONFIG_OFFSET(PageParam2, 572);
CONFIG_OFFSET(PageUrl, 576);
CONFIG_OFFSET(Reserved1600, 1600);
CONFIG_OFFSET(DisplaySettings, 1604);
CONFIG_OFFSET(HttpProxy, 1992);
CONFIG_OFFSET(HttpProxyPort, 3020);
CONFIG_OFFSET(HttpProxyEnabled, 3024);
CONFIG_OFFSET(BrowserPath, 3028);
CONFIG_OFFSET(BrowserDdeService, 3289);
CONFIG_OFFSET(AccountId, 3390);
CONFIG_OFFSET(Reserved3491, 3491);
CONFIG_OFFSET(EdgeDockedOn, 3492);
CONFIG_OFFSET(Reserved3496, 3496);
CONFIG_OFFSET(AlwaysOnTop, 3500);
CONFIG_OFFSET(AutoHide, 3504);
CONFIG_OFFSET(DisplayPreference, 3508);
CONFIG_OFFSET(Pace, 3512);
CONFIG_OFFSET(MsgExpire, 3516);
CONFIG_OFFSET(MsgPurge, 3520);
CONFIG_OFFSET(AdTopicId, 3524);
CONFIG_OFFSET(OsMajorVersion, 3528);
CONFIG_OFFSET(OsMinorVersion, 3532);
CONFIG_OFFSET(OsPlatformId, 3536);
CONFIG_OFFSET(IsWin32s, 3540);
CONFIG_OFFSET(TrayPresent, 3544);
CONFIG_OFFSET(NewShell, 3548);
CONFIG_OFFSET(PaletteDisplay, 3552);
#undef CONFIG_OFFSET

constexpr uint32_t kConfigDataSize = 3556;
static_assert(sizeof(CConfigData) == kConfigDataSize, "CConfigData is 3556 bytes");
static_assert(sizeof(CConfigData::DisplaySettings) == 388, "the display settings are 97 words");

// The global block: a 12-byte header, then the record.
struct GlobalBlockHeader {
    uint32_t attachCount;  // processes attached
    uint32_t recordSize;   // written by every process that attaches to an existing block
    uint32_t reserved;
};
static_assert(sizeof(GlobalBlockHeader) == 12, "the block header is three words");

constexpr uint32_t kGlobalRecordOffset = sizeof(GlobalBlockHeader);
constexpr uint32_t kGlobalMappingMinimum = 3568;
constexpr uint32_t kGlobalMappingSize = kConfigDataSize + kGlobalRecordOffset > kGlobalMappingMinimum
                                            ? kConfigDataSize + kGlobalRecordOffset
                                            : kGlobalMappingMinimum;
static_assert(kGlobalMappingSize == 3568, "the global mapping is 3568 bytes");

// Initial value of the window fields: the broadcast handle.
constexpr uint32_t kNoWindow = 0xFFFF;
constexpr uint32_t kNoTopic = 0xFFFFFFFF;

// The agent's own folders, derived from its module path at start-up. The
// record carries copies for the display programs, but any local program may
// write the record, so the agent never takes a folder (where it loads code,
// keeps its database, writes its settings or deletes bitmaps) from there.
struct LocalDirs {
    char InstallDir[sizeof CConfigData::InstallDir];
    char DataDir[sizeof CConfigData::DataDir];
};
extern LocalDirs gDirs;

// "%s\%s": a file in the agent's own data directory.
std::string DataDirPath(const std::string& name);

// The record of the attached global block; null while not attached. Every
// part of the agent reaches the shared settings through this one pointer.
extern CConfigData* gConfig;
