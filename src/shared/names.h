// The names, numbers and file names through which the agent meets the other
// programs of the product. They are a contract: display programs, the
// preferences library and the installer look for exactly these, and the
// version in them keeps programs of different versions apart.
#pragma once

#include <cstdint>

#include "shared/version.h"

constexpr const char kProductVersion[] = TIDEWELL_VERSION;

// Window classes.
constexpr const char kEngineWindowClass[] = "Tidewell " TIDEWELL_VERSION " Engine Window";
constexpr const char kGlancerWindowClass[] = "Tidewell " TIDEWELL_VERSION " Glancer Window";
constexpr const char kEngineWindowTitle[] = "Tidewell Agent";

// Registered window messages.
constexpr const char kConfigDlgMessage[] = "Tidewell " TIDEWELL_VERSION " WM_CONFIGDLG";
constexpr const char kRequestObjectMessage[] = "Tidewell " TIDEWELL_VERSION " WM_REQUESTOBJECT";
constexpr const char kLoadPageMessage[] = "Tidewell " TIDEWELL_VERSION " WM_LOADPAGE";
constexpr const char kConfigUpdateMessage[] = "Tidewell " TIDEWELL_VERSION " WM_CONFIGUPDATE";

// Named kernel objects.
constexpr const char kGlobalMappingName[] = "Tidewell - Global Memory - " TIDEWELL_VERSION;
constexpr const char kSharedLockName[] = "Tidewell - Shared Memory Lock";

// The settings file beside the executable.
constexpr const char kSettingsFileName[] = "Tidewell.ini";
constexpr const char kSettingsSection[] = "Tidewell Settings";
constexpr const char kDataDirName[] = "Data";

// The notification-area icon and the commands of its menu.
constexpr uint32_t kTrayIconId = 700;
constexpr uint32_t kTrayCallbackMessage = 0x0400 + 200;  // WM_USER + 200
constexpr const char kTrayTip[] = "Tidewell Agent";

// Programs beside the agent.
constexpr const char kEngineProgram[] = "Engine.exe";
constexpr const char kGlancerProgram[] = "Glancer.exe";
constexpr const char kInstallerProgram[] = "install.exe";
