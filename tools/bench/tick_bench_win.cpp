// Figure 3: one clock tick. The agent's state is set up in this process as
// start-up sets it up (the engine window, the global block, the network
// layer, the full database of 99 topics loaded from a data file, the job
// objects), every job is held (JobsHeld, as another program may set it),
// and ClockTick is called directly, many times. The goal is absolute (under
// 20 us); the baseline shows what one request to Wine's server costs: a
// FindWindowA for a class no window has, the tick's own first call. The
// notes break the tick down. The file and profile entries of the system
// interface are counted while the ticks are timed: a tick must not touch
// the disk, and the program fails when one does.
//
//   bench_tick [--quick]   table rows on standard output; exit code 0 when the figure was measured
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "agent/agent_win.h"
#include "agent/clock_win.h"
#include "agent/engine_window_win.h"
#include "agent/jobs_win.h"
#include "agent/probes_win.h"
#include "agent/request_servers_win.h"
#include "base/os.h"
#include "base/strutil.h"
#include "full_database.h"
#include "jobs/ad_stream_win.h"
#include "jobs/engine_update_win.h"
#include "jobs/post_stats_win.h"
#include "jobs/yahoo_quote_win.h"
#include "measure.h"
#include "net/tcp_win.h"
#include "news/data_file.h"
#include "news/database.h"
#include "news/purge.h"
#include "news/topic_array.h"
#include "report.h"
#include "shared/config_data.h"
#include "shared/global_block.h"
#include "shared/window_handle_win.h"

namespace fs = std::filesystem;

