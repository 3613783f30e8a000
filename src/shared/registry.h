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

// Longest settings-file path: InstallDir, a backslash and the file name.
constexpr unsigned kSettingsPathSize = sizeof(CConfigData::InstallDir) + sizeof(kSettingsFileName) + 1;

struct CRegistry {
    // Initialises the record of a newly created block: defaults, directories
    // and the system's facts. Raises "CRegistry::ReadConfig() Could not
    // determine install path" when the executable's path cannot be had.
    static void ReadConfig(CConfigData& cfg);

    // The platform-free body of ReadConfig: clears the record, derives the
    // install and data directories from modulePath, creates the data
    // directory, sets every default and records the facts.
    static void InitRecord(CConfigData& cfg, const char* modulePath, const SystemFacts& facts);

    // Reads the ten settings into the record; 1 on success.
    static int ReadSettingsFile(CConfigData& cfg);

    // Writes the ten settings from the record; always 1, a file that cannot
    // be written loses the changes silently.
    static int WriteSettingsFile(const CConfigData& cfg);

    static void SettingsFilePath(const CConfigData& cfg, char (&path)[kSettingsPathSize]);
};
