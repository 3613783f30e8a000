// twl: a console display program for the Tidewell agent. It talks to the
// agent only the way every display program does: the global block, the
// engine window named in it, a global atom, the registered message and the
// conversation mapping. People use it to watch a running agent; tests use it
// to play a display program.
#include <cstdio>
#include <cstring>
#include <string>

#include "console_win.h"

namespace {

struct Command {
    const char* name;
    const char* arguments;
    const char* help;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"topics", "", "list the topics in display order", ListTopics},
    {"messages", "[TITLE]", "list the messages of every active topic (or those whose title starts so) in display order",
     ListMessages},
    {"ads", "", "list the ads: their bitmap's address, or its file once it arrived (each counts a view)", ListAds},
    {"follow", "[SECONDS]", "print each headline as the ticker reaches it, new ones as they arrive (Ctrl+C ends)",
     FollowTicker},
    {"settings", "", "show the shared settings record", ShowSettings},
    {"prefs", "", "ask the agent to open its preferences", OpenPreferences},
    {"subscribe", "FILE", "hand a subscription file to the agent", Subscribe},
    {"wait", "[SECONDS]", "wait until an agent runs (default 30 s)", WaitForStart},
    {"tick", "", "wait for the agent's next clock tick", WaitForTick},
    {"close", "", "ask the agent to exit and wait for it", CloseAgent},
};

int Usage() {
    fprintf(stderr, "usage: twl COMMAND [ARGUMENTS]\n\n");
    for (const Command& command : kCommands) {
        std::string synopsis = std::string(command.name) + " " + command.arguments;
        fprintf(stderr, "  %-20s %s\n", synopsis.c_str(), command.help);
    }
    fprintf(stderr, "\nexit codes: 0 done, 1 usage, 2 no agent, 3 the agent did not answer or answered 0\n");
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (const Command& command : kCommands) {
        if (strcmp(argv[1], command.name) != 0) continue;
        int result = command.run(argc - 2, argv + 2);
        return result == kUsage ? Usage() : result;
    }
    return Usage();
}