namespace {

constexpr char kMissingClass[] = "Tidewell Bench Class Nobody Registered";

// --- The system interface, counted ---

OsInterface gRealOs;
int gIoCalls = 0;
int gTraceLines = 0;

void CountSystemCalls() {
    gRealOs = gOs;
    gOs.DebugTrace = [](const char* text) {
        gTraceLines++;
        gRealOs.DebugTrace(text);
    };
    gOs.OpenRead = [](const char* path) {
        gIoCalls++;
        return gRealOs.OpenRead(path);
    };
    gOs.CreateWrite = [](const char* path) {
        gIoCalls++;
        return gRealOs.CreateWrite(path);
    };
    gOs.Read = [](OsFile* file, void* buffer, uint32_t size, uint32_t* got) {
        gIoCalls++;
        return gRealOs.Read(file, buffer, size, got);
    };
    gOs.Write = [](OsFile* file, const void* data, uint32_t size, uint32_t* written) {
        gIoCalls++;
        return gRealOs.Write(file, data, size, written);
    };
    gOs.Flush = [](OsFile* file) {
        gIoCalls++;
        return gRealOs.Flush(file);
    };
    gOs.Close = [](OsFile* file) {
        gIoCalls++;
        gRealOs.Close(file);
    };
    gOs.ReplaceFile = [](const char* from, const char* to) {
        gIoCalls++;
        return gRealOs.ReplaceFile(from, to);
    };
    gOs.DeleteFile = [](const char* path) {
        gIoCalls++;
        return gRealOs.DeleteFile(path);
    };
    gOs.ListDir = [](const char* dir, const std::function<void(const char*)>& visit) {
        gIoCalls++;
        gRealOs.ListDir(dir, visit);
    };
    gOs.CreateDir = [](const char* path) {
        gIoCalls++;
        return gRealOs.CreateDir(path);
    };
    gOs.GetProfileString = [](const char* section, const char* key, const char* def, char* out, uint32_t size,
                              const char* path) {
        gIoCalls++;
        return gRealOs.GetProfileString(section, key, def, out, size, path);
    };
    gOs.GetProfileSection = [](const char* section, char* out, uint32_t size, const char* path) {
        gIoCalls++;
        return gRealOs.GetProfileSection(section, out, size, path);
    };
    gOs.WriteProfileString = [](const char* section, const char* key, const char* value, const char* path) {
        gIoCalls++;
        return gRealOs.WriteProfileString(section, key, value, path);
    };
}

void StopCounting() {
    gOs = gRealOs;
}

bool Failed(const char* why) {
    fprintf(stderr, "bench_tick: %s\n", why);
    return false;
}

// --- The agent's state, as start-up makes it ---

bool WriteDataFile(const fs::path& dir) {
    TopicArray topics;
    MakeFullDatabase(topics, kAgentTopics);
    CConfigData cfg;
    MakeBenchConfig(cfg);
    return SaveDataFile((dir / "Msg.dat").string().c_str(), topics, cfg) == 1;
}

// The start-up steps up to the clock, with the data directory moved to dir.
bool StartAgentCore(const fs::path& dir) {
    gAgent.instance = GetModuleHandleA(nullptr);
    if (!RegisterEngineClass(gAgent.instance)) return Failed("RegisterEngineClass failed");
    gAgent.engineWindow = CreateEngineWindow(gAgent.instance);
    if (!gAgent.engineWindow) return Failed("CreateEngineWindow failed");
    if (!GlobalInit()) return Failed("GlobalInit failed");
    StrCopy(gDirs.DataDir, sizeof gDirs.DataDir, dir.string().c_str());
    gConfig->EngineWindow = HwndToWord(gAgent.engineWindow);
    if (!NetworkInit(gAgent.instance, 1)) return Failed("NetworkInit failed");
    if (!Database::Open(DataFilePath().c_str(), gTopicArray, *gConfig) || !Server::Init())
        return Failed("the full database did not load");
    if (gTopicArray.Size != kAgentTopics) return Failed("the database holds another number of topics");
    EngineUpdate::gJob = new EngineUpdate::CUpdate(gAgent.engineWindow);
    YahooQuote::gJob = new YahooQuote::CUpdate(gAgent.engineWindow);
    AdStream::gJob = new AdStream::CUpdate(gAgent.engineWindow);
    return PostStats::Init(gAgent.engineWindow) || Failed("PostStats::Init failed");
}

void StopAgentCore() {
    DestroyJobs();
    if (gConfig) Database::Term();
    NetworkTerm();
    GlobalDetach();
    if (gAgent.engineWindow) DestroyWindow(gAgent.engineWindow);
}

void Tick() {
    ClockTick(gAgent.engineWindow, WM_TIMER, 0, GetTickCount());
}

void FindMissingWindow() {
    FindWindowA(kMissingClass, nullptr);
}

// --- The figure ---

// The two system calls of the screen-saver probe on Windows NT, on their own.
void FindScreenSaverWindow() {
    FindWindowA("WindowsScreenSaverClass", nullptr);
}

void OpenScreenSaverDesktop() {
    HDESK desktop = OpenDesktopA("screen-saver", 0, FALSE, MAXIMUM_ALLOWED);
    if (desktop) CloseDesktop(desktop);
}

template <typename Fn>
double MedianPerCall(int rounds, int count, Fn fn) {
    std::vector<double> samples;
    for (int round = 0; round < rounds; round++) samples.push_back(TimePerCall(count, fn));
    return Median(samples);
}

void PrintBreakdown(int rounds, int count) {
    double probe = MedianPerCall(rounds, count, [] { ScreenSaverActive(); });
    double find = MedianPerCall(rounds, count, FindScreenSaverWindow);
    double desktop = MedianPerCall(rounds, count, OpenScreenSaverDesktop);
    double jobs = MedianPerCall(rounds, count, TickJobs);
    double purge = MedianPerCall(rounds, count, Purge::OnClockTick);
    PrintNote(
        "figure 3: the screen-saver probe %s (FindWindowA %s, OpenDesktopA %s); the five jobs together %s "
        "(the purge %s)",
        Micros(probe).c_str(), Micros(find).c_str(), Micros(desktop).c_str(), Micros(jobs, 2).c_str(),
        Micros(purge, 2).c_str());
}

bool Measure(bool quick) {
    gConfig->JobsHeld = 1;
    for (int i = 0; i < 3; i++) Tick();  // the first tick makes the jobs' transfer objects
    int rounds = quick ? 2 : 21, count = quick ? 100 : 1000;
    gConfig->ScreenSaverOn = 7;  // every tick overwrites it with 0 or 1
    CountSystemCalls();
    Paired paired = Interleave(
        rounds, [&] { return TimePerCall(count, Tick); }, [&] { return TimePerCall(count, FindMissingWindow); });
    StopCounting();
    if (gConfig->ScreenSaverOn == 7) return Failed("the ticks did not run");
    if (gIoCalls) return Failed(("the ticks touched files " + std::to_string(gIoCalls) + " times").c_str());
    PrintRow({"3",
              "one ClockTick, " + std::to_string(kAgentTopics) + " topics, every job held: " + Micros(paired.subject),
              "FindWindowA of a class no window has (one request to the Wine server): " + Micros(paired.baseline),
              Micros(paired.subject) + " (" + Times(paired.Ratio()) + ")", "< 20 us", YesNo(paired.subject < 20e-6)});
    PrintBreakdown(rounds, count);
    PrintNote("figure 3: %d ticks timed: no file or profile call, %d trace lines", rounds * count, gTraceLines);
    return true;
}

ScratchDir gWorkDir;

}  // namespace

int main(int argc, char** argv) {
    bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
    gWorkDir.path = fs::temp_directory_path() / ("tidewell-bench-tick-" + std::to_string(GetCurrentProcessId()));
    std::error_code error;
    fs::create_directories(gWorkDir.path, error);
    if (error || !WriteDataFile(gWorkDir.path)) {
        Failed("the data file could not be made");
        return 1;
    }
    bool measured = StartAgentCore(gWorkDir.path) && Measure(quick);
    StopAgentCore();
    return measured ? 0 : 1;
}
