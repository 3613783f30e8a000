// WinMain: forwards a command line to a running agent, or brings the agent up
// step by step, runs its message loop and takes it down again.
#include <windows.h>

#include <cstddef>
#include <new>
#include <string>

#include "agent/agent_win.h"
#include "agent/clock_win.h"
#include "agent/engine_window_win.h"
#include "agent/forward_win.h"
#include "agent/jobs_win.h"
#include "agent/init_status.h"
#include "agent/paths.h"
#include "agent/probes_win.h"
#include "agent/request_servers_win.h"
#include "agent/resource.h"
#include "agent/tray_win.h"
#include "base/program_win.h"
#include "base/trace.h"
#include "jobs/ad_stream.h"
#include "jobs/ad_stream_win.h"
#include "jobs/engine_update_win.h"
#include "jobs/post_stats_win.h"
#include "jobs/yahoo_quote_win.h"
#include "net/tcp_win.h"
#include "news/data_file.h"
#include "news/database.h"
#include "shared/deployment.h"
#include "shared/global_block.h"
#include "shared/names.h"
#include "shared/pace.h"
#include "shared/window_handle_win.h"

namespace {

HACCEL gAccelerators;

int RegisterClassStep() {
    return RegisterEngineClass(gAgent.instance) != 0;
}

int CreateWindowStep() {
    gAgent.engineWindow = CreateEngineWindow(gAgent.instance);
    return gAgent.engineWindow != nullptr;
}

// A start-up that fails leaves no engine window behind while the repair
// installer starts the next agent, which would take it for a running one.
void DestroyEngineWindow() {
    if (IsWindow(gAgent.engineWindow)) DestroyWindow(gAgent.engineWindow);
}

int LoadAcceleratorsStep() {
    gAccelerators = LoadAcceleratorsA(gAgent.instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    return gAccelerators != nullptr;
}

// Without the shared block nothing works; the installer can repair that.
int CommonInitStep() {
    if (GlobalInit()) return 1;
    InitStatus = INITSTATUS_REPAIR;
    return 0;
}

int PublishEngineWindowStep() {
    gConfig->EngineWindow = HwndToWord(gAgent.engineWindow);
    return 1;
}

// The socket layer, with Windows Sockets 1.1.
int NetworkInitStep() {
    return NetworkInit(gAgent.instance, 1);
}

// The news database as start-up takes it, and the priority its pace asks
// for; a file start-up cannot take goes to the repair installer.
int DatabaseInitStep() {
    if (!Database::Open(DataFilePath().c_str(), gTopicArray, *gConfig)) {
        InitStatus = INITSTATUS_REPAIR;
        return 0;
    }
    ApplyPacePriority(*gConfig);
    return 1;
}

int ServerInitStep() {
    return Server::Init();
}

// Bitmaps no ad refers to any more go; then the listing of what was loaded.
int ReportDatabaseStep() {
    AdStream::PurgeOldAds();
    Dump();
    return 1;
}

int ShowEngineWindowStep() {
    if (gConfig->TrayPresent) {
        ShowWindow(gAgent.engineWindow, SW_HIDE);
    } else {
        ShowWindow(gAgent.engineWindow, SW_SHOWMINNOACTIVE);
        UpdateWindow(gAgent.engineWindow);
    }
    return 1;
}

// The timed jobs; each lives until the engine window closes.
int EngineUpdateStep() {
    EngineUpdate::gJob = new (std::nothrow) EngineUpdate::CUpdate(gAgent.engineWindow);
    return EngineUpdate::gJob != nullptr;
}

int YahooQuoteStep() {
    YahooQuote::gJob = new (std::nothrow) YahooQuote::CUpdate(gAgent.engineWindow);
    return YahooQuote::gJob != nullptr;
}

int AdStreamStep() {
    AdStream::gJob = new (std::nothrow) AdStream::CUpdate(gAgent.engineWindow);
    return AdStream::gJob != nullptr;
}

int PostStatsStep() {
    return PostStats::Init(gAgent.engineWindow);
}

int StartClockStep() {
    StartClock(gAgent.engineWindow);
    return 1;
}

int TrayMenuStep() {
    gAgent.trayMenu = CreateTrayMenu(gAgent.engineWindow, gAgent.instance, gConfig->TrayPresent != 0);
    return 1;
}

// One step of start-up. A step that answers 0 raises its failure text (steps
// without one cannot fail); the undo of every step that succeeded runs after
// the message loop, last step first.
struct StartupStep {
    const char* failure;
    int (*run)();
    void (*undo)();
};

const StartupStep kStartupSteps[] = {
    {"RegisterClass failed", RegisterClassStep, nullptr},
    {"CreateWindow Failed", CreateWindowStep, DestroyEngineWindow},
    {"LoadAccelerators Failed", LoadAcceleratorsStep, nullptr},
    {"CommonInit() Failed", CommonInitStep, GlobalDetach},
    {nullptr, PublishEngineWindowStep, nullptr},
    {"NetworkInit Failed", NetworkInitStep, NetworkTerm},
    {"Database::Init() Failed", DatabaseInitStep, Database::Term},
    {"Server::Init() Failed", ServerInitStep, nullptr},
    {nullptr, ReportDatabaseStep, nullptr},
    {nullptr, ShowEngineWindowStep, nullptr},
    {"EngineUpdate::Init() Failed", EngineUpdateStep, DestroyJobs},
    {"YahooQuote::Init() Failed", YahooQuoteStep, nullptr},
    {"AdStream::Init() Failed", AdStreamStep, nullptr},
    {"PostStats::Init() Failed", PostStatsStep, nullptr},
    {nullptr, StartClockStep, nullptr},
    {nullptr, TrayMenuStep, nullptr},
};

// Runs the steps in order until one fails; returns how many succeeded.
size_t StartUp() {
    size_t done = 0;
    try {
        for (const StartupStep& step : kStartupSteps) {
            if (!step.run() && step.failure) throw step.failure;
            done++;
        }
        InitStatus = INITSTATUS_RUNNING;
        Trace("WinMain(): Start-up complete");
    } catch (...) {
        TraceCaught("WinMain()");
    }
    return done;
}

void TearDown(size_t stepsDone) {
    while (stepsDone > 0) {
        try {
            if (void (*undo)() = kStartupSteps[--stepsDone].undo) undo();
        } catch (...) {
            TraceCaught("WinMain()");  // the steps before it are still undone
        }
    }
}

void RunMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) continue;  // only WM_QUIT ends the loop
        if (TranslateAcceleratorA(gAgent.engineWindow, gAccelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void StartRepairInstaller() {
    std::string modulePath = ProgramPath();
    char installer[MAX_PATH + sizeof kInstallerProgram];
    if (modulePath.empty() || !RepairInstallerPath(modulePath.c_str(), installer, sizeof installer)) return;
    StartProcess((std::string("\"") + installer + "\"").c_str(), false);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (commandLine && *commandLine && ForwardCommandLine(commandLine)) return 0;
    if ((!commandLine || !*commandLine) && AnotherAgentAnswers()) {
        Trace("WinMain(): Another agent is running: this one ends");
        return INITSTATUS_RUNNING;
    }

    InitStatus = INITSTATUS_STARTING;
    gAgent.instance = instance;
    Trace("WinMain(): Tidewell Agent %s, news host %s, quote host %s", kProductVersion, kNewsHost, kQuoteHost);
    size_t stepsDone = StartUp();
    if (InitStatus == INITSTATUS_RUNNING) RunMessageLoop();

    if (InitStatus == INITSTATUS_STARTING) {
        MessageBoxA(nullptr, "Fatal error during initialization", kEngineWindowTitle,
                    MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
    }
    TearDown(stepsDone);
    if (InitStatus == INITSTATUS_REPAIR) StartRepairInstaller();
    Trace("WinMain(): Exit code %d", InitStatus);
    return InitStatus;
}
