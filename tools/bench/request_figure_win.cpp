// Figure 1: a display program's request round trip. One conversation on the
// message channel is opened once; then each request is FETCH_NEXT with the
// wrap flag, as a ticker steps through the headlines, answered by Engine.exe
// holding the full database. The baseline is a bare SendMessageA to a window
// of another process (bench_window.exe) that does nothing with it: what
// Wine charges for any cross-process message.
#include <windows.h>

#include <string>

#include "agent_figures_win.h"
#include "full_database.h"
#include "measure.h"
#include "report.h"
#include "shared/conversation_win.h"
#include "shared/global_block_view_win.h"
#include "started_program_win.h"

namespace {

constexpr int kBatch = 200;  // requests a sample
constexpr int kMostSteps = 100000;

// Holds every job while the figure runs, as other programs may: the clock
// then neither saves the database nor tries the network between requests.
class HeldJobs {
public:
    HeldJobs() {
        if (block_.valid()) block_.config().JobsHeld = 1;
    }
    ~HeldJobs() {
        if (block_.valid()) block_.config().JobsHeld = 0;
    }

private:
    GlobalBlockView block_;
};

bool SameMessage(const MsgRecord& a, uint32_t topic, uint32_t msg) {
    return a.ridTopic == topic && a.ridMsg == msg;
}

// From the first message round to it again; the number of steps, or 0 when
// a request was refused.
int WalkRound(Conversation& messages) {
    MsgArea& area = messages.messages();
    area.wrap = 1;
    area.msg.ridTopic = kNoId;
    area.msg.ridMsg = kNoId;
    if (messages.Request(FETCH_FIRST) != 1) return 0;
    uint32_t firstTopic = area.msg.ridTopic, firstMsg = area.msg.ridMsg;
    int steps = 0;
    do {
        if (messages.Request(FETCH_NEXT) != 1) return 0;
        steps++;
    } while (!SameMessage(area.msg, firstTopic, firstMsg) && steps < kMostSteps);
    return steps;
}

bool Measure(HWND engine, HWND idle, const BenchOptions& options) {
    Conversation messages(engine, kMessageChannel);
    if (!messages.open()) return FigureFailed("1", "the agent refused the conversation");
    int walked = WalkRound(messages);
    int expected = static_cast<int>(FullDatabaseMessages(kAgentTopics) - kAds);  // the ticker passes the ads by
    if (walked != expected) {
        std::string why =
            "a round of FETCH_NEXT took " + std::to_string(walked) + " steps, not " + std::to_string(expected);
        return FigureFailed("1", why.c_str());
    }
    int refused = 0;
    Paired paired = Interleave(
        options.Rounds(21, 2),
        [&] { return TimePerCall(kBatch, [&] { refused += messages.Request(FETCH_NEXT) != 1; }); },
        [&] { return TimePerCall(kBatch, [&] { SendMessageA(idle, WM_APP, 0, 0); }); });
    if (refused) return FigureFailed("1", "the agent refused requests while measured");
    PrintRow({"1",
              "FETCH_NEXT with wrap to Engine.exe (" + std::to_string(kAgentTopics) + " topics, " +
                  std::to_string(FullDatabaseMessages(kAgentTopics)) + " messages): " + Micros(paired.subject),
              "bare SendMessageA to an idle window of another process: " + Micros(paired.baseline),
              Times(paired.Ratio()), "<= 1.3x", YesNo(paired.Ratio() <= 1.3)});
    return true;
}

}  // namespace

bool RunRequestFigure(const BenchInstall& full, const BenchOptions& options) {
    StartedProgram agent = StartAgent(full);
    if (!agent.ok()) return FigureFailed("1", "the agent did not start");
    StartedProgram idle = StartBaselineProgram();
    if (!idle.ok()) return FigureFailed("1", "bench_window.exe did not start");
    bool measured;
    {
        HeldJobs held;
        measured = Measure(agent.window, idle.window, options);
    }
    bool closed = agent.Close() && idle.Close();
    return measured && (closed || FigureFailed("1", "a program did not end when asked"));
}
