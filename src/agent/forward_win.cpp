#include "agent/forward_win.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "agent/paths.h"
#include "base/program_win.h"
#include "base/trace.h"
#include "shared/names.h"

namespace {

// WinExec returns once the new agent waits for input, by which time its
// window exists; the short search after it covers a system that returns
// sooner. This process is not the agent, so waiting here stalls nobody.
constexpr DWORD kAgentSearchMs = 10000;
constexpr DWORD kAgentSearchStepMs = 50;

// The receiving agent may be busy with a large subscription file; beyond
// this it is taken for hung.
constexpr UINT kHandOverTimeoutMs = 60000;
// A running agent answers a plain message at once unless it is hung.
constexpr UINT kAnswerTimeoutMs = 5000;

std::string Quoted(const char* path) {
    return std::string("\"") + path + "\"";
}

HWND FindEngineWindow() {
    return FindWindowA(kEngineWindowClass, nullptr);
}

HWND StartAgent(const char* modulePath) {
    if (WinExec(Quoted(modulePath).c_str(), SW_SHOWNORMAL) <= 31) return nullptr;
    for (DWORD waited = 0; waited < kAgentSearchMs; waited += kAgentSearchStepMs) {
        if (HWND engine = FindEngineWindow()) return engine;
        Sleep(kAgentSearchStepMs);
    }
    return FindEngineWindow();
}

void StartGlancerBeside(const char* modulePath) {
    if (FindWindowA(kGlancerWindowClass, nullptr)) return;
    char glancer[MAX_PATH];
    // An agent not named ENGINE.EXE has no sibling to derive; start nothing.
    if (ForwardingGlancerPath(modulePath, glancer, sizeof glancer)) WinExec(Quoted(glancer).c_str(), SW_SHOWNORMAL);
}

}  // namespace

bool ForwardCommandLine(const char* commandLine) {
    std::string modulePath = ProgramPath();
    bool haveModule = !modulePath.empty();

    HWND engine = FindEngineWindow();
    if (!engine && haveModule) engine = StartAgent(modulePath.c_str());
    if (!engine) return false;
    if (haveModule) StartGlancerBeside(modulePath.c_str());

    COPYDATASTRUCT data = {};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(strlen(commandLine) + 1);  // the terminator travels too
    data.lpData = const_cast<char*>(commandLine);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(engine, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, kHandOverTimeoutMs,
                             &result)) {
        Trace("WinMain(): The running agent did not take the command line");
    }
    return true;
}

bool AnotherAgentAnswers() {
    HWND engine = FindEngineWindow();
    DWORD_PTR result = 0;
    return engine &&
           SendMessageTimeoutA(engine, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerTimeoutMs, &result) != 0;
}
