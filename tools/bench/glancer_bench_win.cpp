// The ticker's cost while it scrolls. Figure 6a: one frame of the bar as the
// ticker draws it at the default speed (1.3 pixels a frame, the strip drawn
// again whenever it has scrolled a bar's length), against one BitBlt of the
// same bar, the floor of any double-buffered frame. Figure 6b: the processor
// time Glancer.exe uses scrolling at the default speed beside a running
// agent, against bench_window.exe, an idle window program, over the same time;
// 6c: the same once the ticker is paused, when it draws no frame at all.
//
//   bench_glancer.exe [--quick]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/scoped_win.h"
#include "glancer/painter_win.h"
#include "host_cpu_win.h"
#include "install_folder_win.h"
#include "measure.h"
#include "report.h"
#include "shared/names.h"
#include "started_program_win.h"

using namespace glancer;

namespace {

constexpr int kThickness = 28, kLength = 1280;

Loop SampleLoop(Painter& painter) {
    Loop loop;
    for (int i = 0; i < 40; i++) {
        Item item;
        item.kind = i % 8 == 0 ? ItemKind::Title : i % 8 == 5 ? ItemKind::Quote : ItemKind::Headline;
        item.text = item.kind == ItemKind::Title ? "News / Harbour" : "Gale warning for the outer banks tonight";
        if (item.kind == ItemKind::Quote) {
            item.text = "TIDE 41.20";
            item.change = i % 2 ? "+0.85" : "-0.40";
            item.direction = i % 2 ? 1 : -1;
        }
        painter.Measure(item, "");
        loop.Append(item);
    }
    return loop;
}

bool FrameFigure(bool quick) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Tidewell Bench Bar";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, kLength, kThickness, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (!window) return false;
    Painter painter(kThickness);
    Loop loop = SampleLoop(painter);
    WindowDC windowDc(window);
    HDC dc = windowDc.get();
    double position = 0;
    int calls = quick ? 20 : 200;
    Paired p = Interleave(
        quick ? 3 : 15,
        [&] { return TimePerCall(calls, [&] { painter.Draw(dc, loop, position += 1.3, kLength, false); }); },
        [&] { return TimePerCall(calls, [&] { painter.Present(dc, 0, kLength, false); }); });
    DestroyWindow(window);
    PrintRow({"6a", "one ticker frame drawn and shown, 1280 x 28: " + Micros(p.subject),
              "one BitBlt of the same bar: " + Micros(p.baseline), Times(p.Ratio()), "<= 3x", YesNo(p.Ratio() <= 3)});
    return true;
}

// Processor seconds the program uses in `seconds` of wall time, once settled.
double CpuOver(const std::string& programPath, double seconds) {
    Sleep(1000);
    double before = HostCpuSeconds(programPath);
    Sleep(static_cast<DWORD>(seconds * 1000));
    double after = HostCpuSeconds(programPath);
    return before < 0 || after < 0 ? -1 : after - before;
}

// A row of processor time a minute, against the idle baseline.
void PrintCpuRow(const char* figure, const std::string& subject, double used, double idle, double seconds,
                 const char* goal, bool met) {
    double perMinute = 60 / seconds;
    char result[64];
    snprintf(result, sizeof result, "+%.0f ms a minute (%.2f%% of one core)", (used - idle) * perMinute * 1000,
             100 * (used - idle) / seconds);
    PrintRow({figure, subject + ": " + Millis(used * perMinute, 0) + " of CPU a minute",
              "bench_window.exe, idle: " + Millis(idle * perMinute, 0) + " a minute", result, goal, YesNo(met)});
}

bool CpuFigure(bool quick) {
    constexpr UINT kPause = 100;  // the ticker's Pause command
    double seconds = quick ? 3 : 60;
    BenchInstall install("glancer", 10);
    if (!install.ready()) return false;
    std::string dir = install.EnginePath().substr(0, install.EnginePath().rfind('\\'));
    std::string glancerPath = dir + "\\Glancer.exe";
    if (!CopyFileA((ProgramDir() + "\\Glancer.exe").c_str(), glancerPath.c_str(), FALSE)) return false;
    StartedProgram agent = StartAgent(install);
    if (!agent.ok()) return false;
    double ticker = 0, paused = 0, idle = 0;
    {
        ChildProcess glancer(glancerPath, "");
        HWND window = WaitForWindow(kGlancerWindowClass, glancer.id(), kLaunchTimeoutMs);
        if (!window) return false;
        ticker = CpuOver(glancerPath, seconds);
        PostMessageA(window, WM_COMMAND, kPause, 0);
        paused = CpuOver(glancerPath, seconds);
        glancer.Close(window, kExitTimeoutMs);
    }
    agent.Close();
    StartedProgram baseline = StartBaselineProgram(static_cast<int>(seconds) + 30);
    if (!baseline.ok()) return false;
    idle = CpuOver(ProgramDir() + "\\bench_window.exe", seconds);
    baseline.Close();
    if (ticker < 0 || paused < 0 || idle < 0) {
        fprintf(stderr, "bench_glancer: the host's /proc does not show the programs\n");
        return false;
    }
    PrintCpuRow("6b", "Glancer.exe scrolling at 80 px/s beside the agent", ticker, idle, seconds, "<= 1%",
                ticker - idle <= seconds / 100);
    PrintCpuRow("6c", "Glancer.exe paused (as slid away, locked or under the screen saver)", paused, idle, seconds,
                "<= 10 ms a minute", (paused - idle) * 60 / seconds <= 0.0101);
    if (quick) PrintNote("6b, 6c: quick mode measures %.0f s each and scales it to a minute.", seconds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
    bool ok = FrameFigure(quick);
    if (!ok) fprintf(stderr, "bench_glancer: the frame figure could not run\n");
    if (!CpuFigure(quick)) {
        fprintf(stderr, "bench_glancer: the processor-time figure could not run\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
