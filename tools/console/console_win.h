// The commands of the console display program, and what they share.
#pragma once

#include <windows.h>

enum ExitCode {
    kOk = 0,
    kUsage = 1,
    kNoAgent = 2,  // no agent runs (or no global block exists)
    kFailed = 3,   // the agent did not answer, or answered 0
};

// The running agent's engine window, or 0 after printing why there is none.
HWND RequireAgent();

// Each command takes the arguments after its name.
int ShowSettings(int argc, char** argv);
int WaitForStart(int argc, char** argv);
int WaitForTick(int argc, char** argv);
int Subscribe(int argc, char** argv);
int OpenPreferences(int argc, char** argv);
int CloseAgent(int argc, char** argv);
int ListTopics(int argc, char** argv);
int ListMessages(int argc, char** argv);
int ListAds(int argc, char** argv);
int FollowTicker(int argc, char** argv);
