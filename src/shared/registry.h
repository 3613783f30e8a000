// Install paths and settings: fills a newly created global block's record
// from the executable's location, the system's facts and the settings file
// "Tidewell.ini" beside the executable, and writes the settings back at exit.
#pragma once

#include <cstdint>

#include "shared/config_data.h"
#include "shared/names.h"

// What the record publishes about the system; gathered by the platform layer.
struct SystemFacts {
    uint32_t platformId;
    uint32_t majorVersion;
    uint32_t minorVersion;
    bool trayPresent;
    bool paletteDisplay;
};

// Longest settings-file path: the install directory, a backslash and the file name.
constexpr unsigned kSettingsPathSize = sizeof(CConfigData::InstallDir) + sizeof(kSettingsFileName) + 1;

struct CRegistry {
    // Initialises the record of a newly created block: defaults, directories
    // and the system's facts. Raises "CRegistry::ReadConfig() Could not
    // determine install path" when the executable's path cannot be had.
    static void ReadConfig(CConfigData& cfg);

    // The platform-free body of ReadConfig: clears the record, takes the
    // agent's folders from modulePath (InitDirs into gDirs) and publishes
    // them, sets every default and records the facts.
    static void InitRecord(CConfigData& cfg, const char* modulePath, const SystemFacts& facts);

    // Into a block that was there before the agent: the agent's folders,
    // from its own module path, written over whatever the record held. Raises
    // as ReadConfig does.
    static void ClaimDirs(CConfigData& cfg);

    // The install directory is modulePath up to its last backslash, the data
    // directory that and "\Data", which is created.
    static void InitDirs(const char* modulePath, LocalDirs& dirs);
    // Copies the folders into the record, for the display programs.
    static void PublishDirs(const LocalDirs& dirs, CConfigData& cfg);

    // Reads the ten settings into the record; 1 on success.
    static int ReadSettingsFile(CConfigData& cfg);

    // Writes the ten settings from the record into the settings file, keeping
    // its other lines: the new text goes to a file beside it, which then
    // takes the file's place in one step. Always 1; a file that cannot be
    // written keeps its old settings, with a trace.
    static int WriteSettingsFile(const CConfigData& cfg);

    // "Tidewell.ini" in the agent's install directory (never the record's).
    static void SettingsFilePath(char (&path)[kSettingsPathSize]);
};
